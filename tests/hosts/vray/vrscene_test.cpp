#include "vrscene.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

namespace qv::vrscene {
namespace {

// Parses a scene whose only plug-in `p` has the single parameter `v`.
Value valueOf(const std::string& text) {
  const ParseResult r = parse("Node p { v=" + text + "; }", "t.vrscene");
  EXPECT_TRUE(r.scene) << text << " -> " << r.error;
  if (!r.scene || r.scene->plugins.size() != 1 || r.scene->plugins[0].params.size() != 1) {
    ADD_FAILURE() << "no single value parsed from " << text;
    return Value{};
  }
  return r.scene->plugins[0].params[0].value;
}

std::string errorOf(const std::string& text, const std::string& file = "scene.vrscene") {
  const ParseResult r = parse(text, file);
  EXPECT_FALSE(r.scene) << "accepted: " << text;
  return r.error;
}

bool hasFileLinePrefix(const std::string& message, const std::string& file) {
  if (message.compare(0, file.size() + 1, file + ":") != 0) return false;
  size_t i = file.size() + 1;
  const size_t digitsStart = i;
  while (i < message.size() && message[i] >= '0' && message[i] <= '9') ++i;
  return i > digitsStart && message.compare(i, 2, ": ") == 0 && message.size() > i + 2;
}

TEST(VrsceneNumbers, IntegersStayIntegers) {
  EXPECT_EQ(std::get<std::int64_t>(valueOf("12")), 12);
  EXPECT_EQ(std::get<std::int64_t>(valueOf("-3")), -3);
  EXPECT_EQ(std::get<std::int64_t>(valueOf("+7")), 7);
  EXPECT_EQ(std::get<std::int64_t>(valueOf("9223372036854775807")), INT64_MAX);
  EXPECT_EQ(std::get<std::int64_t>(valueOf("-9223372036854775808")), INT64_MIN);
}

TEST(VrsceneNumbers, EveryFloatSpellingIsAFloat) {
  EXPECT_EQ(std::get<double>(valueOf("1.5")), 1.5);
  EXPECT_EQ(std::get<double>(valueOf("-0.25")), -0.25);
  EXPECT_EQ(std::get<double>(valueOf("1e-3")), 1e-3);
  EXPECT_EQ(std::get<double>(valueOf("2.")), 2.0);
  EXPECT_EQ(std::get<double>(valueOf(".5")), 0.5);
  EXPECT_EQ(std::get<double>(valueOf("-.5")), -0.5);
  EXPECT_EQ(std::get<double>(valueOf("1.0e+10")), 1.0e10);
  EXPECT_EQ(std::get<double>(valueOf("3E2")), 300.0);
}

TEST(VrsceneNumbers, OutOfRangeAndMalformedNumbersAreRejected) {
  std::string e = errorOf("N p {\n v=9223372036854775808; }");
  EXPECT_EQ(e.rfind("scene.vrscene:2: ", 0), 0u) << e;
  EXPECT_NE(e.find("9223372036854775808"), std::string::npos) << e;
  EXPECT_NE(e.find("out of range"), std::string::npos) << e;

  e = errorOf("N p { v=1e999; }");
  EXPECT_EQ(e.rfind("scene.vrscene:1: ", 0), 0u) << e;
  EXPECT_NE(e.find("out of range"), std::string::npos) << e;

  e = errorOf("N p { v=Color(1e300, 0, 0); }");
  EXPECT_NE(e.find("too large for Color"), std::string::npos) << e;

  e = errorOf("N p { v=ListInt(1, 3000000000); }");
  EXPECT_NE(e.find("3000000000"), std::string::npos) << e;

  e = errorOf("N p {\n\n v=12abc; }");
  EXPECT_EQ(e.rfind("scene.vrscene:3: malformed number '12abc'", 0), 0u) << e;
  e = errorOf("N p { v=1.2.3; }");
  EXPECT_NE(e.find("malformed number '1.2.3'"), std::string::npos) << e;
}

TEST(VrsceneCompoundValues, ColorsAndVectorsTakeIntsOrFloats) {
  const auto c = std::get<VUtils::Color>(valueOf("Color(1, 0.5, -2e-1)"));
  EXPECT_EQ(c.r, 1.0f);
  EXPECT_EQ(c.g, 0.5f);
  EXPECT_EQ(c.b, -0.2f);

  const auto a = std::get<VUtils::AColor>(valueOf("AColor(0.1,0.2,0.3,1)"));
  EXPECT_EQ(a, VUtils::AColor(0.1f, 0.2f, 0.3f, 1.0f));

  const auto v = std::get<VUtils::Vector>(valueOf("Vector( -1 , 2.5,\n 3 )"));
  EXPECT_EQ(v, VUtils::Vector(-1.0f, 2.5f, 3.0f));
}

TEST(VrsceneCompoundValues, MatrixVectorsAreColumnsInOrder) {
  const auto m =
      std::get<VUtils::Matrix>(valueOf("Matrix(Vector(1,2,3),Vector(4,5,6),Vector(7,8,9))"));
  EXPECT_EQ(m.f[0], VUtils::Vector(1, 2, 3));
  EXPECT_EQ(m.f[1], VUtils::Vector(4, 5, 6));
  EXPECT_EQ(m.f[2], VUtils::Vector(7, 8, 9));
}

TEST(VrsceneCompoundValues, TransformKeepsMatrixAndOffset) {
  const auto t = std::get<VUtils::Transform>(
      valueOf("Transform(Matrix(Vector(1,0,0),Vector(0,1,0),Vector(0,0,1)), Vector(10,-20,30.5))"));
  EXPECT_EQ(t.m.f[0], VUtils::Vector(1, 0, 0));
  EXPECT_EQ(t.m.f[1], VUtils::Vector(0, 1, 0));
  EXPECT_EQ(t.m.f[2], VUtils::Vector(0, 0, 1));
  EXPECT_EQ(t.offs, VUtils::Vector(10, -20, 30.5f));
}

TEST(VrsceneCompoundValues, ListsMayBeEmpty) {
  EXPECT_EQ(std::get<ListInt>(valueOf("ListInt(1, -2,3)")).values, (std::vector<int>{1, -2, 3}));
  EXPECT_TRUE(std::get<ListInt>(valueOf("ListInt()")).values.empty());
  EXPECT_TRUE(std::get<ListInt>(valueOf("ListInt( )")).values.empty());

  const auto lv = std::get<ListVector>(valueOf("ListVector(Vector(1,2,3), Vector(4,5,6))"));
  ASSERT_EQ(lv.values.size(), 2u);
  EXPECT_EQ(lv.values[0], VUtils::Vector(1, 2, 3));
  EXPECT_EQ(lv.values[1], VUtils::Vector(4, 5, 6));
  EXPECT_TRUE(std::get<ListVector>(valueOf("ListVector()")).values.empty());
}

TEST(VrsceneStrings, EscapesAreDecoded) {
  EXPECT_EQ(std::get<std::string>(valueOf(R"("plain")")), "plain");
  EXPECT_EQ(std::get<std::string>(valueOf(R"("")")), "");
  EXPECT_EQ(std::get<std::string>(valueOf(R"("a\"b\\c\nd\te")")), "a\"b\\c\nd\te");
  // Comment markers and separators inside a string are text.
  EXPECT_EQ(std::get<std::string>(valueOf(R"("//x; } {")")), "//x; } {");
}

TEST(VrsceneStrings, MultiLineStringsKeepLaterLineNumbersRight) {
  const ParseResult r = parse("N p { s=\"two\nlines\";\n t=1; }\nM m {}", "m.vrscene");
  ASSERT_TRUE(r.scene) << r.error;
  const PluginBlock& p = r.scene->plugins[0];
  EXPECT_EQ(std::get<std::string>(p.params[0].value), "two\nlines");
  EXPECT_EQ(p.params[1].line, 3);
  EXPECT_EQ(r.scene->plugins[1].line, 4);
  EXPECT_EQ(errorOf("N p { s=\"a\n\nb\"; t=; }").rfind("scene.vrscene:3: ", 0), 0u);
}

TEST(VrsceneStrings, BadStringsNameTheirLine) {
  std::string e = errorOf("N p {\n a=1;\n s=\"never closed; }\n\n");
  EXPECT_EQ(e.rfind("scene.vrscene:3: ", 0), 0u) << e;
  EXPECT_NE(e.find("unterminated string"), std::string::npos) << e;

  e = errorOf("N p { s=\"ends in backslash\\");
  EXPECT_NE(e.find("unterminated string"), std::string::npos) << e;

  e = errorOf("N p {\n s=\"C:\\qv\"; }");
  EXPECT_EQ(e.rfind("scene.vrscene:2: ", 0), 0u) << e;
  EXPECT_NE(e.find("unknown escape '\\q"), std::string::npos) << e;
}

TEST(VrsceneReferences, BareNamesAndOutputs) {
  const auto whole = std::get<PluginRef>(valueOf("tex_checker"));
  EXPECT_EQ(whole.plugin, "tex_checker");
  EXPECT_EQ(whole.output, "");

  const auto out = std::get<PluginRef>(valueOf("tex@1::out_alpha"));
  EXPECT_EQ(out.plugin, "tex@1");
  EXPECT_EQ(out.output, "out_alpha");

  const auto spaced = std::get<PluginRef>(valueOf("a :: b"));
  EXPECT_EQ(spaced.plugin, "a");
  EXPECT_EQ(spaced.output, "b");

  // Only a constructor keyword followed by '(' is a constructor.
  EXPECT_EQ(std::get<PluginRef>(valueOf("Colour")).plugin, "Colour");
}

TEST(VrsceneStructure, BlocksParamsCommentsAndLines) {
  const std::string text =
      "// exported by hand\n"
      "BRDFDiffuse brdf { // trailing comment\n"
      "  color=Color(1,0,0); // red\n"
      "  color_tex =\n"
      "    tex::out; transparency=0.5;\n"
      "}\n"
      "Empty e{}\n"
      "Node\n"
      "node\n"
      "{ brdf=brdf;}// no newline at the end";
  const ParseResult r = parse(text, "s.vrscene");
  ASSERT_TRUE(r.scene) << r.error;
  EXPECT_TRUE(r.error.empty());
  EXPECT_EQ(r.scene->file, "s.vrscene");
  ASSERT_EQ(r.scene->plugins.size(), 3u);

  const PluginBlock& brdf = r.scene->plugins[0];
  EXPECT_EQ(brdf.type, "BRDFDiffuse");
  EXPECT_EQ(brdf.name, "brdf");
  EXPECT_EQ(brdf.line, 2);
  ASSERT_EQ(brdf.params.size(), 3u);
  EXPECT_EQ(brdf.params[0].name, "color");
  EXPECT_EQ(brdf.params[0].line, 3);
  EXPECT_EQ(brdf.params[1].name, "color_tex");
  EXPECT_EQ(brdf.params[1].line, 4);
  EXPECT_EQ(std::get<PluginRef>(brdf.params[1].value).output, "out");
  EXPECT_EQ(brdf.params[2].line, 5);

  const PluginBlock& empty = r.scene->plugins[1];
  EXPECT_EQ(empty.type, "Empty");
  EXPECT_TRUE(empty.params.empty());
  EXPECT_EQ(empty.line, 7);

  EXPECT_EQ(r.scene->plugins[2].line, 8);
  EXPECT_EQ(r.scene->plugins[2].params[0].line, 10);
}

TEST(VrsceneStructure, FindIsByNameAndNullWhenAbsent) {
  const ParseResult r = parse("A a { x=1; y=2; } B b { x=3; }", "f.vrscene");
  ASSERT_TRUE(r.scene) << r.error;
  const PluginBlock* b = r.scene->find("b");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->type, "B");
  EXPECT_EQ(r.scene->find("B"), nullptr);  // types are not names
  EXPECT_EQ(r.scene->find("c"), nullptr);

  const PluginBlock* a = r.scene->find("a");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(a->find("y"), nullptr);
  EXPECT_EQ(std::get<std::int64_t>(a->find("y")->value), 2);
  EXPECT_EQ(a->find("z"), nullptr);
}

TEST(VrsceneStructure, EmptyOrCommentOnlyInputIsAnEmptyScene) {
  for (const std::string text : {"", "   \n\t\r\n", "// nothing here", "// a\n// b\n"}) {
    const ParseResult r = parse(text, "e.vrscene");
    ASSERT_TRUE(r.scene) << r.error;
    EXPECT_TRUE(r.scene->plugins.empty());
    EXPECT_EQ(r.scene->file, "e.vrscene");
  }
}

TEST(VrsceneErrors, EachMessageNamesFileLineAndProblem) {
  struct Case {
    std::string text;
    std::string prefix;  // "file:line: " plus the start of the message
    std::string mentions;
  };
  const Case cases[] = {
      {"A a {\n color_b=1;\n color_a=Color(1,0,0)\n}",
       "scene.vrscene:4: expected ';' after the value "
       "of 'color_a'",
       "'}'"},
      {"A a {\n\n\n\n\n\n v=Colr(1,2,3); }", "scene.vrscene:7: unknown value 'Colr('", "Color"},
      {"A a {\n c=Color(1,\n 2); }", "scene.vrscene:2: Color takes 3 numbers, got 2", ""},
      {"A a { c=AColor(1,2,3); }", "scene.vrscene:1: AColor takes 4 numbers, got 3", ""},
      {"A a { c=Vector(1,2,3,4); }", "scene.vrscene:1: Vector takes 3 numbers, got 4", ""},
      {"A a { m=Matrix(Vector(1,2,3),Vector(1,2,3)); }", "scene.vrscene:1: Matrix takes 3 Vectors",
       "got 2"},
      {"A a { m=Matrix(Vector(1,2,3),Color(1,2,3),Vector(1,2,3)); }",
       "scene.vrscene:1: expected Vector(...) in Matrix", "'Color'"},
      {"A a {\n t=Transform(Vector(1,2,3)); }",
       "scene.vrscene:2: expected Matrix(...) in Transform", "'Vector'"},
      {"A a { t=Transform(Matrix(Vector(1,0,0),Vector(0,1,0),Vector(0,0,1))); }",
       "scene.vrscene:1: Transform takes a Matrix(...) and a Vector(...)", ""},
      {"A a { c=Color(1,x,3); }", "scene.vrscene:1: expected a number in Color", "'x'"},
      {"A a { l=ListInt(1,2.5); }", "scene.vrscene:1: expected a whole number in ListInt", "'2.5'"},
      {"A a { c=Color; }", "scene.vrscene:1: expected '(' after 'Color'", "';'"},
      {"A a { c=Color(1 2 3); }", "scene.vrscene:1: expected ',' or ')' in Color(...)", "'2'"},
      {"A a { r=b::; }", "scene.vrscene:1: expected an output name after 'b::'", "';'"},
      {"A a {\n x=1;\n}\nB b {}\nC a { }",
       "scene.vrscene:5: plug-in 'a' is defined twice (first at "
       "line 1)",
       ""},
      {"A a {\n x=1;\n y=2;\n x=3; }", "scene.vrscene:4: parameter 'x' is set twice in plug-in 'a'",
       "first at line 2"},
      {"A a {\n x=1;\n", "scene.vrscene:3: unexpected end of file inside plug-in 'a'", "'}'"},
      {"A a { x=", "scene.vrscene:1: unexpected end of file", "value for 'x'"},
      {"A", "scene.vrscene:1: unexpected end of file", "plug-in name"},
      {"A a\n x=1;", "scene.vrscene:2: expected '{' after plug-in name 'a'", "'x'"},
      {"A a { x 1; }", "scene.vrscene:1: expected '=' after parameter 'x'", "'1'"},
      {"A a { x=; }", "scene.vrscene:1: expected a value for 'x'", "';'"},
      {"A a { 5=1; }", "scene.vrscene:1: expected a parameter name", "'5'"},
      {"A a { }\n}", "scene.vrscene:2: expected a plug-in type", "'}'"},
      {"A a { x=1; }\n\n  # comment?", "scene.vrscene:3: unexpected character '#'", ""},
      {"A a { x=a:b; }", "scene.vrscene:1: unexpected character ':'", ""},
      {"A a { x=1; } / not a comment", "scene.vrscene:1: unexpected character '/'", ""},
      {"A a { x=\"ok\"; }\n\x80\x01", "scene.vrscene:2: unexpected character '\\x80'", ""},
  };
  for (const Case& c : cases) {
    const std::string e = errorOf(c.text);
    EXPECT_EQ(e.rfind(c.prefix, 0), 0u) << "input: " << c.text << "\nmessage: " << e;
    EXPECT_NE(e.find(c.mentions), std::string::npos) << "input: " << c.text << "\nmessage: " << e;
  }
}

TEST(VrsceneErrors, FileNameIsTheOneGiven) {
  EXPECT_EQ(errorOf("N n {\n c=Color(1,2); }", "x.vrscene"),
            "x.vrscene:2: Color takes 3 numbers, got 2");
}

TEST(VrsceneErrors, LongOrBinaryTokensAreShortenedInMessages) {
  const std::string e = errorOf("N p { v=" + std::string(5000, '7') + "x; }");
  EXPECT_EQ(e.rfind("scene.vrscene:1: malformed number", 0), 0u) << e;
  EXPECT_LT(e.size(), 200u);
}

TEST(VrsceneRobustness, DeepNestingIsRejectedWithoutRecursion) {
  std::string deep = "N p { v=";
  for (int i = 0; i < 200000; ++i) deep += "ListVector(";
  const std::string e = errorOf(deep);
  EXPECT_TRUE(hasFileLinePrefix(e, "scene.vrscene")) << e.substr(0, 200);

  std::string parens = "N p { v=Color";
  parens += std::string(200000, '(');
  EXPECT_TRUE(hasFileLinePrefix(errorOf(parens), "scene.vrscene"));
}

TEST(VrsceneRobustness, EveryTruncationParsesOrFailsCleanly) {
  const std::string scene =
      "// header\n"
      "SettingsOutput out { img_width=640; img_height=480; gamma=2.2; }\n"
      "TexChecker tex@1 {\n"
      "  color_a=AColor(1, 1, 1, 1); color_b=Color(0,.5,1e-3);\n"
      "  uvw=uvwgen::out; name=\"a \\\"quoted\\\" \\\\ name\";\n"
      "  faces=ListInt(0,1,2); pts=ListVector(Vector(0,0,0),Vector(1,2,3));\n"
      "  tm=Transform(Matrix(Vector(1,0,0),Vector(0,1,0),Vector(0,0,1)),Vector(-1,2.,3));\n"
      "  m=Matrix(Vector(1,2,3),Vector(4,5,6),Vector(7,8,9)); n=-12; v=Vector(1,2,3);\n"
      "}\n"
      "Node n {}\n";
  const ParseResult full = parse(scene, "fz.vrscene");
  ASSERT_TRUE(full.scene) << full.error;
  ASSERT_EQ(full.scene->plugins.size(), 3u);

  int accepted = 0;
  for (size_t len = 0; len < scene.size(); ++len) {
    const ParseResult r = parse(scene.substr(0, len), "fz.vrscene");
    if (r.scene) {
      ++accepted;
      EXPECT_TRUE(r.error.empty());
      EXPECT_LE(r.scene->plugins.size(), 3u);
    } else {
      EXPECT_TRUE(hasFileLinePrefix(r.error, "fz.vrscene"))
          << "prefix length " << len << ": " << r.error;
    }
  }
  // Cuts inside the header comment and between blocks are complete scenes.
  EXPECT_GT(accepted, 0);
  EXPECT_LT(accepted, static_cast<int>(scene.size()));
}

TEST(VrsceneRobustness, RandomBytesParseOrFailCleanly) {
  std::mt19937 rng(20240611);
  const std::string alphabet = "Aa_@1.-+e\"\\(){}=;,:/ \n\tColrVectMix\x80\xff";
  for (int round = 0; round < 400; ++round) {
    std::string text(rng() % 200, '\0');
    const bool anyByte = round % 2 == 0;
    for (char& c : text) {
      c = anyByte ? static_cast<char>(rng() & 0xff) : alphabet[rng() % alphabet.size()];
    }
    const ParseResult r = parse(text, "rnd.vrscene");
    if (r.scene) {
      EXPECT_TRUE(r.error.empty());
    } else {
      EXPECT_TRUE(hasFileLinePrefix(r.error, "rnd.vrscene")) << r.error;
    }
  }
}

TEST(VrsceneFiles, ReadsFromDiskAndReportsMissingFiles) {
  const std::string path = testing::TempDir() + "vrscene_test_scene.vrscene";
  {
    std::ofstream out(path, std::ios::binary);
    out << "A a {\n x=Color(1,2,3);\n}\nB b { y=1 }\n";
  }
  const ParseResult bad = parseFile(path);
  EXPECT_FALSE(bad.scene);
  EXPECT_EQ(bad.error.rfind(path + ":4: expected ';' after the value of 'y'", 0), 0u) << bad.error;

  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "A a {\r\n x=Color(1,2,3);\r\n}\r\n";
  }
  const ParseResult good = parseFile(path);
  ASSERT_TRUE(good.scene) << good.error;
  EXPECT_EQ(good.scene->file, path);
  ASSERT_NE(good.scene->find("a"), nullptr);
  EXPECT_EQ(good.scene->find("a")->params[0].line, 2);
  std::remove(path.c_str());

  const std::string missing = testing::TempDir() + "no_such_dir/none.vrscene";
  const ParseResult r = parseFile(missing);
  EXPECT_FALSE(r.scene);
  EXPECT_EQ(r.error, missing + ": cannot open file");
}

TEST(VrsceneKinds, EveryKindHasItsName) {
  EXPECT_STREQ(kindName(Value{std::int64_t{1}}), "integer");
  EXPECT_STREQ(kindName(Value{1.0}), "float");
  EXPECT_STREQ(kindName(Value{VUtils::Color()}), "Color");
  EXPECT_STREQ(kindName(Value{VUtils::AColor()}), "AColor");
  EXPECT_STREQ(kindName(Value{VUtils::Vector()}), "Vector");
  EXPECT_STREQ(kindName(Value{VUtils::Matrix()}), "Matrix");
  EXPECT_STREQ(kindName(Value{VUtils::Transform()}), "Transform");
  EXPECT_STREQ(kindName(Value{std::string("s")}), "string");
  EXPECT_STREQ(kindName(Value{ListInt{}}), "ListInt");
  EXPECT_STREQ(kindName(Value{ListVector{}}), "ListVector");
  EXPECT_STREQ(kindName(Value{PluginRef{"a", ""}}), "plug-in reference");
}

}  // namespace
}  // namespace qv::vrscene
