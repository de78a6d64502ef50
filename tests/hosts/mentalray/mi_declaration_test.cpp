// Shader declarations as the stand-in reads them: the library's installed
// declaration file laid out as the library's records, the host's own, and
// malformed or conflicting declarations refused at their file and line; in
// scenes, declare, $include and link.
#include "mi_declaration.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "command_test.h"
#include "mi_scene.h"
#include "shader_records.h"

namespace qv::mrhost {
namespace {

const std::string kLibraryDeclarations = QV_SOURCE_DIR "/qv_shotWeave/qv_shotWeave.mi";

std::uint32_t word(float value) {
  std::uint32_t w;
  std::memcpy(&w, &value, sizeof w);
  return w;
}

const ParamDecl& member(const ParamDecl& record, const std::string& name) {
  for (const ParamDecl& m : record.members) {
    if (m.name == name) return m;
  }
  ADD_FAILURE() << "no member " << name;
  return record;
}

TEST(MiDeclaration, LibraryFileLaysOutTheShadersRecords) {
  Declarations decls;
  std::string error;
  ASSERT_TRUE(readDeclarations(kLibraryDeclarations, &decls, &error)) << error;
  const auto weave = decls.find("qv_shotWeave");
  ASSERT_TRUE(weave);
  EXPECT_EQ(weave->version, 22);
  EXPECT_EQ(weave->apply, (std::vector<std::string>{"material", "texture"}));
  EXPECT_EQ(weave->result.kind, ParamKind::Struct);
  EXPECT_EQ(weave->result.size, sizeof(mray::ShotWeaveResult));
  EXPECT_EQ(weave->result.size, 132u);
  EXPECT_EQ(findResultMember(*weave, "outAlpha")->offset,
            offsetof(mray::ShotWeaveResult, outAlpha));
  EXPECT_EQ(findResultMember(*weave, "outMask19")->offset, 52u + 4 * 19);
  EXPECT_EQ(findResultMember(*weave, "outMask20"), nullptr);
  ASSERT_EQ(weave->params.size(), 1u);
  const ParamDecl& layers = weave->params[0];
  EXPECT_EQ(layers.kind, ParamKind::Array);
  EXPECT_EQ(layers.offset, offsetof(mray::ShotWeaveParams, i_layers));
  EXPECT_EQ(layers.size, offsetof(mray::ShotWeaveParams, layers));
  const ParamDecl& layer = layers.element();
  EXPECT_EQ(layer.size, sizeof(mray::ShotWeaveLayer));
  EXPECT_EQ(layer.size, 144u);
  EXPECT_EQ(weave->blockSize, 8u + 144u);

  // Every field where the library's record has it, with the defaults of the
  // Maya node of the same fields.
  const std::map<std::string, std::pair<std::size_t, std::vector<std::uint32_t>>> expected = {
      {"color", {offsetof(mray::ShotWeaveLayer, color), {0, 0, 0, 0}}},
      {"mask", {offsetof(mray::ShotWeaveLayer, mask), {word(1.0f)}}},
      {"colorOffset", {offsetof(mray::ShotWeaveLayer, colorOffset), {0, 0, 0, 0}}},
      {"placementMatrix",
       {offsetof(mray::ShotWeaveLayer, placementMatrix), std::vector<std::uint32_t>(16, 0u)}},
      {"passThrough", {offsetof(mray::ShotWeaveLayer, passThrough), {0}}},
      {"distanceThreshold", {offsetof(mray::ShotWeaveLayer, distanceThreshold), {0}}},
      {"useShadowOcclusion", {offsetof(mray::ShotWeaveLayer, useShadowOcclusion), {0}}},
      {"dilate", {offsetof(mray::ShotWeaveLayer, dilate), {0}}},
      {"samples", {offsetof(mray::ShotWeaveLayer, samples), {24}}},
      {"softEdge", {offsetof(mray::ShotWeaveLayer, softEdge), {word(0.5f)}}},
      {"power", {offsetof(mray::ShotWeaveLayer, power), {word(2.0f)}}},
      {"useFacingRatio", {offsetof(mray::ShotWeaveLayer, useFacingRatio), {0}}},
      {"angleThreshold", {offsetof(mray::ShotWeaveLayer, angleThreshold), {word(90.0f)}}},
      {"labelExclude", {offsetof(mray::ShotWeaveLayer, labelExclude), {0xffffffffu}}},
      {"premult", {offsetof(mray::ShotWeaveLayer, premult), {1}}},
  };
  ASSERT_EQ(layer.members.size(), expected.size());
  for (const auto& [name, place] : expected) {
    SCOPED_TRACE(name);
    EXPECT_EQ(member(layer, name).offset, place.first);
    EXPECT_EQ(member(layer, name).defaults, place.second);
  }

  const auto constant = decls.find("qv_const");
  ASSERT_TRUE(constant);
  EXPECT_EQ(constant->version, 13);
  EXPECT_EQ(constant->result.kind, ParamKind::Color);
  EXPECT_EQ(constant->blockSize, sizeof(mray::ConstParams));
  EXPECT_EQ(constant->params[1].name, "opacity");
  EXPECT_EQ(constant->params[1].offset, offsetof(mray::ConstParams, opacity));
  EXPECT_EQ(constant->params[1].defaults, std::vector<std::uint32_t>{word(1.0f)});
  EXPECT_EQ(constant->params[2].offset, offsetof(mray::ConstParams, alphaOverride));
}

TEST(MiDeclaration, ConnectionsTakeTheFirstMemberOfTheirKind) {
  Declarations decls;
  std::string error;
  ASSERT_TRUE(readDeclarations(kLibraryDeclarations, &decls, &error)) << error;
  ASSERT_TRUE(addHostDeclarations(&decls, &error)) << error;
  const auto weave = decls.find("qv_shotWeave");
  const auto constant = decls.find("qv_const");
  const auto projection = decls.find("mib_texture_projection");
  ASSERT_TRUE(weave && constant && projection);
  EXPECT_EQ(connectionOffset(*weave, ParamKind::Color), 0);
  EXPECT_EQ(connectionOffset(*weave, ParamKind::Scalar), 48);  // outAlpha
  EXPECT_EQ(connectionOffset(*weave, ParamKind::Integer), -1);
  EXPECT_EQ(connectionOffset(*constant, ParamKind::Color), 0);
  EXPECT_EQ(connectionOffset(*constant, ParamKind::Scalar), 12);  // the alpha
  EXPECT_EQ(connectionOffset(*constant, ParamKind::Boolean), -1);
  EXPECT_EQ(projection->version, 1);
  EXPECT_EQ(projection->blockSize, 92u);
  EXPECT_EQ(projection->params[0].kind, ParamKind::Texture);
}

TEST(MiDeclaration, SameDeclarationTwiceIsOneAndDifferentIsRefused) {
  Declarations decls;
  std::string error;
  ASSERT_TRUE(readDeclarations(kLibraryDeclarations, &decls, &error)) << error;
  ASSERT_TRUE(readDeclarations(kLibraryDeclarations, &decls, &error)) << error;
  std::string text;
  {
    std::ifstream in(kLibraryDeclarations);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Moved down two lines and so read elsewhere: still the same.
  EXPECT_TRUE(parseDeclarations("\n\n" + text, "copy.mi", &decls, &error)) << error;
  std::string changed = text;
  changed.replace(changed.find("default 24"), 10, "default 25");
  EXPECT_FALSE(parseDeclarations(changed, "changed.mi", &decls, &error));
  EXPECT_EQ(error.rfind("changed.mi:", 0), 0u) << error;
  EXPECT_NE(error.find("shader 'qv_shotWeave' is declared again, differently (first at " +
                       kLibraryDeclarations + ":"),
            std::string::npos)
      << error;
  // A refused file adds nothing.
  EXPECT_EQ(decls.find("qv_shotWeave")->params[0].element().members[8].defaults,
            std::vector<std::uint32_t>{24});
}

TEST(MiDeclaration, MalformedDeclarationsNameFileAndLine) {
  const std::string head = "declare shader\n  color \"s\" (\n";
  const std::string tail = "  )\nend declare\n";
  const struct {
    std::string text;
    std::string prefix;
    std::string detail;
  } cases[] = {
      {head + "    integer \"a\",\n    scalar \"a\"\n" + tail,
       "d.mi:4: ", "'a' is declared twice in shader 's' (first at line 3)"},
      {head + "    texture \"t\"\n" + tail, "d.mi:3: ", "unknown type 'texture'"},
      {head + "    string \"t\"\n" + tail, "d.mi:3: ", "unknown type 'string'"},
      {head + "    scalar texture \"t\"\n" + tail, "d.mi:3: ", "'scalar texture'"},
      {head + "    integer \"n\" default 1.5\n" + tail,
       "d.mi:3: ", "expected a whole number for the default of 'n'"},
      {head + "    boolean \"b\" default 1\n" + tail,
       "d.mi:3: ", "on or off for the default of 'b'"},
      {head + "    color \"c\" default 1 2\n" + tail, "d.mi:3: ", "found 2"},
      {head + "    scalar \"s\" default on\n" + tail, "d.mi:3: ", "a number for the default"},
      {head + "    color texture \"t\" default 1\n" + tail, "d.mi:3: ", "takes no default"},
      {head + "    array integer \"a\",\n    integer \"b\"\n" + tail,
       "d.mi:3: ", "array 'a' must be the last parameter of shader 's'"},
      {head + "    struct \"s\" { array scalar \"x\" }\n" + tail,
       "d.mi:3: ", "can only be a shader's last parameter"},
      {head + "    array array integer \"x\"\n" + tail, "d.mi:3: ", "array of arrays"},
      {"declare shader\n  struct { color \"c\" default 1 1 1 } \"s\" ( )\nend declare\n",
       "d.mi:2: ", "takes no default: the shader fills it"},
      {"declare shader\n  array color \"s\" ( )\nend declare\n",
       "d.mi:2: ", "result cannot be an array"},
      {head + tail + "\n", "d.mi:5: ", ""},  // well formed: no failure
      {head + "  )\n  version 2\n  version 3\nend declare\n", "d.mi:5: ", "version is given twice"},
      {head + "  )\n  apply wall\nend declare\n", "d.mi:4: ", "'wall' is nothing a shader applies"},
      {head + "  )\n  scanline on\nend declare\n",
       "d.mi:4: ", "'version', 'apply' or 'end declare'"},
      {head + "  )\n", "d.mi:4: ", "unexpected end of file"},
      {"shader \"x\" \"y\" ( )\n", "d.mi:1: ", "expected 'declare shader'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Declarations decls;
    std::string error;
    const bool ok = parseDeclarations(c.text, "d.mi", &decls, &error);
    if (c.detail.empty()) {
      EXPECT_TRUE(ok) << error;
      EXPECT_TRUE(decls.find("s"));
      continue;
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(error.rfind(c.prefix, 0), 0u) << error;
    EXPECT_NE(error.find(c.detail), std::string::npos) << error;
    EXPECT_TRUE(decls.empty());
  }
}

// ---------------------------------------------------------------------------
// Declarations in scenes

class MiSceneDeclarations : public ::testing::Test {
 protected:
  // NAME with '/' between folders, as the platform writes it.
  std::string write(const std::string& name, const std::string& text) const {
    const std::filesystem::path relative = std::filesystem::path(name).make_preferred();
    std::filesystem::create_directories((scratch_.path() / relative).parent_path());
    return scratch_.write(relative.string(), text);
  }
  std::filesystem::path at(const std::string& name) const {
    return scratch_.path() / std::filesystem::path(name).make_preferred();
  }

  MiParseResult read(const std::string& path, Linker* linker = nullptr) const {
    MiReadOptions options;
    options.linker = linker;
    options.includeFolders = {(scratch_.path() / "plugins").string()};
    return readMi(path, options);
  }

  qv::test::ScratchDir scratch_{"mi_declaration_test"};
};

const char* const kPair =
    "declare shader\n"
    "  struct { color \"tone\", scalar \"weight\" } \"pair\" (\n"
    "    color \"base\" default 0.5 0.25 0,\n"
    "    struct \"knob\" { integer \"turns\" default 3, boolean \"on\" default on },\n"
    "    array scalar \"steps\"\n"
    "  )\n"
    "  version 4\n"
    "  apply texture\n"
    "end declare\n";

TEST_F(MiSceneDeclarations, SceneDeclaresItsShadersAndTheirDefaultsFillTheBlock) {
  const MiParseResult r = read(
      write("s.mi", std::string(kPair) +
                        "shader \"a\" \"pair\" ( \"knob\" { \"on\" off }, \"steps\" [ 1, 2.5 ] )\n"
                        "shader \"b\" \"pair\" ( \"base\" = \"a\" )\n"));
  ASSERT_TRUE(r.scene) << r.error;
  const ShaderInstance& a = r.scene->shaders[0];
  EXPECT_EQ(a.decl->version, 4);
  EXPECT_EQ(a.decl->result.size, 20u);
  // base (4 words), knob (2), the array header (2), then the elements.
  const std::vector<std::uint32_t> block = {word(0.5f), word(0.25f), 0, word(1.0f), 3,
                                            0,          0,           2, word(1),    word(2.5f)};
  EXPECT_EQ(a.block, block);
  const std::vector<miTag> tags = {miNULLTAG,  miNULLTAG,  miNULLTAG,  miNULLTAG,  miNULLTAG,
                                   miPARAMTAG, miPARAMTAG, miPARAMTAG, miPARAMTAG, miPARAMTAG};
  EXPECT_EQ(a.tags, tags);
  const ShaderInstance& b = r.scene->shaders[1];
  EXPECT_EQ(std::vector<miTag>(b.tags.begin(), b.tags.begin() + 4), std::vector<miTag>(4, 1u));
  EXPECT_EQ(r.scene->connections[0].resultOffset, 0u);  // the tone
}

TEST_F(MiSceneDeclarations, IncludesResolveBesideTheFileThenInThePluginFolder) {
  write("plugins/pair.mi", kPair);
  write("scenes/parts/shader.mi", "$include \"pair.mi\"\nshader \"a\" \"pair\" ( )\n");
  const std::string scene = write(
      "scenes/s.mi", "$include \"parts/shader.mi\"\nobject \"o\" file \"o.obj\" end object\n");
  const MiParseResult r = read(scene);
  ASSERT_TRUE(r.scene) << r.error;
  EXPECT_EQ(std::filesystem::path(r.scene->shaders[0].decl->file), at("plugins/pair.mi"));
  EXPECT_EQ(std::filesystem::path(r.scene->shaders[0].file), at("scenes/parts/shader.mi"));

  // A failure in an included file names that file.
  const std::string broken = write("scenes/broken.mi", "\n\nshader \"x\" \"none\" ( )\n");
  const MiParseResult failed = read(write("scenes/t.mi", "$include \"broken.mi\"\n"));
  ASSERT_FALSE(failed.scene);
  EXPECT_EQ(failed.error.rfind(broken + ":3: unknown shader type 'none'", 0), 0u) << failed.error;
}

TEST_F(MiSceneDeclarations, AFileThatIncludesItselfIsRefused) {
  const std::string loop = write("loop.mi", "# again\n$include \"loop.mi\"\n");
  const MiParseResult r = read(loop);
  ASSERT_FALSE(r.scene);
  EXPECT_EQ(r.error.rfind(loop + ":2: ", 0), 0u) << r.error;
  EXPECT_NE(r.error.find("nests files more than 16 deep"), std::string::npos) << r.error;
}

// Links recorded, with a declaration handed back for each.
struct RecordingLinker : Linker {
  bool link(const std::string& name, const std::string& sceneFolder, Declarations* into,
            std::string* error) override {
    linked.push_back(name);
    folders.push_back(sceneFolder);
    if (name == "missing.so") {
      *error = "no such shader library";
      return false;
    }
    return parseDeclarations(kPair, "beside.mi", into, error);
  }
  std::vector<std::string> linked, folders;
};

TEST_F(MiSceneDeclarations, LinkAddsTheLibrarysDeclarations) {
  RecordingLinker linker;
  const std::string scene =
      write("s.mi", "link \"pair.so\"\nshader \"a\" \"pair\" ( )\nlink \"missing.so\"\n");
  const MiParseResult r = read(scene, &linker);
  ASSERT_FALSE(r.scene);
  EXPECT_EQ(linker.linked, (std::vector<std::string>{"pair.so", "missing.so"}));
  EXPECT_EQ(linker.folders[0], scratch_.path().string());
  EXPECT_EQ(r.error, scene + ":3: cannot link \"missing.so\": no such shader library");

  // The scene's own declaration must agree with the library's.
  const std::string clash =
      write("clash.mi", "declare shader \"pair\" ( )\nend declare\nlink \"pair.so\"\n");
  const MiParseResult refused = read(clash, &linker);
  ASSERT_FALSE(refused.scene);
  EXPECT_EQ(refused.error.rfind(clash + ":3: cannot link \"pair.so\": beside.mi:1: ", 0), 0u)
      << refused.error;
}

}  // namespace
}  // namespace qv::mrhost
