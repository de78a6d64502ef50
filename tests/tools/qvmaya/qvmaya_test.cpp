#include "qvmaya.h"

#include "command_test.h"

#include <maya/MGlobal.h>

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
      "createNode transform -n u; createNode nothing -n v; setAttr \".tx\" 5; getAttr u.tx;\n"
      "setAttr t.tx \"unterminated;\n"
      "getAttr t.tx;\n");
  EXPECT_EQ(r.status, 1);
  // A relative setAttr after a createNode that failed touches no other node.
  EXPECT_EQ(r.out, "0\n0\n");
  EXPECT_EQ(r.err,
            "// Error: stdin line 2: No object matches name: foo.bar\n"
            "// Error: stdin line 3: Cannot find procedure \"bogus\".\n"
            "// Error: stdin line 4: Unknown object type: nothing\n"
            "// Error: stdin line 5: setAttr: not a number: abc\n"
            "// Error: stdin line 7: setAttr: Invalid flag '-n'\n"
            "// Error: stdin line 9: Unknown object type: nothing\n"
            "// Error: stdin line 9: No object matches name: v.tx (it was not created)\n"
            "// Error: stdin line 10: Unterminated string\n");
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

// Meshes connected into the elements of a plug-in's mesh array, by index,
// by -na and by an array source without index; what reaches the plug-in
// follows the plane's creator, and a saved scene writes the connections as
// Maya does and opens to the same meshes.
TEST(QvmayaTest, MeshArrayElementsConnectSaveAndReopen) {
  PluginPath path(QV_MAYA_TEST_PLUGIN_DIR);
  const fs::path folder = temp("mesh_array");
  fs::create_directories(folder);
  // A unit cube, one quad a side.
  std::ofstream(folder / "box.obj")
      << "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
         "f 1 2 3 4\nf 5 8 7 6\nf 1 5 6 2\nf 2 6 7 3\nf 3 7 8 4\nf 5 1 4 8\n";
  std::ofstream(folder / "scene.ma") << R"(//Maya ASCII 2016 scene
requires "qv_testMeshArray" "1.0";
createNode transform -n "groundT";
createNode mesh -n "groundShape" -p "groundT";
createNode polyPlane -n "polyPlane1";
	setAttr ".sw" 3;
	setAttr ".sh" 2;
createNode transform -n "boxT";
createNode mesh -n "boxShape" -p "boxT";
	setAttr ".obj" -type "string" "box.obj";
createNode qvTestMeshArray -n "painting";
connectAttr "polyPlane1.out" "groundShape.i";
connectAttr "groundShape.w" "painting.ocl" -na;
connectAttr "boxShape.worldMesh[0]" "painting.occluders[2]";
)";
  const fs::path saved = folder / "saved.ma";
  // 3x2 quads and the cube's 6, two triangles each; then a 1x2 plane.
  const Result first = runScript(
      "getAttr painting.tri;\ngetAttr -size painting.ocl;\n"
      "setAttr polyPlane1.sw 1;\ngetAttr painting.tri;\n"
      "disconnectAttr boxShape.w painting.ocl[2];\n"
      "setAttr painting.wt[5] 0.5;\nsetAttr painting.wt[1] 1;\n"
      "file -save \"" +
          saved.generic_string() + "\";\n",
      {(folder / "scene.ma").string(), "-"});
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(first.out, "24\n2\n16\n");
  const std::string text = readFile(saved);
  for (const char* line : {"\tsetAttr \".wt[1]\" 1;\n\tsetAttr \".wt[5]\" 0.5;\n",
                           "connectAttr \"groundShape.w\" \"painting.ocl[0]\";\n",
                           "connectAttr \"polyPlane1.out\" \"groundShape.i\";\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nnot in\n" << text;
  }
  EXPECT_EQ(text.find("boxShape.w"), std::string::npos) << text;

  // Only the plane is connected now: the cube's element was never saved.
  const Result again = runScript(
      "getAttr painting.tri;\ngetAttr -size painting.ocl;\n"
      "getAttr -size painting.wt;\ngetAttr painting.wt[5];\n"
      "connectAttr boxShape.w painting.ocl;\n",
      {saved.string(), "-"});
  EXPECT_EQ(again.out, "4\n1\n2\n0.5\n");
  EXPECT_NE(again.err.find("painting.ocl is an array: name an element"), std::string::npos)
      << again.err;
}

// Maya writes the film back as one double2; its halves read back on their
// own, and a scene saved with it writes it the same way.
TEST(QvmayaTest, CameraApertureTakesADouble2AndSavesAsOne) {
  const fs::path saved = temp("aperture.ma");
  const Result first = runScript(
      "createNode transform -n cam;\n"
      "createNode camera -n camShape -p cam;\n"
      "\tsetAttr \".cap\" -type \"double2\" 1.5 0.75;\n"
      "getAttr camShape.hfa; getAttr camShape.vfa;\n"
      "setAttr camShape.cap -type double2 1 2 3;\n"
      "file -save \"" +
      saved.generic_string() + "\";\n");
  EXPECT_EQ(first.out, "1.5\n0.75\n");
  EXPECT_EQ(first.status, 1);
  EXPECT_NE(first.err.find("stdin line 5: setAttr: "), std::string::npos) << first.err;
  EXPECT_NE(readFile(saved).find("createNode camera -n \"camShape\" -p \"cam\";\n"
                                 "\tsetAttr \".cap\" -type \"double2\" 1.5 0.75;\n"),
            std::string::npos)
      << readFile(saved);
  const Result reloaded = runScript("getAttr camShape.cap;\n", {saved.string(), "-"});
  EXPECT_EQ(reloaded.err, "");
  EXPECT_EQ(reloaded.out, "1.5 0.75\n");
}

TEST(QvmayaTest, RequiresLooksInTheBuildsPluginFolderWhenThePathIsUnset) {
  PluginPath unset(nullptr);
  // A missing plug-in is Maya's warning: the scene opens, keeping its nodes.
  const Result r = runScript("requires \"qv_testNode\" \"1.0\";");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "// Warning: stdin line 1: requires: plug-in qv_testNode not found in " +
                       std::string(QV_PLUGIN_DIR) + "; its nodes are kept as unknown nodes\n");
  EXPECT_EQ(pluginSearchPath(), std::vector<std::string>{QV_PLUGIN_DIR});
}

TEST(QvmayaTest, LoadsAndUnloadsPluginsByPathAndName) {
  PluginPath path(QV_MAYA_TEST_PLUGIN_DIR);
  const std::string library =
      std::string(QV_MAYA_TEST_PLUGIN_DIR) + "/qv_testNode" QV_MAYA_PLUGIN_SUFFIX;
  const fs::path saved = temp("unknown nodes.ma");
  const Result r =
      runScript("loadPlugin \"" + library + "\"; loadPlugin \"" + library +
                "\";\n"
                "createNode qvTestNode -n n; setAttr n.other 9; getAttr n.other;\n"
                "pluginInfo -q -dependNode qv_testNode; pluginInfo -q -v qv_testNode;\n"
                "unloadPlugin \"qv_testNode\"; getAttr n.other;\n"
                "unloadPlugin -f \"qv_testNode\"; getAttr n.other; createNode qvTestNode;\n"
                "requires maya \"2015\"; unloadPlugin \"qv_testNode\";\n"
                "pluginInfo -q -loaded qv_testNode; file -save \"" +
                saved.generic_string() + "\";\n");
  EXPECT_EQ(r.out, "9\nqvTestNode\n1.0\n9\n9\n0\n");
  EXPECT_EQ(r.err,
            "// Error: stdin line 4: unloadPlugin: plug-in \"qv_testNode\" is still in use by 1 "
            "node(s) (n); delete them first, or unload with -force to keep them as unknown nodes\n"
            "// Error: stdin line 5: Unknown object type: qvTestNode\n"
            "// Error: stdin line 6: unloadPlugin: qv_testNode is not loaded\n");
  // The unknown node is saved as it was, and comes back whole where the
  // plug-in is found.
  const std::string text = readFile(saved);
  EXPECT_NE(text.find("requires -nodeType \"qvTestNode\" \"qv_testNode\" \"1.0\";\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("createNode qvTestNode -n \"n\";\n\tsetAttr \".oth\" 9;\n"),
            std::string::npos)
      << text;
  const Result reopened =
      runScript("getAttr n.other; unloadPlugin \"qv_testNode\";\n", {saved.string(), "-"});
  EXPECT_EQ(reopened.out, "9\n");
  EXPECT_NE(reopened.err.find("still in use by 1 node(s) (n)"), std::string::npos) << reopened.err;
}

TEST(QvmayaTest, PluginsRunCommandsThroughTheSessionsInterpreter) {
  const fs::path scene = temp("commands.ma");
  std::ofstream(scene) << "createNode transform -n t;\n\tsetAttr \".tx\" 2.5;\n";
  std::ostringstream out, err;
  const int status =
      withScene(scene.string(), out, err, [](maya::Host&, maya::Viewport&, const std::string&) {
        double number = 0.0;
        EXPECT_EQ(MGlobal::executeCommand("getAttr t.tx", number), MS::kSuccess);
        EXPECT_EQ(number, 2.5);
        int whole = 0;
        EXPECT_EQ(MGlobal::executeCommand("getAttr t.tx", whole), MS::kInvalidParameter);
        // The result is the last command's; what the commands print is not shown.
        MString text;
        EXPECT_EQ(MGlobal::executeCommand("createNode transform -n u; setAttr u.ty 4; getAttr u.ty",
                                          text, /*displayEnabled=*/true),
                  MS::kSuccess);
        EXPECT_EQ(text, "4");
        // An unknown command fails and leaves the result alone, as the devkit's
        // samples expect of Maya.
        EXPECT_EQ(MGlobal::executeCommand("getModulePath -moduleName \"devkit\"", text),
                  MS::kFailure);
        EXPECT_EQ(text, "4");
        MStatus created;
        EXPECT_EQ(MGlobal::executeCommandStringResult("createNode transform -n w", false, false,
                                                      &created),
                  "w");
        EXPECT_EQ(created, MS::kSuccess);
        return 0;
      });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "// Error: line 1: Cannot find procedure \"getModulePath\".\n");
  // With no session there is no interpreter: every command is unknown.
  testing::internal::CaptureStderr();
  EXPECT_EQ(MGlobal::executeCommand("getAttr t.tx"), MS::kFailure);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "// Error: Cannot find procedure \"getAttr\".\n");
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
      "unloadPlugin -f \"qv_testShader\"; ogs -refresh;\n");
  EXPECT_EQ(r.out,
            "tex: fragment qvTestGraph, HLSL implementation, built 1 time\n"
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

// What `qvmaya render` of a scene that does not open gives: its status and
// message, and whether it left the image behind.
struct RenderResult {
  Result result;
  bool imageLeft;
};

RenderResult renderScene(const fs::path& scene, const std::string& imageName) {
  const fs::path image = scene.parent_path() / imageName;
  fs::remove(image);
  RenderResult r{
      runScript("", {"render", scene.string(), "-o", image.string(), "--quiet", "--cpu"}), false};
  r.imageLeft = fs::exists(image);
  return r;
}

// A scene that opens itself, directly or through other scenes, stops at the
// nesting limit with one message where the open that went too deep is,
// instead of recursing until the stack runs out.
TEST(QvmayaSceneNesting, SceneThatOpensItselfStopsAtTheLimit) {
  test::ScratchDir dir("qvmaya_nesting");
  const std::string self = (dir.path() / "self.ma").generic_string();
  std::ofstream(self) << "createNode transform -n t;\nfile -open \"" << self << "\";\n";
  const Result r = runScript("", {self});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "// Error: " + self + " line 2: file: cannot open " + self +
                       ": scenes nest more than 16 deep here (does a scene open itself?)\n");

  // As a scene to render: the same message, once, and no image.
  const RenderResult render = renderScene(self, "self.png");
  EXPECT_EQ(render.result.status, 1);
  EXPECT_EQ(render.result.err, "qvmaya: " + self + " line 2: file: cannot open " + self +
                                   ": scenes nest more than 16 deep here (does a scene open "
                                   "itself?)\n");
  EXPECT_FALSE(render.imageLeft);
}

TEST(QvmayaSceneNesting, ScenesThatOpenEachOtherStopAtTheLimit) {
  test::ScratchDir dir("qvmaya_nesting");
  const std::string a = (dir.path() / "a.ma").generic_string();
  const std::string b = (dir.path() / "b.ma").generic_string();
  std::ofstream(a) << "file -open \"" << b << "\";\n";
  std::ofstream(b) << "createNode transform -n t;\n\nfile -o \"" << a << "\";\n";
  std::ostringstream out, err;
  bool used = false;
  const int status = withScene(a, out, err, [&](maya::Host&, maya::Viewport&, const std::string&) {
    used = true;
    return 0;
  });
  EXPECT_EQ(status, 1);
  EXPECT_FALSE(used);
  // Sixteen scenes open, a and b by turns; the sixteenth, b, opens a once more.
  EXPECT_EQ(err.str(), "qvmaya: " + b + " line 3: file: cannot open " + a +
                           ": scenes nest more than 16 deep here (does a scene open itself?)\n");
}

TEST(QvmayaSceneNesting, SixteenScenesOpenedOneInsideAnotherStillOpen) {
  test::ScratchDir dir("qvmaya_nesting");
  const auto scene = [&](int n) {
    return (dir.path() / ("s" + std::to_string(n) + ".ma")).generic_string();
  };
  // s1 runs as a script; s2 to s17 are opened by the one before, 16 deep.
  for (int n = 1; n <= 17; ++n) {
    std::ofstream file(scene(n));
    if (n < 17) {
      file << "file -open \"" << scene(n + 1) << "\";\n";
    } else {
      file << "createNode transform -n deepest;\nsetAttr deepest.tx 17;\n";
    }
  }
  Result r = runScript("getAttr deepest.tx;\n", {scene(1), "-"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "17\n");

  // One more, and s17's open is the one too many.
  std::ofstream(scene(17)) << "file -open \"" << scene(18) << "\";\n";
  std::ofstream(scene(18)) << "createNode transform -n deepest;\n";
  r = runScript("", {scene(1)});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "// Error: " + scene(17) + " line 1: file: cannot open " + scene(18) +
                       ": scenes nest more than 16 deep here (does a scene open itself?)\n");
}

// A block comment that never ends is an error where it starts, not the
// silent end of the script.
TEST(QvmayaComments, UnterminatedBlockCommentIsAnErrorWhereItStarts) {
  Result r = runScript(
      "createNode transform -n t;\n"
      "setAttr t.tx 2; getAttr t.tx; /* closed */ getAttr t.tx;\n"
      "/* never closed\n"
      "setAttr t.tx 5;\n"
      "getAttr t.tx;\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "2\n2\n");
  EXPECT_EQ(r.err, "// Error: stdin line 3: Unterminated comment: the '/*' here has no '*/'\n");

  // Inside a statement, after a comment that ends, and "/*/", which opens
  // one without closing it.
  r = runScript("createNode transform -n t;\n/**/ setAttr t.tx\n\n  /*/ 4;\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "// Error: stdin line 4: Unterminated comment: the '/*' here has no '*/'\n");
  r = runScript("createNode transform -n t; getAttr t.sx; /* star *");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "1\n");
  EXPECT_EQ(r.err, "// Error: stdin line 1: Unterminated comment: the '/*' here has no '*/'\n");
}

TEST(QvmayaComments, UnterminatedCommentInASceneFileWritesNothing) {
  test::ScratchDir dir("qvmaya_comment");
  const std::string saved = (dir.path() / "saved.ma").string();
  const std::string scene = dir.write("scene.ma",
                                      "//Maya ASCII 2015 scene\n"
                                      "createNode transform -n cam;\n"
                                      "createNode camera -n camShape -p cam;\n"
                                      "/* a note\n\n"
                                      "file -save \"" +
                                          saved + "\";\n");
  const Result r = runScript("", {scene});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "// Error: " + scene + " line 4: Unterminated comment: the '/*' here has no '*/'\n");
  EXPECT_FALSE(fs::exists(saved));

  const RenderResult render = renderScene(scene, "scene.png");
  EXPECT_EQ(render.result.status, 1);
  EXPECT_EQ(render.result.err,
            "qvmaya: " + scene + " line 4: Unterminated comment: the '/*' here has no '*/'\n");
  EXPECT_FALSE(render.imageLeft);
}

// What a message quotes of the script is cut short and escaped: a runaway
// word or a binary file does not come back in full.
TEST(QvmayaMessages, LongWordsAreCutShortAndUnprintableBytesEscaped) {
  const std::string word(100000, 'x');
  Result r = runScript("createNode " + word + ";\n" + word + ";\nsetAttr " + word + " 1;\n");
  EXPECT_EQ(r.status, 1);
  const std::string cut(40, 'x');
  EXPECT_EQ(r.err, "// Error: stdin line 1: Unknown object type: " + cut + "...\n" +
                       "// Error: stdin line 2: Cannot find procedure \"" + cut + "...\".\n" +
                       "// Error: stdin line 3: Not a plug (NODE.ATTR): " + cut + "...\n");

  r = runScript("createNode transform -n t;\nsetAttr t.tx \x01\x7f\xff\xfe;\n\x1b[2J;\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "// Error: stdin line 2: setAttr: not a number: \\x01\\x7F\\xFF\\xFE\n"
            "// Error: stdin line 3: Cannot find procedure \"\\x1B[2J\".\n");
}

TEST(QvmayaMessages, FileNamesAreShownWholeUnlessTheyAreNoFileNames) {
  const std::string folder(60, 'f');
  const Result r = runScript("file -open \"" + folder + "/missing.ma\";\nfile -o \"a\\tb\";\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "// Error: stdin line 1: file: " + folder +
                       "/missing.ma: cannot open file\n"
                       "// Error: stdin line 2: file: cannot open a\\x09b\n");
}

TEST(QvmayaMessages, BinaryFileGetsOneMessageAndNothingOfItRuns) {
  test::ScratchDir dir("qvmaya_binary");
  // What a Maya binary scene starts with, then what looks like commands.
  std::string bytes("FOR8\0\0\0\0\0\0\x01\x10Maya", 16);
  for (int i = 0; i < 2000; ++i) bytes += std::string("\xff\x01 ;\n\0\x80", 7);
  const std::string binary = dir.write("scene.mb", bytes);
  // Text up to a NUL byte on line 3, which makes it no script either.
  const std::string text = (dir.path() / "late.ma").string();
  std::ofstream(text, std::ios::binary)
      << std::string("createNode transform -n t;\n\ncreateNode \0transform -n u;\n", 55);
  const Result r = runScript("getAttr t.tx;\n", {binary, text, "-"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "// Error: " + binary +
                       " line 1: Not a MEL script or Maya ASCII file: it holds binary data\n"
                       "// Error: " +
                       text +
                       " line 3: Not a MEL script or Maya ASCII file: it holds binary data\n"
                       "// Error: stdin line 1: No object matches name: t.tx\n");
}

// A value an attribute's type cannot hold is refused with the attribute, the
// value and the range, and what is saved afterwards does not hold it.
TEST(QvmayaAttributeTypes, SetAttrRefusesWhatTheTypeCannotHoldAndSaveLeavesItOut) {
  PluginPath path(QV_MAYA_TEST_PLUGIN_DIR);
  test::ScratchDir dir("qvmaya_types");
  const std::string saved = (dir.path() / "saved.ma").generic_string();
  const Result r = runScript(
      "requires \"qv_testTypes\" \"1.0\";\n"
      "createNode qvTestTypes -n t;\n"
      "setAttr .count 7;\n"
      "setAttr .count nan;\n"
      "setAttr t.cn 1e30;\n"
      "setAttr t.level inf;\n"
      "setAttr t.pair -type short2 1 99999;\n"
      "setAttr t.flag nan;\n"
      "getAttr t.count; getAttr t.pair;\n"
      "file -save \"" +
      saved + "\";\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "7\n0 0\n");
  EXPECT_EQ(r.err,
            "// Error: stdin line 4: setAttr: cannot set t.count to nan: a long attribute takes "
            "whole numbers from -2147483648 to 2147483647\n"
            "// Error: stdin line 5: setAttr: cannot set t.count to 1e+30: a long attribute takes "
            "whole numbers from -2147483648 to 2147483647\n"
            "// Error: stdin line 6: setAttr: cannot set t.level to inf: a short attribute takes "
            "whole numbers from -32768 to 32767\n"
            "// Error: stdin line 7: setAttr: cannot set t.pair1 to 99999: a short attribute "
            "takes whole numbers from -32768 to 32767\n"
            "// Error: stdin line 8: setAttr: cannot set t.flag to nan: a bool attribute takes "
            "finite numbers (0 is off, any other on)\n");
  const std::string text = readFile(saved);
  EXPECT_NE(text.find("createNode qvTestTypes -n \"t\";\n\tsetAttr \".cn\" 7;\n"),
            std::string::npos)
      << text;
  for (const char* absent : {"nan", "inf", "e+30", "99999", ".lv", ".pr", ".fl"}) {
    EXPECT_EQ(text.find(absent), std::string::npos) << absent << " in\n" << text;
  }
}

TEST(QvmayaAttributeTypes, SceneWithAValueTheTypeCannotHoldDoesNotOpen) {
  PluginPath path(QV_MAYA_TEST_PLUGIN_DIR);
  test::ScratchDir dir("qvmaya_types");
  const std::string scene = dir.write("scene.ma",
                                      "requires \"qv_testTypes\" \"1.0\";\n"
                                      "createNode transform -n cam;\n"
                                      "createNode camera -n camShape -p cam;\n"
                                      "createNode qvTestTypes -n t;\n"
                                      "\tsetAttr \".cn\" 1e30;\n");
  const std::string message = "qvmaya: " + scene +
                              " line 5: setAttr: cannot set t.count to 1e+30: a long attribute "
                              "takes whole numbers from -2147483648 to 2147483647\n";
  std::ostringstream out, err;
  bool used = false;
  EXPECT_EQ(withScene(scene, out, err,
                      [&](maya::Host&, maya::Viewport&, const std::string&) {
                        used = true;
                        return 0;
                      }),
            1);
  EXPECT_FALSE(used);
  EXPECT_EQ(err.str(), message);

  const RenderResult render = renderScene(scene, "scene.png");
  EXPECT_EQ(render.result.status, 1);
  EXPECT_EQ(render.result.err, message);
  EXPECT_FALSE(render.imageLeft);
}

// What the fuzzer found, kept in fuzz/regressions/mel/: each runs to exit
// status 0 without a message or 1 with messages, and nothing worse.
TEST(QvmayaFuzzFindings, SavedInputsRunCleanly) {
  const fs::path folder = fs::path(QV_SOURCE_DIR) / "fuzz" / "regressions" / "mel";
  int inputs = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().string());
    const Result r = runScript(readFile(entry.path()));
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status;
    // Warnings (a missing plug-in, a kept type) leave the status 0.
    EXPECT_EQ(r.status == 0, r.err.find("// Error") == std::string::npos) << r.err;
    ++inputs;
  }
  EXPECT_GT(inputs, 0);

  const Result cycle = runScript(readFile(folder / "connection_cycle.mel"));
  EXPECT_EQ(cycle.err, "");
  EXPECT_EQ(cycle.status, 0);
  EXPECT_EQ(cycle.out, "3 3 0\n3\n");
}

}  // namespace
}  // namespace qv::qvmaya
