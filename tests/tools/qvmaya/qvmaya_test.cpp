#include "qvmaya.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace qv::qvmaya {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out;
  std::string err;
};

Result runScript(const std::string& script, std::vector<std::string> args = {}) {
  std::istringstream in(script);
  std::ostringstream out, err;
  const int status = run(args, in, out, err);
  return {status, out.str(), err.str()};
}

std::string readFile(const fs::path& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// MAYA_PLUG_IN_PATH separates folders as the platform's PATH does.
#ifdef _WIN32
const char kPathSeparator = ';';
#else
const char kPathSeparator = ':';
#endif

// Sets MAYA_PLUG_IN_PATH for one test and puts back what was there.
class PluginPath {
 public:
  explicit PluginPath(const char* value) {
    if (const char* old = std::getenv("MAYA_PLUG_IN_PATH")) old_ = old;
    if (value) {
      setenv("MAYA_PLUG_IN_PATH", value, 1);
    } else {
      unsetenv("MAYA_PLUG_IN_PATH");
    }
  }
  ~PluginPath() {
    if (old_) {
      setenv("MAYA_PLUG_IN_PATH", old_->c_str(), 1);
    } else {
      unsetenv("MAYA_PLUG_IN_PATH");
    }
  }

 private:
  std::optional<std::string> old_;
};

fs::path temp(const std::string& name) {
  return fs::path(testing::TempDir()) / name;
}

TEST(QvmayaTest, RunsBuiltinNodeCommandsAndPrintsValues) {
  const Result r = runScript(R"(//Maya ASCII 2015 scene
    currentUnit -l centimeter -a degree -t film;
    fileInfo "application" "maya";
    createNode transform -n "cam";
    setAttr ".t" -type "double3" 1 2 3;   // relative to the node made last
    createNode camera -n camShape -p cam;
    setAttr camShape.focalLength 50; setAttr cam.tx -4.5;
    setAttr cam.rotate 0 90 0;
    getAttr cam.translate;
    getAttr camShape.fl;
    getAttr camShape.ff;
    getAttr "cam.wm";
    /* block
       comment */ getAttr cam.sy;
  )");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  // The rotation's cos(90 degrees) is the platform's: glibc gives 6.12323e-17,
  // MinGW's runtime 6.12303e-17.
  // Volatile, so that the compiler does not fold the call with its own cos.
  volatile double degrees = 90.0;
  char zero[32];
  std::snprintf(zero, sizeof zero, "%.6g", std::cos(degrees * (std::acos(-1.0) / 180.0)));
  EXPECT_EQ(r.out, std::string("-4.5 2 3\n50\n1\n") + zero + " 0 -1 0 0 1 0 0 1 0 " + zero +
                       " 0 -4.5 2 3 1\n1\n");
}

TEST(QvmayaTest, ReportsFailingCommandsAndGoesOn) {
  const Result r = runScript(
      "createNode transform -n t;\n"
      "setAttr foo.bar 1;\n"
      "bogus 1 2;\n"
      "createNode nothing;\n"
      "setAttr t.tx\n  abc;\n"
      "setAttr t.tx -n 1;\n"
      "getAttr t.tx;\n"
      "setAttr t.tx \"unterminated;\n"
      "getAttr t.tx;\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "0\n");
  EXPECT_EQ(r.err,
            "// Error: stdin line 2: No object matches name: foo.bar\n"
            "// Error: stdin line 3: Cannot find procedure \"bogus\".\n"
            "// Error: stdin line 4: Unknown object type: nothing\n"
            "// Error: stdin line 5: setAttr: not a number: abc\n"
            "// Error: stdin line 7: setAttr: Invalid flag '-n'\n"
            "// Error: stdin line 9: Unterminated string\n");
}

TEST(QvmayaTest, NamesTheFileAndKeepsGoingAcrossFiles) {
  const fs::path bad = temp("bad.mel");
  std::ofstream(bad) << "createNode transform -n a;\n\ndelete b;\n";
  const fs::path good = temp("good.mel");
  std::ofstream(good) << "getAttr a.sx;\n";
  const Result r = runScript("", {bad.string(), "missing.mel", good.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "1\n");
  EXPECT_EQ(r.err, "// Error: " + bad.string() + " line 3: No object matches name: b\n" +
                       "// Error: missing.mel: cannot open file\n");
}

TEST(QvmayaTest, HelpAndBadOptions) {
  Result r = runScript("", {"-h"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("createNode TYPE [-n NAME] [-p PARENT]"), std::string::npos);
  EXPECT_NE(r.out.find("ogs -dump NODE"), std::string::npos);
  r = runScript("", {"--bogus"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("qvmaya: unknown option --bogus\nusage: qvmaya", 0), 0u) << r.err;
}

// What both the original run and the reload print.
const char* const kQueries =
    "getAttr cam.t; getAttr cam.s; getAttr camShape.fl; getAttr camShape.hfa;\n"
    "getAttr a.in; getAttr a.c; getAttr b.c; getAttr b.out; getAttr a.lb; getAttr b.lb;\n";

TEST(QvmayaTest, SavedSceneReloadsToTheSameValues) {
  // An empty entry between two separators is passed over.
  PluginPath path(
      (std::string("/no/such/folder") + kPathSeparator + kPathSeparator + QV_MAYA_TEST_PLUGIN_DIR)
          .c_str());
  const fs::path saved = temp("saved scene.ma");
  const Result first = runScript(std::string(R"(
    requires "qv_testNode" "1.0";
    createNode transform -n cam;
    setAttr cam.t -type double3 1 2.5 -3;
    setAttr cam.sx 1;
    createNode camera -n camShape -p cam;
    setAttr camShape.focalLength 0.1;
    createNode qvTestNode -n a;
    createNode qvTestNode -n b;
    setAttr a.input 2;
    setAttr a.c -type float3 0.25 0.5 1;
    setAttr a.label -type "string" "say \"hi\"\\there";
    connectAttr a.output b.color;
    getAttr b.out;
    file -save ")") + saved.generic_string() +
                                 "\";\n" + kQueries);
  ASSERT_EQ(first.err, "");
  ASSERT_EQ(first.status, 0);

  const std::string text = readFile(saved);
  EXPECT_EQ(text.rfind("//Maya ASCII 2015 scene\n", 0), 0u) << text;
  for (const char* line : {
           "requires \"qv_testNode\" \"1.0\";\n",
           "createNode transform -n \"cam\";\n"
           "\tsetAttr \".t\" -type \"double3\" 1 2.5 -3;\n"
           "createNode camera -n \"camShape\" -p \"cam\";\n"
           "\tsetAttr \".fl\" 0.1;\n"
           "createNode qvTestNode -n \"a\";\n"
           "\tsetAttr \".in\" 2;\n"
           "\tsetAttr \".c\" -type \"float3\" 0.25 0.5 1;\n"
           "\tsetAttr \".lb\" -type \"string\" \"say \\\"hi\\\"\\\\there\";\n"
           "createNode qvTestNode -n \"b\";\n",
           "connectAttr \"a.out\" \"b.c\";\n",
       }) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nnot in\n" << text;
  }
  // Defaults, outputs and what was set back to its default stay out.
  for (const char* absent : {".s\"", ".hfa", ".oth", ".wm", "\".out\"", ".m\""}) {
    EXPECT_EQ(text.find(absent), std::string::npos) << absent << " in\n" << text;
  }

  std::istringstream in(kQueries);
  std::ostringstream out, err;
  EXPECT_EQ(run({saved.string(), "-"}, in, out, err), 0) << err.str();
  EXPECT_EQ(first.out.substr(first.out.find('\n') + 1), out.str());
}

TEST(QvmayaTest, RequiresLooksInTheBuildsPluginFolderWhenThePathIsUnset) {
  PluginPath unset(nullptr);
  const Result r = runScript("requires \"qv_testNode\" \"1.0\";");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "// Error: stdin line 1: requires: plug-in qv_testNode not found in " +
                       std::string(QV_PLUGIN_DIR) + "\n");
  EXPECT_EQ(pluginSearchPath(), std::vector<std::string>{QV_PLUGIN_DIR});
}

TEST(QvmayaTest, LoadsAndUnloadsPluginsByPathAndName) {
  const std::string library =
      std::string(QV_MAYA_TEST_PLUGIN_DIR) + "/qv_testNode" QV_MODULE_SUFFIX;
  const Result r = runScript("loadPlugin \"" + library + "\"; loadPlugin \"" + library +
                             "\";\n"
                             "createNode qvTestNode -n n; getAttr n.other;\n"
                             "unloadPlugin \"qv_testNode\"; getAttr n.other;\n"
                             "requires maya \"2015\"; unloadPlugin \"qv_testNode\";\n");
  EXPECT_EQ(r.out, "7\n");
  EXPECT_EQ(r.err,
            "// Error: stdin line 3: No object matches name: n.other\n"
            "// Error: stdin line 4: unloadPlugin: qv_testNode is not loaded\n");
}

TEST(QvmayaTest, OgsDrawsTheOpenedSceneAndDumpsItsShaders) {
  PluginPath path(QV_MAYA_TEST_PLUGIN_DIR);
  const fs::path folder = temp("ogs scene");
  fs::create_directories(folder);
  const unsigned char pixel[4] = {255, 0, 0, 255};
  ASSERT_NE(stbi_write_png((folder / "paint.png").string().c_str(), 1, 1, 4, pixel, 4), 0);
  const fs::path scene = folder / "scene.ma";
  std::ofstream(scene) << "requires \"qv_testShader\" \"1.0\";\n"
                          "createNode qvTestShader -n tex;\n"
                          "\tsetAttr \".fileName\" -type \"string\" \"paint.png\";\n"
                          "\tsetAttr \".gain\" 0.25;\n";
  const Result r = runScript(
      "createNode transform -n old;\n"
      "file -f -open \"" +
      scene.generic_string() +
      "\";\n"
      "getAttr old.tx;\n"
      "ogs -refresh; ogs -dump tex;\n"
      "ogs -dump nothing; createNode transform -n t; ogs -dump t;\n"
      "ogs;\n"
      "unloadPlugin \"qv_testShader\"; ogs -refresh;\n");
  EXPECT_EQ(r.out,
            "tex: fragment qvTestGraph, built 1 time\n"
            "  parameter s1_gain = 0.25\n"
            "  parameter s1_mode = 0\n"
            "  parameter s1_tint = 0.5 0.25 1\n"
            "  sampler s1_textureSampler: filter kMinMagMipLinear, "
            "address kTexWrap kTexWrap kTexWrap, maxAnisotropy 1\n"
            "  texture s1_fileMap = " +
                (folder / "paint.png").string() + "\n");
  EXPECT_EQ(r.err,
            "// Error: stdin line 3: No object matches name: old.tx\n"
            "// Error: stdin line 5: No object matches name: nothing\n"
            "// Error: stdin line 5: ogs: t has no Viewport 2.0 shading override\n"
            "// Error: stdin line 6: ogs: give -refresh or -dump NODE\n");
  EXPECT_EQ(r.status, 1);
}

TEST(QvmayaTest, RenderNodesSaveAndReload) {
  const fs::path plugins = QV_PLUGIN_DIR;
  if (!fs::exists(plugins / "qv_veilVRay.so") || !fs::exists(plugins / "qv_shotWeaveVRay.so")) {
    GTEST_SKIP() << "the render-node plug-ins are not built";
  }
  PluginPath unset(nullptr);
  const std::string example = std::string(QV_SOURCE_DIR) + "/examples/render_nodes.ma";
  const fs::path saved = temp("render_nodes_again.ma");
  const std::string queries = "getAttr weave.ma; getAttr veil.samples; getAttr veil.clr;\n";
  const Result first =
      runScript("file -save \"" + saved.string() + "\";\n" + queries, {example, "-"});
  ASSERT_EQ(first.err, "");
  const std::string text = readFile(saved);
  EXPECT_NE(text.find("requires \"qv_veilVRay\" \"1.0\";\n"), std::string::npos) << text;
  EXPECT_NE(text.find("requires \"qv_shotWeaveVRay\" \"1.0\";\n"), std::string::npos) << text;
  EXPECT_NE(text.find("connectAttr \"veil.om\" \"weave.ma\";\n"), std::string::npos) << text;
  for (const char* output : {"\".oc\"", "\".om\"", "\".oa\"", "\".ot\"", "\".oat\"", "\".oac\""}) {
    EXPECT_EQ(text.find(output), std::string::npos) << output << " in\n" << text;
  }
  const Result second = runScript(queries, {saved.string(), "-"});
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(second.out, first.out);
}

}  // namespace
}  // namespace qv::qvmaya
