// The installed toolkit as a TD gets it from `cmake --install`: one folder
// that goes on MAYA_MODULE_PATH. Its module file is read the way Maya reads
// one, and every path it gives Maya, V-Ray for Maya and mental ray for Maya
// must hold what that host looks for there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "command_test.h"

namespace fs = std::filesystem;

namespace {

// One "+ [KEY:VALUE]... NAME VERSION PATH" block of a module file and the
// lines under it.
struct ModuleBlock {
  std::map<std::string, std::string> conditions;
  std::string name, version;
  fs::path root;                               // the module's folder
  std::map<std::string, fs::path> appended;    // VAR+:=path, module-relative
  std::map<std::string, fs::path> overridden;  // folder: path
};

// As Maya reads a module file: a block opens with "+ ", its relative path is
// taken from the module file's folder, and "VAR+:=path" or "folder: path"
// beneath it name folders of the module.
std::vector<ModuleBlock> readModuleFile(const fs::path& file) {
  std::vector<ModuleBlock> blocks;
  std::ifstream in(file);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    if (line.rfind("+ ", 0) == 0) {
      ModuleBlock block;
      std::vector<std::string> fields;
      std::string word;
      words >> word;  // +
      while (words >> word) {
        const std::size_t colon = word.find(':');
        if (fields.empty() && colon != std::string::npos) {
          block.conditions[word.substr(0, colon)] = word.substr(colon + 1);
        } else {
          fields.push_back(word);
        }
      }
      EXPECT_EQ(fields.size(), 3u) << file << ":" << number << ": " << line;
      if (fields.size() != 3) continue;
      block.name = fields[0];
      block.version = fields[1];
      block.root =
          fs::path(fields[2]).is_absolute() ? fs::path(fields[2]) : file.parent_path() / fields[2];
      blocks.push_back(block);
      continue;
    }
    EXPECT_FALSE(blocks.empty()) << file << ":" << number << ": a line before any block";
    if (blocks.empty()) continue;
    if (const std::size_t at = line.find("+:="); at != std::string::npos) {
      blocks.back().appended[line.substr(0, at)] = blocks.back().root / line.substr(at + 3);
    } else if (const std::size_t colon = line.find(": "); colon != std::string::npos) {
      blocks.back().overridden[line.substr(0, colon)] = blocks.back().root / line.substr(colon + 2);
    } else {
      ADD_FAILURE() << file << ":" << number << ": not a line Maya reads: " << line;
    }
  }
  return blocks;
}

bool holds(const fs::path& folder, const std::string& file) {
  std::error_code ec;
  return fs::is_regular_file(folder / file, ec);
}

TEST(Install, TheModuleGivesEveryHostItsFolder) {
  qv::test::ScratchDir scratch("install_test");
  const fs::path prefix = scratch.path() / "qv";
  const std::string command = std::string("\"") + QV_CMAKE_COMMAND + "\" --install \"" +
                              QV_BUILD_DIR + "\" --prefix \"" + prefix.string() + "\" >\"" +
                              (scratch.path() / "install.log").string() + "\" 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  const std::vector<ModuleBlock> blocks = readModuleFile(prefix / "qv.mod");
  ASSERT_FALSE(blocks.empty());
  for (const ModuleBlock& block : blocks) {
    ASSERT_EQ(block.conditions.count("MAYAVERSION"), 1u);
    ASSERT_EQ(block.conditions.count("PLATFORM"), 1u);
    const std::string version = block.conditions.at("MAYAVERSION");
    SCOPED_TRACE("MAYAVERSION:" + version);
    EXPECT_EQ(block.name, "qv");
    EXPECT_EQ(fs::weakly_canonical(block.root), fs::weakly_canonical(prefix));
    EXPECT_TRUE(block.overridden.empty()) << "plug-ins/ and scripts/ are where Maya looks";

    // Maya's own folders of a module.
    for (const char* plugin : {"qv_veilVRay", "qv_shotWeaveVRay", "qv_vpProjector", "qv_vpStack"}) {
      EXPECT_TRUE(holds(block.root / "plug-ins", plugin + std::string(QV_MAYA_PLUGIN_SUFFIX)))
          << plugin;
      EXPECT_TRUE(holds(block.root / "scripts", "AE" + std::string(plugin) + "Template.mel"))
          << plugin;
    }
    // V-Ray for Maya's plug-in path of that Maya version, mental ray for
    // Maya's shader path (declarations) and library path.
    const std::string vray = "VRAY_FOR_MAYA" + version + "_PLUGINS_x64";
    ASSERT_EQ(block.appended.count(vray), 1u) << vray;
    for (const char* library : {"vray_qvVeil", "vray_qvShotWeave"}) {
      EXPECT_TRUE(holds(block.appended.at(vray), library + std::string(QV_MODULE_SUFFIX)))
          << library;
    }
    ASSERT_EQ(block.appended.count("MI_CUSTOM_SHADER_PATH"), 1u);
    ASSERT_EQ(block.appended.count("MI_LIBRARY_PATH"), 1u);
    EXPECT_TRUE(holds(block.appended.at("MI_CUSTOM_SHADER_PATH"), "qv_shotWeave.mi"));
    EXPECT_TRUE(holds(block.appended.at("MI_LIBRARY_PATH"),
                      "qv_shotWeave" + std::string(QV_MODULE_SUFFIX)));
    EXPECT_EQ(block.appended.size(), 3u) << "every path the module names is checked here";
  }
}

}  // namespace
