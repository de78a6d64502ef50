#include "qvmray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "command_test.h"

namespace qv::qvmray {
namespace {

namespace fs = std::filesystem;

using Result = qv::test::CommandResult;
using qv::test::contains;
using qv::test::format;
using qv::test::lines;

Result runQvmray(const std::vector<std::string>& args, const std::string& input = "") {
  return qv::test::runCommand(run, args, input);
}

std::string join(const std::vector<float>& values) {
  std::string text;
  for (float v : values) text += (text.empty() ? "" : " ") + format(v);
  return text;
}

// qv_shotWeave's result line from the composite colour k, the coverage
// alpha and the masks of the first layers, filled in as the record defines.
std::string weaveRecord(float r, float g, float b, float alpha, std::vector<float> masks) {
  masks.resize(20, 0.0f);
  std::vector<float> values = {r,    g,     b,     alpha, 1 - alpha, 1 - alpha, 1 - alpha,
                               1.0f, alpha, alpha, alpha, 1.0f,      alpha};
  values.insert(values.end(), masks.begin(), masks.end());
  return join(values);
}

// A layer that sees the origin from (0, 0, 10), on no excluded object, with
// hard edges and its colour as it is.
std::string layer(const std::string& extra, const std::string& mask = "1") {
  return "{ \"mask\" " + mask +
         ", \"placementMatrix\" 1 0 0 0 0 1 0 0 0 0 1 0 0 0 10 1, "
         "\"labelExclude\" -1, \"angleThreshold\" 90, \"softEdge\" 0, \"premult\" off" +
         (extra.empty() ? "" : ", " + extra) + " }";
}

const char* const kOrigin = "0 0 0 0 0 1\n";

class QvmrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Squares of side 2 facing +z: one between the origin and the projectors
    // of layer(), one behind the origin.
    write("between.obj", "v -1 -1 5\nv 1 -1 5\nv 1 1 5\nv -1 1 5\nf 1 2 3 4\n");
    write("behind.obj", "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nf 1 2 3 4\n");
  }

  std::string write(const std::string& name, const std::string& text) const {
    return scratch_.write(name, text);
  }

  static Result probe(const std::string& scene, const std::string& shader, const std::string& input,
                      const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"probe", scene, shader, "--library", QV_SHADER_LIBRARY};
    args.insert(args.end(), extra.begin(), extra.end());
    return runQvmray(args, input);
  }

  // Shades the origin with the scene's shader "s" and answers the one line.
  std::string shadeOrigin(const std::string& sceneText,
                          const std::vector<std::string>& extra = {}) const {
    const Result r = probe(write("s.mi", sceneText), "s", kOrigin, extra);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> out = lines(r.out);
    return out.size() == 1 ? out[0] : "(" + std::to_string(out.size()) + " lines)";
  }

  // Bad input: status 1, one message naming the problem, nothing printed.
  static void expectInputError(const Result& r, const std::vector<std::string>& fragments) {
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("qvmray: ", 0), 0u) << r.err;
    EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    for (const std::string& fragment : fragments) {
      EXPECT_TRUE(contains(r.err, fragment)) << "'" << fragment << "' in: " << r.err;
    }
  }

  qv::test::ScratchDir scratch_{"qvmray_test"};
  const fs::path& dir_ = scratch_.path();
};

using QvmrayWeave = QvmrayTest;

TEST_F(QvmrayWeave, NoLayersGiveTheEmptyComposite) {
  const std::string expected = weaveRecord(0, 0, 0, 0, {});
  EXPECT_EQ(expected.substr(0, 26), "0 0 0 0 1 1 1 1 0 0 0 1 0 ");
  EXPECT_EQ(shadeOrigin("shader \"s\" \"qv_shotWeave\" ( \"layers\" [] )"), expected);
}

TEST_F(QvmrayWeave, LayerVisibilityFollowsWhatStandsBeforeTheProjector) {
  const std::string visible = layer("\"color\" 0.25 0.5 0.75 1, \"colorOffset\" 0.25 0 0 0");
  EXPECT_EQ(shadeOrigin("shader \"s\" \"qv_shotWeave\" ( \"layers\" [ " + visible + " ] )"),
            weaveRecord(0.5f, 0.5f, 0.75f, 1.0f, {2.0f}));

  // A layer that traces toward its projector sees it through what stands
  // between: nothing of an opaque object, 1 - 0.4 of a 0.4 one.
  const std::string traced =
      layer("\"color\" 0.25 0.5 0.75 1, \"colorOffset\" 0.25 0 0 0, \"useShadowOcclusion\" on");
  for (const float opacity : {1.0f, 0.4f}) {
    SCOPED_TRACE(opacity);
    const std::string scene = "object \"wall\" file \"between.obj\" opacity " + format(opacity) +
                              " end object\n"
                              "shader \"s\" \"qv_shotWeave\" ( \"layers\" [ " +
                              traced + " ] )";
    const float v = 1.0f - opacity;
    EXPECT_EQ(shadeOrigin(scene), weaveRecord(0.5f * v, 0.5f * v, 0.75f * v, v, {v + 1.0f}));
  }
}

// mental ray binds a library to its functions through the module it hands
// to miSetModuleHandle (Windows) or leaves them to the dynamic linker (Linux,
// macOS). Either way the occlusion test reaches the host's tracing: a
// library that found nothing would print the binding messages and see
// through the wall.
TEST_F(QvmrayWeave, EitherBindingReachesTheHost) {
  const std::string scene =
      write("s.mi",
            "object \"wall\" file \"between.obj\" end object\n"
            "shader \"s\" \"qv_shotWeave\" ( \"layers\" [ " +
                layer("\"color\" 1 1 1 1, \"useShadowOcclusion\" on") + " ] )");
  for (const char* binding : {"handle", "global"}) {
    SCOPED_TRACE(binding);
    const Result r = probe(scene, "s", kOrigin, {"--bind", binding});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, weaveRecord(0, 0, 0, 0, {1.0f}) + "\n");
  }
  const Result wrong = probe(scene, "s", kOrigin, {"--bind", "loader"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_TRUE(contains(wrong.err, "--bind takes handle or global, not 'loader'")) << wrong.err;
}

TEST_F(QvmrayWeave, ShadowAndDisplacementRaysAreRefused) {
  const std::string scene =
      write("s.mi", "shader \"s\" \"qv_shotWeave\" ( \"layers\" [ " + layer("") + " ] )");
  for (const char* type : {"5", "16"}) {
    const Result r = probe(scene, "s", "0 0 0 0 0 1\n1 2 3 0 1 0 0 -1 0\n", {"--ray-type", type});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "false\nfalse\n") << "ray type " << type;
  }
  // The layer keeps the declared colour, the Maya node's grey.
  const Result eye = probe(scene, "s", kOrigin, {"--ray-type", "0"});
  EXPECT_EQ(eye.out, weaveRecord(0.5f, 0.5f, 0.5f, 1, {2.0f}) + "\n");
}

TEST_F(QvmrayWeave, ConnectedShadersFeedLayerParameters) {
  // The colour comes from a qv_const, the mask from another qv_shotWeave's
  // outAlpha (its one layer half covers the point).
  const std::string scene =
      "shader \"fill\" \"qv_const\" ( \"color\" 0.1 0.2 0.8 1, \"opacity\" 1 )\n"
      "shader \"half\" \"qv_shotWeave\" ( \"layers\" [ " +
      layer("", "0.5") +
      " ] )\n"
      "shader \"s\" \"qv_shotWeave\" ( \"layers\" [\n"
      "  { \"color\" = \"fill\", \"mask\" = \"half\", \"labelExclude\" -1, \"premult\" off,\n"
      "    \"placementMatrix\" 1 0 0 0 0 1 0 0 0 0 1 0 0 0 10 1 } ] )\n";
  EXPECT_EQ(shadeOrigin(scene), weaveRecord(0.1f, 0.2f, 0.8f, 0.5f, {1.0f}));

  // A connected shader traces from the state it is handed, as shaders do.
  const std::string seeThrough =
      "object \"wall\" file \"behind.obj\" end object\n"
      "shader \"fill\" \"qv_const\" ( \"color\" 0.1 0.2 0.3 1, \"opacity\" 0.5 )\n"
      "shader \"s\" \"qv_shotWeave\" ( \"layers\" [ " +
      layer("\"color\" = \"fill\"") + " ] )\n";
  EXPECT_EQ(shadeOrigin(seeThrough), weaveRecord(0.1f + 0.5f, 0.2f + 0.5f, 0.3f + 0.5f, 1, {2}));
}

TEST_F(QvmrayWeave, BundledExampleSeesAroundTheBox) {
  std::ifstream pointsFile(QV_SOURCE_DIR "/examples/shotweave_points.txt");
  ASSERT_TRUE(pointsFile);
  std::stringstream points;
  points << pointsFile.rdbuf();
  const Result r = probe(QV_SOURCE_DIR "/examples/shotweave.mi", "weave", points.str());
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), 5u);
  // In front of the box the front painting lies on top; behind it, only the
  // side painting (the fill) is seen; the box's side faces away from both.
  EXPECT_EQ(out[0], weaveRecord(0.9f, 0.4f, 0.1f, 1, {2, 2}));
  EXPECT_EQ(out[1], weaveRecord(0.1f, 0.2f, 0.8f, 1, {1, 2}));
  EXPECT_EQ(out[4], weaveRecord(0, 0, 0, 0, {1, 1}));
}

using QvmrayConst = QvmrayTest;

TEST_F(QvmrayConst, OpacityAddsWhatLiesBehind) {
  // An opaque white wall behind the point: behind = (1, 1, 1, 1).
  const float c[3] = {0.2f, 0.3f, 0.4f};
  for (const float opacity : {1.0f, 0.0f, 1.5f}) {
    SCOPED_TRACE(opacity);
    const std::string scene =
        "object \"wall\" file \"behind.obj\" end object\n"
        "shader \"s\" \"qv_const\" ( \"color\" 0.2 0.3 0.4 0.9, \"opacity\" " +
        format(opacity) + " )\n";
    const float k = opacity == 1.0f ? 0.0f : 1.0f - opacity;
    const float alpha = std::min(1.0f, std::max(0.0f, opacity + k));
    EXPECT_EQ(shadeOrigin(scene), join({c[0] + k, c[1] + k, c[2] + k, alpha}));
  }
  EXPECT_EQ(shadeOrigin("shader \"s\" \"qv_const\" ( \"color\" 0.2 0.3 0.4, \"opacity\" 1,\n"
                        "  \"alphaOverride\" on, \"alphaValue\" 0.25 )\n"),
            "0.2 0.3 0.4 0.25");
}

using QvmrayThreads = QvmrayTest;

TEST_F(QvmrayThreads, ThreadCountDoesNotChangeTheOutput) {
  // Soft samples, a see-through connected shader and points on, behind and
  // beside the box: every host function runs on every thread.
  const std::string box = QV_SOURCE_DIR "/examples/box.obj";
  const std::string ground = QV_SOURCE_DIR "/examples/ground.obj";
  const std::string scene =
      write("t.mi", "object \"ground\" file \"" + ground + "\" label 1 end object\n" +
                        "object \"box\" file \"" + box + "\" label 2 opacity 0.7 end object\n" +
                        "shader \"fill\" \"qv_const\" ( \"color\" 0.1 0.2 0.8, \"opacity\" 0.5 )\n"
                        "shader \"w\" \"qv_shotWeave\" ( \"layers\" [\n"
                        "  { \"color\" 0.9 0.4 0.1 1, \"mask\" 1, \"useShadowOcclusion\" on,\n"
                        "    \"placementMatrix\" 1 0 0 0 0 1 0 0 0 0 1 0 0 5 12 1, \"dilate\" 6,\n"
                        "    \"samples\" 16, \"softEdge\" 1, \"power\" 2, \"angleThreshold\" 85,\n"
                        "    \"labelExclude\" -1 },\n"
                        "  { \"color\" = \"fill\", \"mask\" 0.8, \"useShadowOcclusion\" on,\n"
                        "    \"placementMatrix\" 1 0 0 0 0 1 0 0 0 0 1 0 -12 5 0 1, \"dilate\" 5,\n"
                        "    \"samples\" 8, \"angleThreshold\" 85, \"labelExclude\" 2 } ] )\n");
  std::string input;
  for (int i = 0; i < 21; ++i) {
    for (int j = 0; j < 21; ++j) {
      input += std::to_string(-5 + 0.5 * i) + " -1 " + std::to_string(-5 + 0.5 * j) + " 0 1 0\n";
    }
    input += std::to_string(-1 + 0.1 * i) + " 1 0.3 0 1 0\n";
  }
  const Result one = probe(scene, "w", input, {"--threads", "1"});
  ASSERT_EQ(one.status, 0) << one.err;
  const std::vector<std::string> out = lines(one.out);
  ASSERT_EQ(out.size(), 21u * 22u);
  // Visibility varies over the points, so equal output means equal work.
  EXPECT_GT(std::set<std::string>(out.begin(), out.end()).size(), 15u);
  for (const char* threads : {"2", "4"}) {
    const Result many = probe(scene, "w", input, {"--threads", threads});
    ASSERT_EQ(many.status, 0) << many.err;
    EXPECT_EQ(many.out, one.out) << threads << " threads";
  }
}

// Declarations come from beside the library, as mental ray for Maya reads
// those on its shader path; a scene may link the library and include them
// itself, as a mental ray scene does.
using QvmrayDeclarations = QvmrayTest;

TEST_F(QvmrayDeclarations, ReadBesideTheLibraryLinkedOrIncluded) {
  // A copy of the library with nothing beside it declares nothing.
  const fs::path plugins = dir_ / "plugins";
  fs::create_directories(plugins);
  const fs::path copy = plugins / fs::path(QV_SHADER_LIBRARY).filename();
  fs::copy_file(QV_SHADER_LIBRARY, copy);
  const std::string body = "shader \"s\" \"qv_shotWeave\" ( \"layers\" [] )\n";
  const std::string bare = write("bare.mi", body);
  expectInputError(probe(bare, "s", kOrigin, {"--library", copy.string()}),
                   {bare + ":1: ", "unknown shader type 'qv_shotWeave'"});

  // The declarations included from beside the scene.
  const std::string empty = weaveRecord(0, 0, 0, 0, {});
  fs::copy_file(fs::path(QV_SHADER_LIBRARY).replace_extension(".mi"), dir_ / "own.mi");
  const std::string includes = write("includes.mi", "$include \"own.mi\"\n" + body);
  const Result included = probe(includes, "s", kOrigin, {"--library", copy.string()});
  EXPECT_EQ(included.status, 0) << included.err;
  EXPECT_EQ(lines(included.out), std::vector<std::string>{empty});

  // Once the declaration file is installed beside the copy, the scene needs
  // neither; it may link the library under either platform's name, as it
  // stands beside the scene or in the plug-in folder.
  fs::copy_file(fs::path(QV_SHADER_LIBRARY).replace_extension(".mi"),
                fs::path(copy).replace_extension(".mi"));
  for (const std::string& head :
       {std::string(), std::string("link \"qv_shotWeave.so\"\n"),
        std::string("link \"qv_shotWeave.dll\"\n$include \"qv_shotWeave.mi\"\n")}) {
    SCOPED_TRACE(head);
    const Result r = probe(write("s.mi", head + body), "s", kOrigin, {"--library", copy.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out), std::vector<std::string>{empty});
  }
  const std::string missing = write("missing.mi", "\nlink \"qv_nothing.so\"\n" + body);
  expectInputError(probe(missing, "s", kOrigin, {"--library", copy.string()}),
                   {missing + ":2: cannot link \"qv_nothing.so\": no such shader library"});

  // A scene that declares a shader otherwise than the library's file does.
  const std::string clash = write("clash.mi",
                                  "declare shader \"qv_const\" ( color \"color\" ) version 13\n"
                                  "end declare\n" +
                                      body);
  expectInputError(probe(clash, "s", kOrigin, {"--library", copy.string()}),
                   {clash + ":1: ", "shader 'qv_const' is declared again, differently"});
}

using QvmrayBadInput = QvmrayTest;

TEST_F(QvmrayBadInput, EveryFailureIsOneLocatedMessage) {
  const std::string good = write("good.mi", "shader \"s\" \"qv_const\" ( \"opacity\" 1 )\n");
  expectInputError(probe(good, "s", "0 0 0 0 0 1\n\n1 2 x 0 0 1\n"), {"stdin:3:", "1 2 x"});
  expectInputError(probe(good, "s", "1 2 3 4 5\n"), {"stdin:1:"});
  expectInputError(probe(good, "s", "1 2 3 4 5 6 7\n"), {"stdin:1:"});
  expectInputError(probe(good, "s", "0 0 0 0 0 1 0 0 -1 0\n"), {"stdin:1:"});
  expectInputError(probe(good, "s", "0 0 0 0 0 1\n1e39 0 0 0 0 1\n"), {"stdin:2:"});
  expectInputError(probe(good, "nobody", kOrigin), {good, "no shader 'nobody'"});

  const std::string broken = write("broken.mi", "shader \"s\" \"qv_const\" (\n \"opacity\" on )\n");
  expectInputError(probe(broken, "s", kOrigin), {broken + ":2: "});
  const std::string meshless =
      write("meshless.mi", "\nobject \"o\" file \"none.obj\" end object\n" +
                               std::string("shader \"s\" \"qv_const\" ( )\n"));
  expectInputError(probe(meshless, "s", kOrigin), {meshless + ":2: ", "object 'o'", "none.obj"});
  const std::string missing = (dir_ / "missing.mi").string();
  expectInputError(probe(missing, "s", kOrigin), {missing, "cannot open"});

  const std::string noLibrary = (dir_ / "none" QV_MODULE_SUFFIX).string();
  expectInputError(runQvmray({"probe", good, "s", "--library", noLibrary}, kOrigin), {noLibrary});
  // The host module itself loads, but has no declarations beside it, and no
  // shaders for those a scene includes.
  expectInputError(
      runQvmray({"probe", good, "s", "--library", QV_MENTALRAY_HOST_LIBRARY}, kOrigin),
      {good + ":1: ", "unknown shader type 'qv_const' (declared: mib_texture_projection)"});
  const std::string included = write("included.mi", "$include \"" QV_SOURCE_DIR
                                                    "/qv_shotWeave/qv_shotWeave.mi\"\n"
                                                    "shader \"s\" \"qv_const\" ( )\n");
  expectInputError(
      runQvmray({"probe", included, "s", "--library", QV_MENTALRAY_HOST_LIBRARY}, kOrigin),
      {"no shader library exports shader 'qv_const'"});
}

TEST(QvmrayUsage, BadUsageShowsUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"probe"},
      {"probe", "s.mi"},
      {"probe", "s.mi", "s", "extra"},
      {"probe", "s.mi", "s", "--threads", "0"},
      {"probe", "s.mi", "s", "--threads", "two"},
      {"probe", "s.mi", "s", "--ray-type", "7"},
      {"probe", "s.mi", "s", "--ray-type", "-1"},
      {"probe", "s.mi", "s", "--ray-type"},
      {"probe", "s.mi", "s", "--library"},
      {"probe", "s.mi", "s", "--colour"},
      {"render", "s.mi", "s"},
  };
  for (const std::vector<std::string>& args : cases) {
    std::string joined;
    for (const std::string& arg : args) joined += " " + arg;
    SCOPED_TRACE("qvmray" + joined);
    // The scene is never read: usage is checked first.
    const Result r = runQvmray(args, kOrigin);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, "usage: qvmray probe")) << r.err;
  }
  const Result help = runQvmray({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(contains(help.out, "usage: qvmray probe"));
}

}  // namespace
}  // namespace qv::qvmray
