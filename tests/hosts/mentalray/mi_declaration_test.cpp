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

  // Every field where the library's record has it, with the defaults and
  // short names of the Maya node's attributes of the same names (a colour
  // given three numbers has alpha 0).
  const struct {
    const char* name;
    std::size_t offset;
    std::vector<std::uint32_t> defaults;
    const char* shortName;
  } expected[] = {
      {"color",
       offsetof(mray::ShotWeaveLayer, color),
       {word(0.5f), word(0.5f), word(0.5f), 0},
       "clr"},
      {"mask", offsetof(mray::ShotWeaveLayer, mask), {word(1.0f)}, "rlg"},
      {"colorOffset", offsetof(mray::ShotWeaveLayer, colorOffset), {0, 0, 0, 0}, "off"},
      {"placementMatrix", offsetof(mray::ShotWeaveLayer, placementMatrix),
       std::vector<std::uint32_t>(16, 0u), "pm"},
      {"passThrough", offsetof(mray::ShotWeaveLayer, passThrough), {0}, "pass"},
      {"distanceThreshold",
       offsetof(mray::ShotWeaveLayer, distanceThreshold),
       {word(-1.0f)},
       "dist"},
      {"useShadowOcclusion", offsetof(mray::ShotWeaveLayer, useShadowOcclusion), {0}, "occl"},
      {"dilate", offsetof(mray::ShotWeaveLayer, dilate), {0}, "dlt"},
      {"samples", offsetof(mray::ShotWeaveLayer, samples), {24}, "smp"},
      {"softEdge", offsetof(mray::ShotWeaveLayer, softEdge), {word(0.5f)}, "se"},
      {"power", offsetof(mray::ShotWeaveLayer, power), {word(2.0f)}, "pwr"},
      {"useFacingRatio", offsetof(mray::ShotWeaveLayer, useFacingRatio), {0}, "ufr"},
      {"angleThreshold", offsetof(mray::ShotWeaveLayer, angleThreshold), {word(90.0f)}, "ang"},
      {"labelExclude", offsetof(mray::ShotWeaveLayer, labelExclude), {0xffffffffu}, "excl"},
      {"premult", offsetof(mray::ShotWeaveLayer, premult), {1}, "pmlt"},
  };
  ASSERT_EQ(layer.members.size(), std::size(expected));
  for (const auto& field : expected) {
    SCOPED_TRACE(field.name);
    EXPECT_EQ(member(layer, field.name).offset, field.offset);
    EXPECT_EQ(member(layer, field.name).defaults, field.defaults);
    EXPECT_EQ(member(layer, field.name).maya.shortName, field.shortName);
  }
  // The node's range of the mask, for Maya's slider.
  EXPECT_EQ(member(layer, "mask").maya.min, std::vector<float>{0.0f});
  EXPECT_EQ(member(layer, "mask").maya.max, std::vector<float>{1.0f});
  EXPECT_EQ(member(layer, "angleThreshold").maya.max, std::vector<float>{180.0f});

  // Each shader its own node ID, from the block that starts at the
  // qv_shotWeaveVRay node's 0x215558F0.
  const auto constant = decls.find("qv_const");
  ASSERT_TRUE(constant);
  EXPECT_EQ(weave->nodeId, 0x215558F1u);
  EXPECT_EQ(constant->nodeId, 0x215558F2u);
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
      {head + "    struct \"s\" { array scalar \"x\" }\n" + tail,
       "d.mi:3: ", "among a shader's own parameters only"},
      {head + "    array array integer \"x\"\n" + tail, "d.mi:3: ", "array of arrays"},
      {"declare shader\n  struct { color \"c\" default 1 1 1 } \"s\" ( )\nend declare\n",
       "d.mi:2: ", "takes no default: the shader fills it"},
      {"declare shader\n  array color \"s\" ( )\nend declare\n",
       "d.mi:2: ", "result cannot be an array"},
      {head + tail + "\n", "d.mi:5: ", ""},  // well formed: no failure
      {head + "  )\n  version 2\n  version 3\nend declare\n", "d.mi:5: ", "version is given twice"},
      {head + "  )\n  apply wall\nend declare\n", "d.mi:4: ", "'wall' is nothing a shader applies"},
      {head + "  )\n  scanlin on\nend declare\n",
       "d.mi:4: ", "expected 'version', 'apply', a declaration option"},
      {head + "  )\n  options\n  trace on\nend declare\n",
       "d.mi:6: ", "expected 'end options' before 'end declare'"},
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

// The "#:" comments mental ray for Maya's Node Factory reads as its own
// keywords: taken after a parameter and among the options, with plain "#"
// remarks and empty "#:" lines around them.
TEST(MiDeclaration, MayaKeywordsAreTakenWhereMayaReadsThem) {
  const std::string text =
      "# a remark\n"
      "declare shader\n"
      "  vector #: shortname \"ov\"\n"
      "  \"scaleBy\" (\n"
      "    integer \"mode\",     #: default 1 min 0 max 2\n"
      "    vector  \"by\",       #: default 1. 1. 1. softmin 0 softmax 10\n"
      "    color   \"tint\"      #: hidden on\n"
      "  )\n"
      "  #:\n"
      "  #: nodeid 6894 # what Maya's binary scenes store\n"
      "  version 1\n"
      "end declare\n";
  Declarations decls;
  std::string error;
  ASSERT_TRUE(parseDeclarations(text, "k.mi", &decls, &error)) << error;
  const auto decl = decls.find("scaleBy");
  ASSERT_TRUE(decl);
  EXPECT_EQ(decl->nodeId, 6894u);
  EXPECT_EQ(decl->nodeIdLine, 10);
  EXPECT_EQ(decl->result.maya.shortName, "ov");
  const MayaHints& mode = decl->params[0].maya;
  EXPECT_EQ(mode.defaults, std::vector<float>{1.0f});
  EXPECT_EQ(mode.min, std::vector<float>{0.0f});
  EXPECT_EQ(mode.max, std::vector<float>{2.0f});
  const MayaHints& by = decl->params[1].maya;
  EXPECT_EQ(by.defaults, (std::vector<float>{1.0f, 1.0f, 1.0f}));
  EXPECT_EQ(by.softMin, std::vector<float>{0.0f});
  EXPECT_EQ(by.softMax, std::vector<float>{10.0f});
  EXPECT_TRUE(by.shortName.empty());
  EXPECT_TRUE(decl->params[2].maya.hidden);
  EXPECT_FALSE(decl->params[1].maya.hidden);
  // Maya's keywords leave mental ray's layout and defaults alone.
  EXPECT_EQ(decl->params[0].defaults, std::vector<std::uint32_t>{0});
  EXPECT_EQ(decl->blockSize, 4u + 12u + 16u);
}

TEST(MiDeclaration, BadMayaKeywordsNameFileLineAndWhatWasExpected) {
  const std::string head = "declare shader\n  color \"s\" (\n";
  const std::string tail = "  )\nend declare\n";
  const auto param = [&](const std::string& comment) {
    return head + "    scalar \"a\", " + comment + "\n    scalar \"b\"\n" + tail;
  };
  const auto option = [&](const std::string& comment) {
    return head + "    scalar \"a\"\n  )\n  " + comment + "\nend declare\n";
  };
  const struct {
    std::string text;
    std::string prefix;
    std::string detail;
  } cases[] = {
      // Prose written as a keyword comment, and keywords out of their place.
      {param("#: degrees"), "d.mi:3: ",
       "unknown keyword 'degrees' in the '#:' comment after 'a' in shader 's' (expected "
       "default, min, max, softmin, softmax, shortname or hidden)"},
      {param("#: nodeid 5"), "d.mi:3: ", "unknown keyword 'nodeid'"},
      {option("#: min 0"), "d.mi:5: ",
       "expected nodeid in the '#:' comment among the options of shader 's', found 'min'"},
      {"#: nodeid 5\n" + param(""), "d.mi:1: ", "expected no '#:' comment here"},
      {head + "  #: min 0\n    scalar \"a\"\n" + tail, "d.mi:3: ", "expected no '#:' comment here"},
      {param("") + "#: shortname \"x\"\n", "d.mi:7: ", "expected no '#:' comment here"},
      // Malformed keyword comments.
      {param("#: min"), "d.mi:3: ",
       "expected a number for 'min' of 'a' in shader 's', found the end of the comment"},
      {param("#: 0 1"), "d.mi:3: ", "expected default, min, max"},
      {param("#: shortname oc"), "d.mi:3: ", "expected the short name in quotes"},
      {param("#: shortname \"oc"), "d.mi:3: ", ""},  // the lexer's unterminated string
      {param("#: hidden maybe"), "d.mi:3: ", "expected on or off after 'hidden'"},
      {param("#: softmin 0 1"), "d.mi:3: ", "expected default, min, max"},
      {param("#: max 1 max 2"), "d.mi:3: ", "'max' is given twice"},
      {param("#: min 1e39"), "d.mi:3: ", "out of range"},
      {"declare shader\n  vector #: min\n  \"v\" ( )\nend declare\n",
       "d.mi:2: ", "expected a number for 'min' of the result"},
      // Node IDs that are no number, out of range or given twice.
      {option("#: nodeid abc"), "d.mi:5: ",
       "expected a whole number from 1 to 4294967295 after 'nodeid' in the declaration of "
       "shader 's', found 'abc'"},
      {option("#: nodeid 1.5"), "d.mi:5: ", "expected a whole number from 1 to 4294967295"},
      {option("#: nodeid"), "d.mi:5: ", "found the end of the comment"},
      {option("#: nodeid 0"), "d.mi:5: ", "nodeid 0 of shader 's' is out of range"},
      {option("#: nodeid -7"), "d.mi:5: ", "out of range"},
      {option("#: nodeid 4294967296"), "d.mi:5: ", "out of range"},
      {option("#: nodeid 99999999999999999999999"), "d.mi:5: ", ""},
      {option("#: nodeid 1\n  version 2\n  #: nodeid 2"),
       "d.mi:7: ", "nodeid is given twice in the declaration of shader 's' (first at line 5)"},
      // Two shaders, one node ID.
      {option("#: nodeid 77") + "declare shader \"t\" ( )\n  #: nodeid 77\nend declare\n",
       "d.mi:8: ",
       "nodeid 77 of shader 't' is already that of shader 's' (d.mi:5); expected a node ID of "
       "its own"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Declarations decls;
    std::string error;
    EXPECT_FALSE(parseDeclarations(c.text, "d.mi", &decls, &error));
    EXPECT_EQ(error.rfind(c.prefix, 0), 0u) << error;
    EXPECT_NE(error.find(c.detail), std::string::npos) << error;
    EXPECT_TRUE(decls.empty());
  }

  // A node ID is the toolkit's across files: another file that takes the
  // library's is refused where it says so.
  Declarations decls;
  std::string error;
  ASSERT_TRUE(readDeclarations(kLibraryDeclarations, &decls, &error)) << error;
  EXPECT_FALSE(parseDeclarations(option("#: nodeid 559241457"), "other.mi", &decls, &error));
  EXPECT_EQ(error.rfind("other.mi:5: nodeid 559241457 of shader 's' is already that of shader "
                        "'qv_shotWeave' (" +
                            kLibraryDeclarations + ":",
                        0),
            0u)
      << error;
  EXPECT_FALSE(decls.find("s"));
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
  // base (4 words, three given: alpha 0), knob (2), the array header (2),
  // then the elements.
  const std::vector<std::uint32_t> block = {word(0.5f), word(0.25f), 0, 0,       3,
                                            0,          0,           2, word(1), word(2.5f)};
  EXPECT_EQ(a.block, block);
  const std::vector<miTag> tags = {miNULLTAG,  miNULLTAG,  miNULLTAG,  miNULLTAG,  miNULLTAG,
                                   miPARAMTAG, miPARAMTAG, miPARAMTAG, miPARAMTAG, miPARAMTAG};
  EXPECT_EQ(a.tags, tags);
  const ShaderInstance& b = r.scene->shaders[1];
  EXPECT_EQ(std::vector<miTag>(b.tags.begin(), b.tags.begin() + 4), std::vector<miTag>(4, 1u));
  EXPECT_EQ(r.scene->connections[0].resultOffset, 0u);  // the tone
}

// What mental ray accepts beyond what this toolkit's files use: arrays
// anywhere among the parameters, declaration options and option blocks, a
// colour default without its alpha; and a scene's own "#:" comments, which
// no Node Factory reads, outside its declarations.
TEST_F(MiSceneDeclarations, ArraysAnywhereAndDeclarationOptionsAreAccepted) {
  const char* const declaration =
      "#: a scene's remark\n"
      "declare shader\n"
      "  color \"spread\" (\n"
      "    array scalar \"weights\",\n"
      "    color \"tint\" default 0.25 0.5 1,\n"
      "    array struct \"pairs\" { integer \"a\" default 7, scalar \"b\" },\n"
      "    integer \"after\" default 3\n"
      "  )\n"
      "  version 2\n"
      "  apply texture\n"
      "  trace on\n"
      "  shadow sort\n"
      "  face both\n"
      "  derivative 1 2\n"
      "  volume level 2\n"
      "  options\n"
      "    samples -1 2\n"
      "    contrast 0.1 0.1 0.1\n"
      "  end options\n"
      "  scanline off\n"
      "end declare\n";
  const MiParseResult r = read(write(
      "s.mi", std::string(declaration) +
                  "shader \"x\" \"spread\" ( \"weights\" [ 1, 2, 3 ], \"pairs\" [ { \"b\" 5 } ],\n"
                  "                          \"after\" 9 )\n"
                  "shader \"y\" \"spread\" ( )\n"));
  ASSERT_TRUE(r.scene) << r.error;
  const ShaderDecl& decl = *r.scene->shaders[0].decl;
  EXPECT_EQ(decl.version, 2);
  EXPECT_EQ(decl.apply, std::vector<std::string>{"texture"});
  // Each array: its header and one element's room, wherever it stands.
  ASSERT_EQ(decl.params.size(), 4u);
  EXPECT_EQ(decl.params[1].offset, 12u);
  EXPECT_EQ(decl.params[1].defaults,
            (std::vector<std::uint32_t>{word(0.25f), word(0.5f), word(1.0f), 0}));
  EXPECT_EQ(decl.params[2].offset, 28u);
  EXPECT_EQ(decl.params[3].offset, 44u);
  EXPECT_EQ(decl.blockSize, 48u);

  // Unset, the block holds the defaults, the rooms zero.
  const std::vector<std::uint32_t> bare = {0, 0, 0, word(0.25f), word(0.5f), word(1.0f),
                                           0, 0, 0, 0,           0,          3};
  EXPECT_EQ(r.scene->shaders[1].block, bare);

  // Set, each array's elements lie past the block, a whole number of
  // elements from its room, which the header's index counts: weights[10 + k]
  // and pairs[3 + k] from their rooms at bytes 8 and 36.
  std::vector<std::uint32_t> set = bare;
  set[0] = 10;
  set[1] = 3;
  set[7] = 3;
  set[8] = 1;
  set[11] = 9;
  for (float w : {1.0f, 2.0f, 3.0f}) set.push_back(word(w));
  set.push_back(7);
  set.push_back(word(5.0f));
  const ShaderInstance& x = r.scene->shaders[0];
  EXPECT_EQ(x.block, set);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(x.block[(8 + (10 + k) * 4) / 4], word(static_cast<float>(k + 1))) << k;
  }
  EXPECT_EQ(x.block[(36 + 3 * 8) / 4], 7u);
  EXPECT_EQ(x.tags[(36 + 3 * 8) / 4], miNULLTAG);  // the element's default
  EXPECT_EQ(x.tags[(36 + 3 * 8) / 4 + 1], miPARAMTAG);
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
