// qv_vpStackOverride in the stand-in Viewport 2.0: fragment registration
// across overrides, its failure paths, the documents it registers, and the
// shader Maya builds from them bound to the node's attributes by name.
#include "maya_host.h"
#include "viewport.h"

#include <maya/MFragmentManager.h>
#include <maya/MViewport2Renderer.h>

#include <gtest/gtest.h>
#if QV_HAVE_PUGIXML
#include <pugixml.hpp>
#endif

#include <functional>
// GCC 12 sees uninitialised std::function members inside <regex> when it
// inlines the regex compiler with the sanitizers on; they are not.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>
#include <string>
#include <vector>

namespace qv::vpstack::test {
namespace {

using maya::Host;
using maya::Viewport;

const char* const kFragment = "qv_vpStackFragment";
const char* const kOutput = "qv_vpStackFragmentOutput";
const char* const kGraph = "qv_vpStackGraph";

class StackViewportTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host.loadPlugin(QV_VPSTACK_PLUGIN, &error)) << error;
  }

  // A new node and one draw update; the node's override is built by it.
  std::string drawNewNode() {
    const std::string node = host.createNode("qv_vpStack");
    EXPECT_FALSE(node.empty());
    viewport.refresh();
    return node;
  }

  std::string fragmentNameOf(const std::string& node) {
    const maya::ShaderView* view = viewport.shader(node);
    EXPECT_NE(view, nullptr) << node;
    return view ? view->fragmentName : "<no override>";
  }

  static MHWRender::MFragmentManager& fragments() {
    return *MHWRender::MRenderer::theRenderer()->getFragmentManager();
  }

  static bool registered(const char* name) { return fragments().hasFragment(name); }

  Host host;
  Viewport viewport{host};
};

TEST_F(StackViewportTest, FirstOverrideRegistersTheThreeFragmentsLaterOnesAddNothing) {
  for (const char* name : {kFragment, kOutput, kGraph}) EXPECT_FALSE(registered(name));
  testing::internal::CaptureStderr();
  const std::string first = drawNewNode();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  for (const char* name : {kFragment, kOutput, kGraph}) EXPECT_TRUE(registered(name)) << name;
  EXPECT_EQ(fragmentNameOf(first), kGraph);
  EXPECT_EQ(viewport.shader(first)->buildError, "");
  const MHWRender::MPxShadingNodeOverride* override = viewport.overrideOf(first);
  ASSERT_NE(override, nullptr);
  EXPECT_EQ(override->supportedDrawAPIs(), 7);

  // Any addition from here on would fail, and leave the name empty.
  host.failCall("MFragmentManager::addShadeFragmentFromBuffer");
  host.failCall("MFragmentManager::addFragmentGraphFromBuffer");
  const std::string second = drawNewNode();
  EXPECT_EQ(fragmentNameOf(second), kGraph);
  EXPECT_EQ(viewport.nodes(), (std::vector<std::string>{first, second}));
  host.clearFailures();

  // Only the graph missing: the two fragments are left alone.
  ASSERT_TRUE(fragments().removeFragment(kGraph));
  host.failCall("MFragmentManager::addShadeFragmentFromBuffer");
  const std::string third = drawNewNode();
  EXPECT_EQ(fragmentNameOf(third), kGraph);
  EXPECT_TRUE(registered(kGraph));
}

TEST_F(StackViewportTest, AFailedStructureFragmentStillTriesTheGraphAndALaterOverrideCompletes) {
  host.failCall("MFragmentManager::addShadeFragmentFromBuffer", 2);
  // Consumed only if the graph's addition is attempted after the failure.
  host.failCall("MFragmentManager::addFragmentGraphFromBuffer", 1);
  testing::internal::CaptureStderr();
  const std::string first = drawNewNode();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(fragmentNameOf(first), "");
  EXPECT_TRUE(registered(kFragment));
  EXPECT_FALSE(registered(kOutput));
  EXPECT_FALSE(registered(kGraph));

  const std::string second = drawNewNode();
  EXPECT_EQ(fragmentNameOf(second), kGraph);
  EXPECT_EQ(viewport.shader(second)->buildError, "");
  // The first keeps what its construction found.
  EXPECT_EQ(viewport.overrideOf(first)->fragmentName(), "");
}

TEST_F(StackViewportTest, NoRendererLeavesTheNameEmpty) {
  maya::setRendererAvailable(false);
  const std::string node = drawNewNode();
  const MHWRender::MPxShadingNodeOverride* override = viewport.overrideOf(node);
  ASSERT_NE(override, nullptr);
  EXPECT_EQ(override->fragmentName(), "");
  EXPECT_EQ(override->supportedDrawAPIs(), 7);
  maya::setRendererAvailable(true);
  EXPECT_FALSE(registered(kGraph));
  EXPECT_EQ(fragmentNameOf(drawNewNode()), kGraph);
}

TEST_F(StackViewportTest, AFailedOverrideRegistrationIsReportedAndTheNodeStillLoads) {
  ASSERT_TRUE(host.unloadPlugin("qv_vpStack"));
  host.failCall("MDrawRegistry::registerShadingNodeOverrideCreator");
  testing::internal::CaptureStderr();
  ASSERT_TRUE(host.loadPlugin(QV_VPSTACK_PLUGIN));
  EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("\nAPI error detected in ", 0), 0u);
  drawNewNode();
  EXPECT_TRUE(viewport.nodes().empty());
  // Taking away the creator that never got registered fails too, and is reported.
  testing::internal::CaptureStderr();
  EXPECT_TRUE(host.unloadPlugin("qv_vpStack", nullptr, /*force=*/true));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("API error detected in "),
            std::string::npos);
}

TEST_F(StackViewportTest, TheShaderBindsAll64ParametersToTheNodesAttributes) {
  const std::string node = host.createNode("qv_vpStack", "n");
  ASSERT_TRUE(host.setAttr("n.color3", std::vector<double>{0.5, 0, 1}));
  ASSERT_TRUE(host.setAttr("n.mask7", 0.25));
  ASSERT_TRUE(host.setAttr("n.premultiply2", 1.0));
  viewport.refresh();
  const maya::ShaderView* view = viewport.shader("n");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->builds, 1);
  ASSERT_EQ(view->parameters.size(), 64u);
  const auto value = [&](const std::string& parameter) {
    for (const auto& [name, text] : view->parameters) {
      if (name.size() > parameter.size() + 1 &&
          name.compare(name.size() - parameter.size() - 1, std::string::npos, "_" + parameter) ==
              0) {
        return text;
      }
    }
    return std::string("<unbound>");
  };
  for (int n = 0; n < 16; ++n) {
    const std::string number = std::to_string(n);
    SCOPED_TRACE(number);
    EXPECT_EQ(value("color" + number), n == 3 ? "0.5 0 1" : "0 0 0");
    EXPECT_EQ(value("mask" + number), n == 7 ? "0.25" : "0");
    // The node's false, not the fragment's default true.
    EXPECT_EQ(value("premultiply" + number), n == 2 ? "1" : "0");
    EXPECT_EQ(value("solo" + number), "0");
  }

  ASSERT_TRUE(host.setAttr("n.solo15", 1.0));
  viewport.refresh();
  view = viewport.shader("n");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->builds, 1);
  EXPECT_EQ(value("solo15"), "1");
}

// ---- The registered documents ----------------------------------------------

// The documents are read back with pugixml, which the Windows build has not.
#if QV_HAVE_PUGIXML

// Elements and their attributes, one a line, indented by depth; text left out.
void outline(const pugi::xml_node& parent, int depth, std::string* out) {
  for (const pugi::xml_node& child : parent.children()) {
    if (child.type() != pugi::node_element) continue;
    *out += std::string(2 * depth, ' ') + child.name();
    for (const pugi::xml_attribute& a : child.attributes()) {
      *out += std::string(" ") + a.name() + "=" + a.value();
    }
    *out += "\n";
    outline(child, depth + 1, out);
  }
}

std::string outlineOf(const char* name, pugi::xml_document* document) {
  std::string xml, out;
  EXPECT_TRUE(maya::fragmentXml(name, &xml)) << name;
  EXPECT_TRUE(document->load_string(xml.c_str())) << name;
  outline(*document, 0, &out);
  return out;
}

// The 64 layer parameters, each line made by `line(tag, name)`.
std::string layerLines(const std::function<std::string(const char*, const std::string&)>& line) {
  std::string lines;
  for (const char* family : {"color", "mask", "premultiply", "solo"}) {
    const std::string stem = family;
    const char* tag = stem == "color" ? "float3" : stem == "mask" ? "float" : "bool";
    for (int n = 0; n < 16; ++n) lines += "    " + line(tag, stem + std::to_string(n)) + "\n";
  }
  return lines;
}

std::string implementations(const std::string& function, const std::string& text) {
  std::string lines = "  implementation\n";
  for (const char* language : {"language=Cg lang_version=2.1", "language=HLSL lang_version=11.0",
                               "language=GLSL lang_version=3.0"}) {
    lines += std::string("    implementation render=OGSRenderer ") + language + "\n" +
             "      function_name val=" + function + "\n      " + text + "\n";
  }
  return lines;
}

TEST_F(StackViewportTest, RegistersTheDocumentsAsTabled) {
  drawNewNode();
  pugi::xml_document shade, structure, graph;
  EXPECT_EQ(outlineOf(kFragment, &shade),
            "fragment uiName=qv_vpStackFragment name=qv_vpStackFragment type=plumbing "
            "class=ShadeFragment version=1.0\n  description\n  properties\n" +
                layerLines([](const char* tag, const std::string& name) {
                  return tag + (" name=" + name);
                }) +
                "  values\n" + layerLines([](const char* tag, const std::string& name) {
                  const std::string type = tag;
                  return type + " name=" + name + " value=" +
                         (type == "float3"  ? "0.0,0.0,0.0"
                          : type == "float" ? "0.0"
                          : name[0] == 'p'  ? "1"
                                            : "0");
                }) +
                "  outputs\n    struct name=output struct_name=qv_vpStackFragmentOutput\n" +
                implementations(kFragment, "source"));
  EXPECT_STREQ(shade.first_child().child("description").child_value(),
               "qv_vpStack utility fragment");

  EXPECT_EQ(outlineOf(kOutput, &structure),
            "fragment uiName=qv_vpStackFragmentOutput name=qv_vpStackFragmentOutput "
            "type=structure class=ShadeFragment version=1.0\n  description\n  properties\n"
            "    struct name=qv_vpStackFragmentOutput struct_name=qv_vpStackFragmentOutput\n"
            "  values\n  outputs\n"
            "    alias name=qv_vpStackFragmentOutput struct_name=qv_vpStackFragmentOutput\n"
            "    float3 name=outColor\n    float3 name=outTransparency\n"
            "    float name=outAlpha\n" +
                implementations("", "declaration name=qv_vpStackFragmentOutput"));
  EXPECT_STREQ(structure.first_child().child("description").child_value(),
               "Struct output for simple file texture fragment");

  EXPECT_EQ(outlineOf(kGraph, &graph),
            "fragment_graph name=qv_vpStackGraph ref=qv_vpStackGraph class=FragmentGraph "
            "version=1.0\n  fragments\n"
            "    fragment_ref name=qv_vpStackFragment ref=qv_vpStackFragment\n"
            "    fragment_ref name=qv_vpStackFragmentOutput ref=qv_vpStackFragmentOutput\n"
            "  connections\n    connect from=qv_vpStackFragment.output "
            "to=qv_vpStackFragmentOutput.qv_vpStackFragmentOutput\n  properties\n" +
                layerLines([](const char* tag, const std::string& name) {
                  return tag + (" name=" + name + " ref=qv_vpStackFragment.") + name;
                }) +
                "  values\n  outputs\n"
                "    struct name=output ref=qv_vpStackFragmentOutput.qv_vpStackFragmentOutput\n");
  EXPECT_EQ(maya::fragmentSource(kFragment, "Cg"), maya::fragmentSource(kFragment, "HLSL"));
  // The GLSL is the same function in GLSL's words: vec3 for float3, arrays
  // built by constructors rather than initializer lists. Compared as code,
  // comments dropped and white space made single.
  const auto code = [](std::string text) {
    text = std::regex_replace(text, std::regex("//[^\n]*"), "");
    text = std::regex_replace(text, std::regex("\\s+"), " ");
    return std::regex_replace(text, std::regex("^ | $"), "");
  };
  std::string hlsl = code(maya::fragmentSource(kFragment, "HLSL"));
  hlsl = std::regex_replace(hlsl, std::regex("\\bfloat3\\b"), "vec3");
  hlsl = std::regex_replace(hlsl, std::regex("(\\w+) (\\w+)\\[16\\] = \\{"), "$1 $2[16] = $1[16](");
  hlsl = std::regex_replace(hlsl, std::regex(" \\};"), ");");
  const std::string glsl = code(maya::fragmentSource(kFragment, "GLSL"));
  EXPECT_GT(glsl.size(), 2000u);
  EXPECT_EQ(glsl, hlsl);
  EXPECT_EQ(code(maya::fragmentSource(kOutput, "GLSL")),
            std::regex_replace(code(maya::fragmentSource(kOutput, "HLSL")),
                               std::regex("\\bfloat3\\b"), "vec3"));
}

#endif  // QV_HAVE_PUGIXML

}  // namespace
}  // namespace qv::vpstack::test
