#include "mi_scene.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

// The library's own records: the host lays blocks out from the library's
// declaration file, and these say where the shaders actually read.
#include "shader_records.h"

namespace qv::mrhost {
namespace {

namespace fs = std::filesystem;

// The host's own declarations and the library's, as the library installs them.
const Declarations& declarations() {
  static const Declarations* const known = [] {
    auto* decls = new Declarations;
    std::string error;
    if (!addHostDeclarations(decls, &error) ||
        !readDeclarations(QV_SOURCE_DIR "/qv_shotWeave/qv_shotWeave.mi", decls, &error)) {
      ADD_FAILURE() << error;
    }
    return decls;
  }();
  return *known;
}

MiParseResult parse(const std::string& text, const std::string& file) {
  MiReadOptions options;
  options.declarations = &declarations();
  return parseMi(text, file, options);
}

using mray::ConstParams;
using mray::ShotWeaveLayer;
using mray::ShotWeaveParams;
using mray::ShotWeaveResult;

// A block as the shader sees it, built through the library's record types.
class ExpectedBlock {
 public:
  explicit ExpectedBlock(std::size_t bytes) : words_((bytes + 3) / 4, 0u) {}
  template <class Record>
  Record* at(std::size_t byteOffset) {
    return reinterpret_cast<Record*>(reinterpret_cast<char*>(words_.data()) + byteOffset);
  }
  const std::vector<std::uint32_t>& words() const { return words_; }

 private:
  std::vector<std::uint32_t> words_;
};

std::size_t wordOf(std::size_t byteOffset) {
  return byteOffset / 4;
}

const char* const kScene =
    "# every construct the reader knows\n"
    "object \"ground\" file \"meshes/ground.obj\" end object\n"
    "object \"box\" file \"/abs/box.obj\"\n"
    "  label 7 opacity 0.25 color 0.5 0.75 1 end object  # trailing comment\n"
    "shader \"fill\" \"qv_const\" (\n"
    "  \"color\" 0.1 0.2 0.3,\n"
    "  \"opacity\" 0.5, \"alphaOverride\" on, \"alphaValue\" -2e-1\n"
    ")\n"
    "shader \"inner\" \"qv_shotWeave\" ( \"layers\" [] )\n"
    "shader \"bare\" \"qv_shotWeave\" ( )\n"
    "shader \"weave\" \"qv_shotWeave\" (\n"
    "  \"layers\" [\n"
    "    { \"color\" 1 0 0 0.5, \"mask\" = \"inner\", \"colorOffset\" 0 0.125 0 0,\n"
    "      \"placementMatrix\" 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16,\n"
    "      \"passThrough\" off, \"distanceThreshold\" 9, \"useShadowOcclusion\" on,\n"
    "      \"dilate\" 0.5, \"samples\" -3, \"softEdge\" 2, \"power\" 3, \"useFacingRatio\" on,\n"
    "      \"angleThreshold\" 80, \"labelExclude\" 7, \"premult\" on },\n"
    "    { \"color\" = \"fill\", \"mask\" 1 }\n"
    "  ]\n"
    ")\n";

TEST(MiScene, ReadsObjectsWithTheirDefaultsAndPaths) {
  const MiParseResult r = parse(kScene, "/scenes/a.mi");
  ASSERT_TRUE(r.scene) << r.error;
  const std::vector<ObjectStatement>& objects = r.scene->objects;
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0].name, "ground");
  // Joined by the platform's rules: '\\' separates folders on Windows too.
  EXPECT_EQ(fs::path(objects[0].path), fs::path("/scenes/meshes/ground.obj"));
  EXPECT_EQ(objects[0].label, 0);
  EXPECT_EQ(objects[0].opacity, 1.0f);
  EXPECT_EQ(objects[0].color, (std::array<float, 3>{1.0f, 1.0f, 1.0f}));
  EXPECT_EQ(objects[0].line, 2);
  EXPECT_EQ(objects[1].path, "/abs/box.obj");
  EXPECT_EQ(objects[1].label, 7);
  EXPECT_EQ(objects[1].opacity, 0.25f);
  EXPECT_EQ(objects[1].color, (std::array<float, 3>{0.5f, 0.75f, 1.0f}));
  EXPECT_EQ(objects[1].line, 3);
}

TEST(MiScene, ReadsTheCameraTexturesAndMaterials) {
  const std::string text =
      "color texture \"a\" \"a.png\"\ncolor texture \"b\" \"/abs/b.exr\"\n"
      "camera \"view\" resolution 640 360 focal 35 aperture 36\n"
      "  transform 0 0 1 0 0 1 0 0 -1 0 0 0 5 2 0 1 aspect 2 end camera\n"
      "shader \"p\" \"mib_texture_projection\" ( \"tex\" \"b\", \"focal\" 2, \"aperture\" 3,\n"
      "  \"placementMatrix\" 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1, \"default\" = \"p2\" )\n"
      "shader \"p2\" \"qv_const\" ( )\n"
      "object \"o\" file \"o.obj\" material \"p2\" end object\n"
      "object \"bare\" file \"o.obj\" end object\n";
  const MiParseResult r = parse(text, "/scenes/a.mi");
  ASSERT_TRUE(r.scene) << r.error;
  const MiScene& scene = *r.scene;
  ASSERT_EQ(scene.textures.size(), 2u);
  EXPECT_EQ(fs::path(scene.textures[0].path), fs::path("/scenes/a.png"));
  EXPECT_EQ(scene.textures[1].path, "/abs/b.exr");
  ASSERT_TRUE(scene.camera);
  EXPECT_EQ(scene.camera->name, "view");
  EXPECT_EQ(scene.camera->transform,
            (std::array<float, 16>{0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 5, 2, 0, 1}));
  EXPECT_EQ(scene.camera->focal, 35.0f);
  EXPECT_EQ(scene.camera->aperture, 36.0f);
  EXPECT_EQ(scene.camera->aspect, 2.0f);
  EXPECT_EQ(scene.camera->width, 640);
  EXPECT_EQ(scene.camera->height, 360);
  EXPECT_EQ(scene.objects[0].material, scene.findShader("p2"));
  EXPECT_EQ(scene.objects[1].material, -1);

  // The texture is stored as its tag; "default" is fed by p2's colour.
  const ShaderInstance& p = scene.shaders[0];
  ASSERT_EQ(p.block.size(), 23u);
  EXPECT_EQ(p.block[0], 2u);
  float lens[2];
  std::memcpy(lens, &p.block[17], sizeof lens);
  EXPECT_EQ(lens[0], 2.0f);
  EXPECT_EQ(lens[1], 3.0f);
  // Set parameters are tagged as set, the connected colour with its
  // connection's tag.
  std::vector<miTag> tags(19, miPARAMTAG);
  tags.insert(tags.end(), 4, 1u);
  EXPECT_EQ(p.tags, tags);
  EXPECT_TRUE(p.connected);
}

TEST(MiScene, ConstBlockIsLaidOutAsTheShaderReadsIt) {
  const MiParseResult r = parse(kScene, "a.mi");
  ASSERT_TRUE(r.scene) << r.error;
  const ShaderInstance& fill =
      r.scene->shaders[static_cast<std::size_t>(r.scene->findShader("fill"))];
  EXPECT_EQ(fill.decl, declarations().find("qv_const"));
  EXPECT_EQ(fill.line, 5);
  ExpectedBlock expected(sizeof(ConstParams));
  auto* params = expected.at<ConstParams>(0);
  params->color = {0.1f, 0.2f, 0.3f, 0.0f};  // three numbers: alpha 0, as mental ray has it
  params->opacity = 0.5f;
  params->alphaOverride = miTRUE;
  params->alphaValue = -0.2f;
  EXPECT_EQ(fill.block, expected.words());
  EXPECT_FALSE(fill.connected);
  EXPECT_EQ(fill.tags, std::vector<miTag>(fill.block.size(), miPARAMTAG));
}

TEST(MiScene, LayersFollowTheArrayHeaderWithConnectionsInTheGhostTable) {
  const MiParseResult r = parse(kScene, "a.mi");
  ASSERT_TRUE(r.scene) << r.error;
  const MiScene& scene = *r.scene;
  const ShaderInstance& weave = scene.shaders[static_cast<std::size_t>(scene.findShader("weave"))];

  const std::size_t layersAt = offsetof(ShotWeaveParams, layers);
  ExpectedBlock expected(layersAt + 2 * sizeof(ShotWeaveLayer));
  auto* params = expected.at<ShotWeaveParams>(0);
  params->i_layers = 0;
  params->n_layers = 2;
  ShotWeaveLayer& first = *expected.at<ShotWeaveLayer>(layersAt);
  first.color = {1.0f, 0.0f, 0.0f, 0.5f};
  first.mask = 1.0f;  // connected: the block keeps the default
  first.colorOffset = {0.0f, 0.125f, 0.0f, 0.0f};
  for (int i = 0; i < 16; ++i) first.placementMatrix[i] = static_cast<float>(i + 1);
  first.distanceThreshold = 9.0f;
  first.useShadowOcclusion = miTRUE;
  first.dilate = 0.5f;
  first.samples = -3;
  first.softEdge = 2.0f;
  first.power = 3.0f;
  first.useFacingRatio = miTRUE;
  first.angleThreshold = 80.0f;
  first.labelExclude = 7;
  first.premult = miTRUE;
  // The second layer's colour is connected and its mask set; the rest holds
  // the declared defaults.
  ShotWeaveLayer& second = *expected.at<ShotWeaveLayer>(layersAt + sizeof(ShotWeaveLayer));
  second.color = {0.5f, 0.5f, 0.5f, 0.0f};
  second.mask = 1.0f;
  second.distanceThreshold = -1.0f;
  second.samples = 24;
  second.softEdge = 0.5f;
  second.power = 2.0f;
  second.angleThreshold = 90.0f;
  second.labelExclude = -1;
  second.premult = miTRUE;
  EXPECT_EQ(weave.block, expected.words());

  // Each connected parameter's words carry the tag of its connection, which
  // names the shader that feeds it and where its result holds the value; set
  // words are tagged as set, defaults not at all.
  ASSERT_EQ(scene.connections.size(), 2u);
  std::vector<miTag> tags(weave.block.size(), miPARAMTAG);
  const std::size_t secondAt = layersAt + sizeof(ShotWeaveLayer);
  for (std::size_t w = wordOf(secondAt); w < tags.size(); ++w) tags[w] = miNULLTAG;
  tags[wordOf(secondAt + offsetof(ShotWeaveLayer, mask))] = miPARAMTAG;
  const std::size_t mask0 = layersAt + offsetof(ShotWeaveLayer, mask);
  const std::size_t color1 = layersAt + sizeof(ShotWeaveLayer) + offsetof(ShotWeaveLayer, color);
  for (const Connection& c : scene.connections) {
    const miTag entry = static_cast<miTag>(&c - scene.connections.data()) + 1;
    EXPECT_EQ(scene.shaders[c.from].name, "weave");
    if (scene.shaders[c.to].name == "inner") {
      EXPECT_EQ(c.resultOffset, offsetof(ShotWeaveResult, outAlpha));
      EXPECT_EQ(c.line, 13);
      tags[wordOf(mask0)] = entry;
    } else {
      EXPECT_EQ(scene.shaders[c.to].name, "fill");
      EXPECT_EQ(c.resultOffset, 0u);
      EXPECT_EQ(c.line, 18);
      for (std::size_t w = 0; w < sizeof(miColor) / 4; ++w) tags[wordOf(color1) + w] = entry;
    }
  }
  EXPECT_EQ(weave.tags, tags);
  EXPECT_TRUE(weave.connected);
}

TEST(MiScene, EmptyOrAbsentArraysKeepOneElementOfRoom) {
  const MiParseResult r = parse(kScene, "a.mi");
  ASSERT_TRUE(r.scene) << r.error;
  const ExpectedBlock empty(offsetof(ShotWeaveParams, layers) + sizeof(ShotWeaveLayer));
  for (const char* name : {"inner", "bare"}) {
    const long index = r.scene->findShader(name);
    ASSERT_GE(index, 0) << name;
    const ShaderInstance& instance = r.scene->shaders[static_cast<std::size_t>(index)];
    EXPECT_EQ(instance.block, empty.words()) << name;
    // An empty array is set; an absent one is the default.
    EXPECT_EQ(instance.tags[0], std::string(name) == "inner" ? miPARAMTAG : miNULLTAG) << name;
  }
  EXPECT_EQ(r.scene->findShader("nothing"), -1);
}

// A chain of qv_const shaders, each colour fed by the next.
std::string chain(int length) {
  std::string text;
  for (int i = 0; i < length; ++i) {
    text += "shader \"c" + std::to_string(i) + "\" \"qv_const\" (";
    if (i + 1 < length) text += " \"color\" = \"c" + std::to_string(i + 1) + "\"";
    text += " )\n";
  }
  return text;
}

TEST(MiSceneErrors, EachMessageNamesFileLineAndProblem) {
  const std::string weave = "shader \"w\" \"qv_shotWeave\" (\n";
  const std::string fill = "shader \"fill\" \"qv_const\" ( )\n";
  struct Case {
    std::string text;
    std::string prefix;  // FILE:LINE:
    std::string detail;
  };
  const std::vector<Case> cases = {
      {"shader \"a\"\n \"qv_nothing\" ( )\n", "e.mi:2: ",
       "unknown shader type 'qv_nothing' (declared: mib_texture_projection, qv_const, "
       "qv_shotWeave)"},
      {fill + "shader \"b\" \"qv_const\" (\n \"colour\" 1 1 1 )\n",
       "e.mi:3: ", "has no parameter 'colour'"},
      {weave + "\"layers\" [ {\n \"maskk\" 1 } ] )\n", "e.mi:3: ", "has no parameter 'maskk'"},
      {weave + "\"layers\" [ { \"color\"\n 1 0 } ] )\n", "e.mi:3: ", "found 2"},
      {weave + "\"layers\" [ { \"color\" 1 0 0 0 1 } ] )\n", "e.mi:2: ", "found more"},
      {weave + "\"layers\" [ {\n\"placementMatrix\" 1 2 3 } ] )\n", "e.mi:3: ", "16 numbers"},
      {weave + "\"layers\" [ { \"samples\"\n 1.5 } ] )\n", "e.mi:3: ", "whole number"},
      {weave + "\"layers\" [ { \"premult\" 1 } ] )\n", "e.mi:2: ", "on or off"},
      {weave + "\"layers\" [ { \"mask\" on } ] )\n", "e.mi:2: ", "a number"},
      {weave + "\"layers\" [ { \"mask\" 1e39 } ] )\n", "e.mi:2: ", "out of range"},
      {weave + "\"layers\" [ { \"samples\" 2147483648 } ] )\n", "e.mi:2: ", "out of range"},
      {weave + "\"layers\" [ {\n\"color\" = \"nobody\" } ] )\n",
       "e.mi:3: ", "connected to 'nobody'"},
      {fill + weave + "\"layers\" [ {\n\"samples\" = \"fill\" } ] )\n",
       "e.mi:4: ", "'samples' (an integer) cannot take the result of qv_const 'fill'"},
      {fill + weave + "\"layers\" [ { \"premult\" = \"fill\" } ] )\n", "e.mi:3: ", "a boolean"},
      {weave + "\"layers\" = \"w\" )\n", "e.mi:2: ", "cannot be connected"},
      {"shader \"a\" \"qv_const\" (\n \"color\" = \"a\" )\n",
       "e.mi:2: ", "connection loop: 'a' -> 'a'"},
      {"shader \"a\" \"qv_const\" ( \"color\" = \"b\" )\nshader \"b\" \"qv_const\" (\n"
       "\"color\" = \"a\" )\n",
       "e.mi:3: ", "connection loop: 'a' -> 'b' -> 'a'"},
      {chain(65), "e.mi:64: ", "more than 64 deep"},
      {fill + "\n" + fill, "e.mi:3: ", "shader 'fill' is defined twice (first at line 1)"},
      {"object \"o\" file \"o.obj\" end object\nobject \"o\" file \"p.obj\" end object\n",
       "e.mi:2: ", "object 'o' is defined twice"},
      {fill + "shader \"b\" \"qv_const\" ( \"opacity\" 1,\n \"opacity\" 2 )\n",
       "e.mi:3: ", "'opacity' is set twice"},
      {"object \"o\" file \"o.obj\" opacity 1.5 end object\n", "e.mi:1: ", "between 0 and 1"},
      {"object \"o\"\nlabel 2 end object\n", "e.mi:1: ", "names no mesh"},
      {"object \"o\" file \"o.obj\"\n", "e.mi:2: ", "unexpected end of file"},
      {"object \"o\" file \"o.obj\" end thing\n", "e.mi:1: ", "'object' after 'end'"},
      {fill + "light \"l\"\n", "e.mi:2: ", "'color texture', 'declare', 'link' or '$include'"},
      {fill + "link \"x.so\"\n", "e.mi:2: ", "cannot link \"x.so\": this reader loads no"},
      {fill + "$\ninclude \"x.mi\"\n", "e.mi:2: ", "'include' right after '$'"},
      {fill + "$include \"/nonexistent/x.mi\"\n", "e.mi:2: ", "cannot find the file of"},
      {"declare shader \"qv_const\" ( )\nend declare\n",
       "e.mi:1: ", "shader 'qv_const' is declared again, differently (first at " QV_SOURCE_DIR},
      {"color \"t\" \"t.png\"\n", "e.mi:1: ", "'texture' after 'color'"},
      {"color texture \"t\" \"a.png\"\ncolor texture \"t\" \"b.png\"\n",
       "e.mi:2: ", "color texture 't' is defined twice"},
      {"object \"o\" file \"o.obj\"\n material \"nobody\" end object\n",
       "e.mi:2: ", "'nobody', is no shader of this scene"},
      {"camera \"c\" aperture 36\n resolution 4 3 end camera\n",
       "e.mi:1: ", "camera 'c' has no focal"},
      {"camera \"c\" focal 35 aperture\n 0 resolution 4 3 end camera\n",
       "e.mi:2: ", "must be positive"},
      {"camera \"c\" focal 35 aperture 36 resolution\n 0 3 end camera\n",
       "e.mi:2: ", "between 1 and 65536"},
      {"camera \"c\" transform\n 1 0 0 0 0 1 0 0 0 0 0 0 0 0 0 1 end camera\n",
       "e.mi:2: ", "cannot be inverted"},
      {"camera \"c\" focal 1 aperture 1 resolution 1 1 end camera\ncamera \"d\" end camera\n",
       "e.mi:2: ", "a scene has one camera"},
      {"shader \"p\" \"mib_texture_projection\" (\n \"tex\" \"none\" )\n",
       "e.mi:2: ", "'none', which is no color texture"},
      {"color texture \"t\" \"t.png\"\nshader \"p\" \"mib_texture_projection\" (\n"
       "\"tex\" \"t\", \"focal\" 1, \"aperture\" 0 )\n",
       "e.mi:2: ", "mib_texture_projection 'p' \"aperture\" must be positive"},
      {"shader \"p\" \"mib_texture_projection\" ( \"focal\" 1, \"aperture\" 1 )\n",
       "e.mi:1: ", "names no texture"},
      {"shader \"a\n\" \"qv_const\" ( )\n", "e.mi:1: ", "unterminated string"},
      {weave + "\"layers\" [ { \"mask\" 1.2.3 } ] )\n", "e.mi:2: ", "malformed number"},
      {weave + "\"layers\" [ { \"mask\" 1 } }\n", "e.mi:2: ", "',' or ']'"},
      {weave + "\"layers\" [ { \"mask\" 1 ; } ] )\n", "e.mi:2: ", "unexpected character ';'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const MiParseResult r = parse(c.text, "e.mi");
    ASSERT_FALSE(r.scene);
    EXPECT_EQ(r.error.rfind(c.prefix, 0), 0u) << r.error;
    EXPECT_NE(r.error.find(c.detail), std::string::npos) << r.error;
    EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
  }
  // One link fewer is within bounds.
  EXPECT_TRUE(parse(chain(64), "e.mi").scene);
}

// Whatever the input, the reader answers a scene or one located message.
TEST(MiSceneErrors, EveryTruncationParsesOrFailsCleanly) {
  const std::string text = kScene;
  for (std::size_t n = 0; n <= text.size(); ++n) {
    const MiParseResult r = parse(text.substr(0, n), "t.mi");
    if (r.scene) continue;
    EXPECT_EQ(r.error.rfind("t.mi:", 0), 0u) << n << ": " << r.error;
  }
}

TEST(MiSceneFiles, MissingFilesAreNamed) {
  const MiParseResult r = readMi("/nonexistent/scene.mi");
  EXPECT_FALSE(r.scene);
  EXPECT_EQ(r.error, "/nonexistent/scene.mi: cannot open file");

  MiScene scene;
  scene.file = "s.mi";
  scene.objects.push_back(
      {"wall", "/nonexistent/wall.obj", 0, 1.0f, {1.0f, 1.0f, 1.0f}, "s.mi", 4});
  std::vector<host::SceneObject> objects;
  std::string error;
  EXPECT_FALSE(loadObjects(scene, &objects, &error));
  EXPECT_EQ(error.rfind("s.mi:4: object 'wall': /nonexistent/wall.obj", 0), 0u) << error;
}

}  // namespace
}  // namespace qv::mrhost
