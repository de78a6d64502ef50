#include "qvray.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "command_test.h"
#include "vraybase.h"

namespace qv::qvray {
namespace {

namespace fs = std::filesystem;
using VUtils::AColor;

using Result = qv::test::CommandResult;
using qv::test::contains;
using qv::test::format;
using qv::test::lines;

Result runQvray(const std::vector<std::string>& args, const std::string& input = "") {
  return qv::test::runCommand(run, args, input);
}

std::string formatColor(const AColor& c) {
  return format(c.r) + " " + format(c.g) + " " + format(c.b) + " " + format(c.a);
}

// qvShotWeave's colour worked out by hand: A plus B weighted by how little of
// matte A's rgb covers it, channel by channel, alpha included.
AColor weave(const AColor& a, const AColor& matteA, const AColor& b) {
  const float w = 1.0f - (matteA.r + matteA.g + matteA.b) / 3.0f;
  return AColor(a.r + w * b.r, a.g + w * b.g, a.b + w * b.b, a.a + w * b.a);
}

float capAtOne(float x) {
  return x > 1.0f ? 1.0f : x;
}

const AColor kColorA(0.9f, 0.4f, 0.1f, 1.0f);
const AColor kMatteA(0.5f, 0.5f, 0.5f, 1.0f);
const AColor kColorB(0.1f, 0.2f, 0.8f, 1.0f);
const float kMatteB = 0.25f;

const char* const kWeaveScene =
    "// Two projections laid over one another by their mattes.\n"
    "qvShotWeave weave {\n"
    "  color_a=AColor(0.9, 0.4, 0.1, 1);\n"
    "  matte_a=Color(0.5, 0.5, 0.5);\n"
    "  color_b=AColor(0.1, 0.2, 0.8, 1);\n"
    "  matte_b=0.25;\n"
    "}\n";

const char* const kThreePoints =
    "0 0 0 0 1 0\n"
    "1 0 2 0 0 1\n"
    "-3.5 1 0.25 1 0 0\n";

std::string manyPoints(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    const double x = 0.25 * i;
    text += std::to_string(x) + " " + std::to_string(-x) + " 1.5 0 0 1\n";
  }
  return text;
}

class QvrayTest : public ::testing::Test {
 protected:
  std::string writeScene(const std::string& name, const std::string& text) const {
    return scratch_.write(name, text);
  }

  static Result probe(const std::string& scene, const std::string& texture,
                      const std::string& input, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"probe", scene, texture, "--plugins", QV_PLUGIN_DIR};
    args.insert(args.end(), extra.begin(), extra.end());
    return runQvray(args, input);
  }

  // Bad input: status 1, one message naming the problem, nothing printed.
  static void expectInputError(const Result& r, const std::vector<std::string>& fragments) {
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("qvray: ", 0), 0u) << r.err;
    EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    for (const std::string& fragment : fragments) {
      EXPECT_TRUE(contains(r.err, fragment)) << "'" << fragment << "' in: " << r.err;
    }
  }

  qv::test::ScratchDir scratch_{"qvray_test"};
  const fs::path& dir_ = scratch_.path();
};

using QvrayProbe = QvrayTest;

TEST_F(QvrayProbe, ColourOutputIsOneLinePerPoint) {
  const std::string scene = writeScene("weave.vrscene", kWeaveScene);
  const Result r = probe(scene, "weave", kThreePoints);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string expected = formatColor(weave(kColorA, kMatteA, kColorB));
  EXPECT_EQ(expected, "0.95 0.5 0.5 1.5");
  EXPECT_EQ(lines(r.out), std::vector<std::string>(3, expected));
}

TEST_F(QvrayProbe, NamedOutputsPrintTheirOwnKind) {
  const std::string scene = writeScene("weave.vrscene", kWeaveScene);
  const float sum = kMatteA.r + kMatteB;  // every channel alike

  Result r = probe(scene, "weave::outAlpha", kThreePoints);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string alpha = format((capAtOne(sum) + capAtOne(sum) + capAtOne(sum)) / 3.0f);
  EXPECT_EQ(lines(r.out), std::vector<std::string>(3, alpha));

  r = probe(scene, "weave::outMatte", kThreePoints);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string matte = formatColor(AColor(capAtOne(sum), capAtOne(sum), capAtOne(sum), 1.0f));
  EXPECT_EQ(lines(r.out), std::vector<std::string>(3, matte));
}

TEST_F(QvrayProbe, ValuesKeepSixSignificantDigits) {
  const std::string scene = writeScene("thirds.vrscene",
                                       "qvShotWeave w {\n"
                                       "  color_a=AColor(0.123456789, 1234567.5, 1e-7, 0);\n"
                                       "  matte_a=1;\n"
                                       "}\n");
  const Result r = probe(scene, "w", "0 0 0 0 0 1\n");
  ASSERT_EQ(r.status, 0) << r.err;
  // Matte one hides B completely, so the colour is A as a float holds it.
  EXPECT_EQ(r.out, formatColor(AColor(0.123456789f, 1234567.5f, 1e-7f, 0.0f)) + "\n");
  EXPECT_EQ(r.out, "0.123457 1.23457e+06 1e-07 0\n");
}

TEST_F(QvrayProbe, ThreadCountDoesNotChangeTheOutput) {
  const std::string scene = writeScene("chain.vrscene",
                                       "qvShotWeave top {\n"
                                       "  color_a=weave;\n"
                                       "  matte_a=weave::outMatte;\n"
                                       "  color_b=AColor(0.3, 0.6, 0.9, 0.5);\n"
                                       "}\n" +
                                           std::string(kWeaveScene));
  const std::string input = manyPoints(997);
  for (const std::string texture : {"top", "weave::outAlpha"}) {
    SCOPED_TRACE(texture);
    const Result one = probe(scene, texture, input, {"--threads", "1"});
    ASSERT_EQ(one.status, 0) << one.err;
    ASSERT_EQ(lines(one.out).size(), 997u);
    for (const char* threads : {"2", "4"}) {
      const Result many = probe(scene, texture, input, {"--threads", threads});
      ASSERT_EQ(many.status, 0) << many.err;
      EXPECT_EQ(many.out, one.out) << threads << " threads";
    }
  }
}

TEST_F(QvrayProbe, BlankLinesAreSkipped) {
  const std::string scene = writeScene("weave.vrscene", kWeaveScene);
  const Result r = probe(scene, "weave", "\n0 0 0 0 1 0\n   \n\t\r\n1 2 3 0 0 1\r\n\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(lines(r.out).size(), 2u) << r.out;
}

TEST_F(QvrayProbe, NoPointsPrintNothing) {
  const std::string scene = writeScene("weave.vrscene", kWeaveScene);
  const Result r = probe(scene, "weave", "");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
}

TEST_F(QvrayProbe, MalformedPointsNameTheirLine) {
  const std::string scene = writeScene("weave.vrscene", kWeaveScene);
  expectInputError(probe(scene, "weave", "0 0 0 0 1 0\n\n1 2 x 0 0 1\n"), {"stdin:3:", "1 2 x"});
  expectInputError(probe(scene, "weave", "1 2 3 4 5\n"), {"stdin:1:"});
  expectInputError(probe(scene, "weave", "0 0 0 0 1 0\n1 2 3 4 5 6 7\n"), {"stdin:2:"});
  expectInputError(probe(scene, "weave", "0 0 0 0 1 0\n0 0 0 0 1 0 // note\n"), {"stdin:2:"});
}

TEST_F(QvrayProbe, BundledExampleProbes) {
  std::ifstream pointsFile(QV_SOURCE_DIR "/examples/probe_points.txt");
  ASSERT_TRUE(pointsFile) << "examples/probe_points.txt";
  std::stringstream points;
  points << pointsFile.rdbuf();
  const Result r = probe(QV_SOURCE_DIR "/examples/shotweave.vrscene", "weave", points.str());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> out = lines(r.out);
  EXPECT_EQ(out.size(), 3u);
  for (const std::string& line : out) EXPECT_EQ(line, "0.95 0.5 0.5 1.5");
}

using QvrayBadInput = QvrayTest;

TEST_F(QvrayBadInput, TexturesThatAreNotInTheScene) {
  const std::string scene = writeScene("weave.vrscene", kWeaveScene);
  expectInputError(probe(scene, "ghost", kThreePoints), {scene, "'ghost'"});
  expectInputError(probe(scene, "weave::outNope", kThreePoints), {scene, "'outNope'"});
  expectInputError(probe(scene, "weave::", kThreePoints), {scene, "'weave::'"});
}

TEST_F(QvrayBadInput, ScenesThatDoNotLoad) {
  const std::string unknownType =
      writeScene("type.vrscene", "qvShotWeave ok {}\nqvNoSuchTexture x {}\n");
  expectInputError(probe(unknownType, "ok", kThreePoints),
                   {unknownType + ":2: ", "unknown plug-in type 'qvNoSuchTexture'"});

  const std::string syntax = writeScene("syntax.vrscene", "qvShotWeave w {\n  color_a=;\n}\n");
  expectInputError(probe(syntax, "w", kThreePoints), {syntax + ":2: "});

  const std::string loop = writeScene("loop.vrscene", "qvShotWeave w {\n  color_a=w;\n}\n");
  expectInputError(probe(loop, "w", kThreePoints), {loop + ":2: ", "loop"});

  const std::string missing = (dir_ / "missing.vrscene").string();
  expectInputError(probe(missing, "weave", kThreePoints), {missing, "cannot open"});
}

TEST_F(QvrayBadInput, UnreadablePluginFolder) {
  const std::string scene = writeScene("weave.vrscene", kWeaveScene);
  const std::string folder = (dir_ / "no_plugins_here").string();
  const Result r = runQvray({"probe", scene, "weave", "--plugins", folder}, kThreePoints);
  expectInputError(r, {folder});
}

TEST(QvrayUsage, BadUsageShowsUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"probe"},
      {"probe", "scene.vrscene"},
      {"probe", "scene.vrscene", "weave", "extra"},
      {"probe", "scene.vrscene", "weave", "--threads", "0"},
      {"probe", "scene.vrscene", "weave", "--threads", "-2"},
      {"probe", "scene.vrscene", "weave", "--threads", "two"},
      {"probe", "scene.vrscene", "weave", "--threads", "1025"},
      {"probe", "scene.vrscene", "weave", "--threads"},
      {"probe", "scene.vrscene", "weave", "--plugins"},
      {"probe", "scene.vrscene", "weave", "--colour"},
      {"render", "scene.vrscene", "weave"},
  };
  for (const std::vector<std::string>& args : cases) {
    std::string joined;
    for (const std::string& arg : args) joined += " " + arg;
    SCOPED_TRACE("qvray" + joined);
    // The scene is never read: usage is checked first.
    const Result r = runQvray(args, kThreePoints);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, "usage: qvray probe")) << r.err;
  }
}

TEST(QvrayUsage, MessagesNameTheOffendingArgument) {
  EXPECT_TRUE(contains(runQvray({"draw"}).err, "unknown command 'draw'"));
  EXPECT_TRUE(contains(runQvray({"probe", "s", "t", "--colour"}).err, "'--colour'"));
  EXPECT_TRUE(contains(runQvray({"probe", "s", "t", "--threads", "0"}).err, "'0'"));
}

TEST(QvrayUsage, HelpGoesToStandardOutput) {
  for (const char* flag : {"--help", "-h"}) {
    const Result r = runQvray({flag});
    EXPECT_EQ(r.status, 0) << flag;
    EXPECT_TRUE(contains(r.out, "usage: qvray probe")) << flag;
    EXPECT_EQ(r.err, "") << flag;
  }
}

}  // namespace
}  // namespace qv::qvray
