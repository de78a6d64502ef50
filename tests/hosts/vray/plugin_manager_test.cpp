#include "plugin_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "vrayhost/parameters.h"

namespace qv::vrayhost {
namespace {

namespace fs = std::filesystem;

const std::string kWeaveLibrary = QV_PLUGIN_DIR "/vray_qvShotWeave" QV_MODULE_SUFFIX;
// The host library exports what plug-ins import, but is no plug-in library.
const std::string kHostLibrary = QV_VRAY_HOST_LIBRARY;

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A folder of its own per test, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() / ("qv_plugin_manager_test_" + std::to_string(::getpid()) +
                                         "_" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::string path() const { return path_.string(); }

  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(file(name)) << text;
    return file(name);
  }
  // A copy is a different file to the loader: it loads as a library of its own.
  std::string copyOfWeave(const std::string& name) const {
    fs::copy_file(kWeaveLibrary, file(name));
    return file(name);
  }

 private:
  fs::path path_;
};

TEST(PluginManagerLoading, WeaveLibraryRegistersItsType) {
  PluginManager manager;
  std::string error;
  ASSERT_TRUE(manager.loadLibrary(kWeaveLibrary, &error)) << error;
  EXPECT_EQ(manager.typeNames(), std::vector<std::string>{"qvShotWeave"});

  PluginDesc* desc = manager.findDesc("qvShotWeave");
  ASSERT_NE(desc, nullptr);
  EXPECT_STREQ(desc->getName(), "qvShotWeave");
  EXPECT_EQ(manager.findDesc("qvshotweave"), nullptr);
  EXPECT_EQ(manager.findDesc(""), nullptr);

  // The descriptor told the host library about its parameters while registering.
  const VUtils::VRayParameterListDesc* params = registeredParameters(desc);
  ASSERT_NE(params, nullptr);
  const ParamDecl* colorA = params->impl().find("color_a");
  ASSERT_NE(colorA, nullptr);
  EXPECT_EQ(colorA->kind, ParamKind::Color);
  const ParamDecl* outAlpha = params->impl().find("outAlpha");
  ASSERT_NE(outAlpha, nullptr);
  EXPECT_EQ(outAlpha->kind, ParamKind::OutputFloat);
}

TEST(PluginManagerLoading, SameLibraryTwiceIsRefusedAndKeepsOneRegistration) {
  PluginManager manager;
  std::string error;
  ASSERT_TRUE(manager.loadLibrary(kWeaveLibrary, &error)) << error;
  PluginDesc* desc = manager.findDesc("qvShotWeave");

  error.clear();
  EXPECT_FALSE(manager.loadLibrary(kWeaveLibrary, &error));
  EXPECT_EQ(error, kWeaveLibrary + ": the library is already loaded (as " + kWeaveLibrary + ")");

#if !defined(_WIN32)
  // A link is the same file to the loader. (Windows' loader goes by name, and
  // making links there takes a privilege.)
  TempDir dir;
  const std::string link = dir.file("vray_link" QV_MODULE_SUFFIX);
  fs::create_symlink(kWeaveLibrary, link);
  error.clear();
  EXPECT_FALSE(manager.loadLibrary(link, &error));
  EXPECT_TRUE(startsWith(error, link + ": the library is already loaded")) << error;
#endif

  // The refused load must neither unload the library nor drop what the first
  // load registered.
  EXPECT_EQ(manager.typeNames(), std::vector<std::string>{"qvShotWeave"});
  EXPECT_EQ(manager.findDesc("qvShotWeave"), desc);
  EXPECT_NE(registeredParameters(desc), nullptr);
  std::unique_ptr<PluginInstance> instance = manager.create("qvShotWeave", "still_works");
  ASSERT_NE(instance, nullptr);
  EXPECT_STREQ(instance->plugin()->getPluginName(), "still_works");
}

TEST(PluginManagerLoading, TypeFromAnotherCopyOfTheLibraryIsRefused) {
  TempDir dir;
  const std::string copy = dir.copyOfWeave("vray_copy" QV_MODULE_SUFFIX);
  PluginManager manager;
  std::string error;
  ASSERT_TRUE(manager.loadLibrary(kWeaveLibrary, &error)) << error;
  EXPECT_FALSE(manager.loadLibrary(copy, &error));
  EXPECT_TRUE(startsWith(error, copy + ": ")) << error;
  EXPECT_TRUE(contains(error, "'qvShotWeave' is already loaded")) << error;
  EXPECT_EQ(manager.typeNames().size(), 1u);
}

TEST(PluginManagerLoading, FilesThatAreNoPluginLibraryNameTheirPath) {
  TempDir dir;
  PluginManager manager;
  std::string error;

  const std::string missing = dir.file("vray_missing" QV_MODULE_SUFFIX);
  EXPECT_FALSE(manager.loadLibrary(missing, &error));
  EXPECT_TRUE(startsWith(error, missing + ": cannot load library")) << error;

  const std::string text = dir.write("vray_text" QV_MODULE_SUFFIX, "not a library\n");
  error.clear();
  EXPECT_FALSE(manager.loadLibrary(text, &error));
  EXPECT_TRUE(startsWith(error, text + ": cannot load library")) << error;

  error.clear();
  EXPECT_FALSE(manager.loadLibrary(kHostLibrary, &error));
  EXPECT_TRUE(startsWith(error, kHostLibrary + ": ")) << error;
  EXPECT_TRUE(contains(error, "getLibDesc")) << error;

  EXPECT_TRUE(manager.typeNames().empty());
  // A null error pointer is allowed.
  EXPECT_FALSE(manager.loadLibrary(missing, nullptr));
}

TEST(PluginManagerFolders, OnlyVrayLibrariesAreLoaded) {
  TempDir dir;
  dir.copyOfWeave("vray_weave" QV_MODULE_SUFFIX);
  // Each of these would fail the whole folder if it were picked up: a second
  // copy of the same type, or a file that does not load.
  dir.copyOfWeave("qvShotWeave" QV_MODULE_SUFFIX);
  dir.copyOfWeave("libvray_weave" QV_MODULE_SUFFIX);
  dir.copyOfWeave("vray_weave" QV_MODULE_SUFFIX ".bak");
  dir.write("vray_notes.txt", "notes\n");
  dir.write("vray_" QV_MODULE_SUFFIX ".txt", "notes\n");

  PluginManager manager;
  std::string error;
  ASSERT_TRUE(manager.loadDirectory(dir.path(), &error)) << error;
  EXPECT_EQ(manager.typeNames(), std::vector<std::string>{"qvShotWeave"});
  EXPECT_NE(manager.create("qvShotWeave", "w"), nullptr);
}

TEST(PluginManagerFolders, ABadVrayLibraryFailsTheFolderWithItsPath) {
  TempDir dir;
  const std::string bad = dir.write("vray_broken" QV_MODULE_SUFFIX, "garbage");
  PluginManager manager;
  std::string error;
  EXPECT_FALSE(manager.loadDirectory(dir.path(), &error));
  EXPECT_TRUE(startsWith(error, bad + ": ")) << error;
}

TEST(PluginManagerFolders, BuildPluginFolderLoads) {
  PluginManager manager;
  std::string error;
  ASSERT_TRUE(manager.loadDirectory(QV_PLUGIN_DIR, &error)) << error;
  const std::vector<std::string> names = manager.typeNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "qvShotWeave"), names.end());
}

TEST(PluginManagerFolders, UnreadableFolderGivesAMessage) {
  TempDir dir;
  PluginManager manager;
  std::string error;

  const std::string missing = dir.file("no_such_folder");
  EXPECT_FALSE(manager.loadDirectory(missing, &error));
  EXPECT_TRUE(startsWith(error, missing + ": cannot read plug-in folder")) << error;

  const std::string file = dir.write("plain_file", "x");
  error.clear();
  EXPECT_FALSE(manager.loadDirectory(file, &error));
  EXPECT_TRUE(startsWith(error, file + ": cannot read plug-in folder")) << error;
}

TEST(PluginManagerInstances, CreateNamesTheInstanceAndExposesItsInterfaces) {
  PluginManager manager;
  std::string error;
  ASSERT_TRUE(manager.loadLibrary(kWeaveLibrary, &error)) << error;
  PluginDesc* desc = manager.findDesc("qvShotWeave");

  std::unique_ptr<PluginInstance> w = manager.create("qvShotWeave", "w");
  ASSERT_NE(w, nullptr);
  ASSERT_NE(w->plugin(), nullptr);
  EXPECT_EQ(w->desc(), desc);
  EXPECT_EQ(w->plugin()->getPluginDesc(), desc);
  EXPECT_STREQ(w->plugin()->getPluginName(), "w");

  PluginInterface* texture = w->plugin()->getInterface(VUtils::EXT_TEXTURE);
  PluginInterface* vray = w->plugin()->getInterface(VUtils::EXT_VRAY_PLUGIN);
  ASSERT_NE(texture, nullptr);
  ASSERT_NE(vray, nullptr);
  EXPECT_EQ(texture->getInterfaceID(), VUtils::EXT_TEXTURE);
  EXPECT_EQ(vray->getInterfaceID(), VUtils::EXT_VRAY_PLUGIN);
  EXPECT_EQ(texture->getPlugin(), w->plugin());
  EXPECT_EQ(vray->getPlugin(), w->plugin());

  // Instances are separate objects with their own names.
  std::unique_ptr<PluginInstance> other = manager.create("qvShotWeave", "other");
  ASSERT_NE(other, nullptr);
  EXPECT_NE(other->plugin(), w->plugin());
  EXPECT_STREQ(w->plugin()->getPluginName(), "w");
  EXPECT_STREQ(other->plugin()->getPluginName(), "other");
}

TEST(PluginManagerInstances, UnknownTypeCreatesNothing) {
  PluginManager manager;
  EXPECT_EQ(manager.create("qvShotWeave", "w"), nullptr);
  std::string error;
  ASSERT_TRUE(manager.loadLibrary(kWeaveLibrary, &error)) << error;
  EXPECT_EQ(manager.create("qvNoSuchTexture", "w"), nullptr);
  EXPECT_EQ(manager.create("", "w"), nullptr);
}

TEST(PluginManagerRegistration, HostCallbacksKeepOneEntryPerDescriptor) {
  PluginManager manager;
  std::string error;
  ASSERT_TRUE(manager.loadLibrary(kWeaveLibrary, &error)) << error;
  PluginDesc* desc = manager.findDesc("qvShotWeave");
  ASSERT_NE(desc, nullptr);

  EXPECT_EQ(manager.registerPlugin(desc), 0);
  EXPECT_EQ(manager.registerPlugin(nullptr), 0);
  EXPECT_EQ(manager.typeNames().size(), 1u);

  EXPECT_EQ(manager.unregisterPlugin(desc), 1);
  EXPECT_EQ(manager.findDesc("qvShotWeave"), nullptr);
  EXPECT_EQ(manager.create("qvShotWeave", "w"), nullptr);
  EXPECT_EQ(manager.unregisterPlugin(desc), 0);

  EXPECT_EQ(manager.registerPlugin(desc), 1);
  EXPECT_EQ(manager.findDesc("qvShotWeave"), desc);
}

TEST(PluginManagerRegistration, DestructorUnregistersTheLibrary) {
  PluginDesc* desc = nullptr;
  {
    PluginManager manager;
    std::string error;
    ASSERT_TRUE(manager.loadLibrary(kWeaveLibrary, &error)) << error;
    desc = manager.findDesc("qvShotWeave");
    ASSERT_NE(desc, nullptr);
    ASSERT_NE(registeredParameters(desc), nullptr);
  }
  // The library may be unloaded by now: desc is only compared, never called.
  EXPECT_EQ(registeredParameters(desc), nullptr);

  // A later manager loads it afresh.
  PluginManager again;
  std::string error;
  ASSERT_TRUE(again.loadLibrary(kWeaveLibrary, &error)) << error;
  EXPECT_NE(registeredParameters(again.findDesc("qvShotWeave")), nullptr);
  EXPECT_NE(again.create("qvShotWeave", "w"), nullptr);
}

TEST(PluginManagerRegistration, ManagersSharingALibraryDoNotUnregisterEachOther) {
  PluginManager first;
  std::string error;
  ASSERT_TRUE(first.loadLibrary(kWeaveLibrary, &error)) << error;
  PluginDesc* desc = first.findDesc("qvShotWeave");
  {
    PluginManager second;
    ASSERT_TRUE(second.loadLibrary(kWeaveLibrary, &error)) << error;
    // The loader hands both managers the one loaded copy.
    EXPECT_EQ(second.findDesc("qvShotWeave"), desc);
  }
  EXPECT_EQ(first.findDesc("qvShotWeave"), desc);
  EXPECT_NE(registeredParameters(desc), nullptr);
  // Instances made after the other manager went away still know their inputs.
  std::unique_ptr<PluginInstance> w = first.create("qvShotWeave", "w");
  ASSERT_NE(w, nullptr);
  auto* vray =
      static_cast<VUtils::VRayPluginInterface*>(w->plugin()->getInterface(VUtils::EXT_VRAY_PLUGIN));
  ASSERT_NE(vray, nullptr);
  EXPECT_NE(vray->getParameterList()->impl().findDecl("color_a"), nullptr);
}

}  // namespace
}  // namespace qv::vrayhost
