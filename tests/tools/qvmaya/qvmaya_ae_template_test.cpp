// The Attribute Editor templates the plug-ins ship, run as Maya runs them
// when the editor opens a node.
#include "maya_host.h"
#include "qvmaya.h"
#include "viewport.h"

#include <gtest/gtest.h>

#include <maya/MFnAttribute.h>
#include <maya/MFnCompoundAttribute.h>
#include <maya/MFnDependencyNode.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace qv::qvmaya {
namespace {

namespace fs = std::filesystem;

// Every attribute of a node by long name, with the compound it belongs to
// ("" at the top), read through the API rather than through qvmaya.
void collect(const MObject& attribute, const std::string& parent,
             std::map<std::string, std::string>* attributes) {
  const MFnAttribute fn(attribute);
  const std::string name = fn.name().asChar();
  (*attributes)[name] = parent;
  if (!attribute.hasFn(MFn::kCompoundAttribute)) return;
  const MFnCompoundAttribute compound(attribute);
  for (unsigned int i = 0; i < compound.numChildren(); ++i) {
    collect(compound.child(i), name, attributes);
  }
}

struct Layout {
  std::vector<std::string> lines;
  std::map<std::string, int> placed;  // controls and suppressed attributes
  std::vector<std::string> extra;     // what the template left to Maya
  std::vector<std::string> sections;  // `layout "LABEL" collapsed|expanded`
};

Layout parse(const std::string& text) {
  Layout layout;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::string trimmed = line.substr(line.find_first_not_of(' '));
    layout.lines.push_back(trimmed);
    std::istringstream words(trimmed);
    std::string kind, name;
    words >> kind >> name;
    if (kind == "control" || kind == "suppress") ++layout.placed[name];
    if (kind == "extra") layout.extra.push_back(name);
    if (kind == "layout") layout.sections.push_back(trimmed.substr(kind.size() + 1));
  }
  return layout;
}

struct Opened {
  int status = 0;
  std::string out;
  std::string err;
  std::map<std::string, std::string> attributes;
};

// A fresh session that loads the plug-in, makes one of its nodes, sources
// its template and prints the node's layout.
Opened layoutOf(const std::string& type) {
  const fs::path script = fs::path(testing::TempDir()) / ("ae_" + type + ".mel");
  const fs::path templateFile = fs::path(QV_SOURCE_DIR) / type / ("AE" + type + "Template.mel");
  {
    std::ofstream file(script);
    // By its bare name, as Maya scripts load plug-ins: the platform's ending
    // (.mll on Windows) is added and the plug-in path searched.
    file << "loadPlugin " << type << ";\ncreateNode " << type << " -n node1;\nsource \""
         << templateFile.generic_string() << "\";\nqvAELayout node1;\n";
  }
  Opened result;
  std::ostringstream out, err;
  result.status = withScene(script.string(), out, err,
                            [&](maya::Host& host, maya::Viewport&, const std::string&) {
                              const MFnDependencyNode node(host.node("node1"));
                              for (unsigned int i = 0; i < node.attributeCount(); ++i) {
                                collect(node.attribute(i), "", &result.attributes);
                              }
                              return 0;
                            });
  result.out = out.str();
  result.err = err.str();
  return result;
}

class AETemplateTest : public testing::TestWithParam<const char*> {};

TEST_P(AETemplateTest, PlacesOrSuppressesEveryAttributeExactlyOnce) {
  const std::string type = GetParam();
  if (!fs::exists(fs::path(QV_PLUGIN_DIR) / (type + QV_MAYA_PLUGIN_SUFFIX))) {
    GTEST_SKIP() << type << " is not part of this build";
  }
  const Opened result = layoutOf(type);
  ASSERT_EQ(result.status, 0) << result.err;
  ASSERT_GT(result.attributes.size(), 4u);
  const Layout layout = parse(result.out);
  ASSERT_FALSE(layout.lines.empty());
  EXPECT_EQ(layout.lines.front(), "node node1 " + type);

  for (const auto& [name, count] : layout.placed) {
    EXPECT_TRUE(result.attributes.count(name))
        << "the template names " << name << ", not an attribute";
  }
  for (const auto& [name, parent] : result.attributes) {
    // A compound's children show in its control.
    int times = 0;
    for (std::string at = name; !at.empty(); at = result.attributes.at(at)) {
      const auto found = layout.placed.find(at);
      if (found != layout.placed.end()) times += found->second;
    }
    EXPECT_EQ(times, 1) << name << " is placed or suppressed " << times << " times";
  }
  for (const std::string& name : layout.extra)
    ADD_FAILURE() << name << " is left to Extra Attributes";

  // As Maya's own templates are built: the texture swatch first, the node
  // behaviour and extra attributes sections last.
  const bool texture = type != "qv_vpStack";
  EXPECT_EQ(layout.lines.at(1) == "swatchDisplay", texture);
  EXPECT_EQ(layout.lines.at(texture ? 2 : 1), "scrollLayout");
  ASSERT_GE(layout.sections.size(), 3u);
  EXPECT_EQ(layout.sections.front().find("expanded"), layout.sections.front().size() - 8);
  EXPECT_EQ(layout.sections[layout.sections.size() - 2], "\"Node Behavior\" collapsed");
  EXPECT_EQ(layout.sections.back(), "\"Extra Attributes\" collapsed");
}

INSTANTIATE_TEST_SUITE_P(Plugins, AETemplateTest,
                         testing::Values("qv_veilVRay", "qv_shotWeaveVRay", "qv_vpProjector",
                                         "qv_vpStack"));

TEST(AETemplateSections, VeilAndStackGroupTheirAttributesForAPainter) {
  for (const char* type : {"qv_veilVRay", "qv_vpStack"}) {
    if (!fs::exists(fs::path(QV_PLUGIN_DIR) / (std::string(type) + QV_MAYA_PLUGIN_SUFFIX))) {
      GTEST_SKIP() << type << " is not part of this build";
    }
  }
  const Layout veil = parse(layoutOf("qv_veilVRay").out);
  const std::vector<std::string> veilSections = {
      "\"Colour and matte\" expanded", "\"Facing\" expanded",
      "\"Distance\" expanded",         "\"Occlusion\" expanded",
      "\"Soft edge\" expanded",        "\"Projection camera\" collapsed",
      "\"Node Behavior\" collapsed",   "\"Extra Attributes\" collapsed"};
  EXPECT_EQ(veil.sections, veilSections);
  EXPECT_NE(
      std::find(veil.lines.begin(), veil.lines.end(), "control angleThreshold \"Angle threshold\""),
      veil.lines.end());

  // One section per layer, only the top one open.
  const Layout stack = parse(layoutOf("qv_vpStack").out);
  ASSERT_EQ(stack.sections.size(), 18u);
  for (int n = 0; n < 16; ++n) {
    EXPECT_NE(stack.sections[n].find("Layer " + std::to_string(n)), std::string::npos);
    EXPECT_EQ(stack.sections[n].find("collapsed") != std::string::npos, n > 0) << n;
  }
}

TEST(AETemplateErrors, NamesTheFileLineAndWhatIsWrong) {
  const fs::path plugin =
      fs::path(QV_PLUGIN_DIR) / (std::string("qv_vpStack") + QV_MAYA_PLUGIN_SUFFIX);
  if (!fs::exists(plugin)) GTEST_SKIP() << "qv_vpStack is not part of this build";
  const fs::path missing = fs::path(testing::TempDir()) / "AEmissing.mel";
  std::ofstream(missing) << "global proc AEqv_vpStackTemplate(string $nodeName)\n"
                            "{\n"
                            "    editorTemplate -beginScrollLayout;\n"
                            "    editorTemplate -addControl \"color0\";\n"
                            "    editorTemplate -addControl \"colour17\";\n"
                            "    editorTemplate -endScrollLayout;\n"
                            "}\n";
  const fs::path malformed = fs::path(testing::TempDir()) / "AEmalformed.mel";
  std::ofstream(malformed) << "// a layout\n"
                              "global proc AEqv_vpStackTemplate(string $nodeName\n"
                              "{\n"
                              "}\n";
  const std::string script = "loadPlugin \"" + plugin.generic_string() +
                             "\";\n"
                             "createNode qv_vpStack -n stack1;\n"
                             "source \"" +
                             missing.generic_string() +
                             "\";\n"
                             "qvAELayout stack1;\n"
                             "source \"" +
                             malformed.generic_string() + "\";\n";
  std::istringstream in(script);
  std::ostringstream out, err;
  EXPECT_EQ(run({}, in, out, err), 1);
  // Nothing is printed for a layout that failed.
  EXPECT_EQ(out.str(), "");
  EXPECT_NE(
      err.str().find(missing.generic_string() + " line 5: editorTemplate: node stack1 (qv_vpStack) "
                                                "has no attribute \"colour17\""),
      std::string::npos)
      << err.str();
  EXPECT_NE(err.str().find(malformed.generic_string() + " line 3: ')' expected"), std::string::npos)
      << err.str();
}

}  // namespace
}  // namespace qv::qvmaya
