// What each plug-in library of the build exports, read from its own export
// table: exactly the names its host looks up, the entry points as code and
// Maya's MApiVersion as data holding the API version. Prints each library's
// exports, so that a run shows what the hosts will find.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "export_table.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

struct Plugin {
  const char* library;
  std::vector<std::string> functions;
  bool mayaApiVersion;  // exports MApiVersion as well
};

// A Maya plug-in's entry points are C++ functions. Maya on Linux looks them
// up by their C++ names, and the devkit's export map keeps nothing else; a
// Windows build exports them under their plain names (/export, or a
// module-definition file). PLUGIN_EXPORT marks them for export as well, so
// a Windows DLL also carries their C++ names, as a Visual C++ build carries
// its decorated ones; Maya does not look those up.
#if defined(_WIN32)
const std::vector<std::string> kMayaEntryPoints = {"initializePlugin", "uninitializePlugin",
                                                   "_Z16initializePlugin7MObject",
                                                   "_Z18uninitializePlugin7MObject"};
#else
const std::vector<std::string> kMayaEntryPoints = {"_Z16initializePlugin7MObject",
                                                   "_Z18uninitializePlugin7MObject"};
#endif

const std::vector<Plugin> kPlugins = {
    {"qv_veilVRay", kMayaEntryPoints, true},
    {"qv_shotWeaveVRay", kMayaEntryPoints, true},
    {"qv_vpProjector", kMayaEntryPoints, true},
    {"qv_vpStack", kMayaEntryPoints, true},
    {"vray_qvVeil", {"getLibDesc"}, false},
    {"vray_qvShotWeave", {"getLibDesc"}, false},
    {"qv_shotWeave",
     {"qv_shotWeave", "qv_shotWeave_version", "qv_shotWeave_init", "qv_shotWeave_exit", "qv_const",
      "qv_const_version", "miSetModuleHandle"},
     false},
};

// Maya's plug-ins carry Maya's own ending (.mll on Windows).
std::string fileName(const Plugin& plugin) {
  return std::string(plugin.library) +
         (plugin.mayaApiVersion ? QV_MAYA_PLUGIN_SUFFIX : QV_MODULE_SUFFIX);
}

std::string pluginPath(const Plugin& plugin) {
  return std::string(QV_PLUGIN_DIR) + "/" + fileName(plugin);
}

TEST(PluginExports, EachLibraryExportsExactlyWhatItsHostLooksUp) {
  for (const Plugin& plugin : kPlugins) {
    SCOPED_TRACE(plugin.library);
    std::vector<ExportedSymbol> exports;
    std::string error;
    ASSERT_TRUE(readExports(pluginPath(plugin), &exports, &error)) << error;

    std::vector<std::string> names, expected = plugin.functions;
    if (plugin.mayaApiVersion) expected.push_back("MApiVersion");
    std::string listing;
    for (const ExportedSymbol& symbol : exports) {
      names.push_back(symbol.name);
      listing += " " + symbol.name + (symbol.code ? "" : " (data \"" + symbol.text + "\")");
      const bool function = std::find(plugin.functions.begin(), plugin.functions.end(),
                                      symbol.name) != plugin.functions.end();
      if (function) {
        EXPECT_TRUE(symbol.code) << symbol.name << " is no function";
      }
      if (symbol.name == "MApiVersion") {
        EXPECT_FALSE(symbol.code) << "MApiVersion is no data";
        EXPECT_EQ(symbol.text, "201500");
      }
    }
    std::cout << fileName(plugin) << ":" << listing << "\n";
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
  }
}

// The check sees whatever a library exports: the host library's whole API,
// with C++ names as the linker writes them.
TEST(ExportTable, ListsEverythingAHostLibraryExports) {
  std::vector<ExportedSymbol> exports;
  std::string error;
  ASSERT_TRUE(readExports(QV_VRAY_HOST_LIBRARY, &exports, &error)) << error;
  const auto named = [&](const std::string& part) {
    return std::count_if(exports.begin(), exports.end(), [&](const ExportedSymbol& s) {
      return s.name.find(part) != std::string::npos;
    });
  };
  EXPECT_GT(named("VRayParameterListDesc"), 5);
  EXPECT_GT(named("VRayParameterList"), named("VRayParameterListDesc"));
  EXPECT_TRUE(std::all_of(exports.begin(), exports.end(),
                          [](const ExportedSymbol& s) { return !s.name.empty(); }));
}

TEST(ExportTable, RefusesFilesThatAreNoLibraryNamingThem) {
  const fs::path folder = fs::temp_directory_path() / "qv_exports_test";
  fs::create_directories(folder);
  std::vector<ExportedSymbol> exports;
  std::string error;

  const std::string missing = (folder / "missing").string();
  EXPECT_FALSE(readExports(missing, &exports, &error));
  EXPECT_EQ(error, missing + ": cannot open the file");

  const std::string text = (folder / "text").string();
  std::ofstream(text) << "not a library\n";
  EXPECT_FALSE(readExports(text, &exports, &error));
  EXPECT_EQ(error, text + ": neither a PE nor an ELF file");

  // Every cut of a real library short of its tables is refused, never
  // read past its end.
  std::ifstream in(pluginPath(kPlugins.back()), std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GT(whole.size(), 4096u);
  const std::string cut = (folder / "cut").string();
  for (std::size_t size : {std::size_t{2}, std::size_t{64}, std::size_t{200}, std::size_t{700}}) {
    std::ofstream(cut, std::ios::binary) << whole.substr(0, size);
    error.clear();
    EXPECT_FALSE(readExports(cut, &exports, &error)) << size;
    EXPECT_EQ(error.rfind(cut + ": ", 0), 0u) << error;
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace qv::test
