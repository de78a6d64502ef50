// The three documents the override hands to Maya's fragment manager, read
// back from it element by element.
#include "projector_test_support.h"
#include "viewport.h"

#include <pugixml.hpp>

#include <map>
#include <sstream>

namespace qv::vpProjector::test {
namespace {

struct Property {
  std::string type, name, semantic, flags;
};

const std::vector<Property> kProperties = {
    {"float2", "uvCoord", "mayaUvCoordSemantic", "varyingInputParam"},
    {"int", "mapType", "", ""},
    {"bool", "r", "", ""},
    {"bool", "g", "", ""},
    {"bool", "b", "", ""},
    {"bool", "a", "", ""},
    {"bool", "passThrough", "", ""},
    {"bool", "invert", "", ""},
    {"bool", "solidAlpha", "", ""},
    {"bool", "premultiply", "", ""},
    {"int", "texWidth", "", ""},
    {"int", "texHeight", "", ""},
    {"float", "resRatio", "", ""},
    {"int", "fitType", "", ""},
    {"float3", "colorOffset", "", ""},
    {"float", "focalLength", "", ""},
    {"float", "angleOfView", "", ""},
    {"float", "hAperture", "", ""},
    {"float", "vAperture", "", ""},
    {"bool", "flipU", "", ""},
    {"bool", "flipV", "", ""},
    {"float4x4", "placementMatrix", "", ""},
    {"float3", "Pm", "Pm", "varyingInputParam"},
    {"float3", "Pw", "Pw", "varyingInputParam"},
    {"float4x4", "world", "world", ""},
    {"texture2", "fileMap", "", ""},
    {"sampler", "textureSampler", "", ""},
    {"float3", "Nw", "Nw", "varyingInputParam"},
    {"bool", "useFacingRatio", "", ""},
    {"float", "angleThreshold", "", ""},
    {"float", "distanceThreshold", "", ""},
    {"bool", "useShadowOcclusion", "", ""},
    {"float", "dilate", "", ""},
    {"float", "softEdge", "", ""},
    {"float", "power", "", ""},
    {"float", "occlusionBias", "", ""},
    {"float3", "depthMapShape", "", ""},
    {"texture2", "depthMap", "", ""},
    {"sampler", "depthSampler", "", ""},
};

std::vector<std::string> childNames(const pugi::xml_node& node) {
  std::vector<std::string> names;
  for (const pugi::xml_node& child : node.children()) names.push_back(child.name());
  return names;
}

std::string attributes(const pugi::xml_node& node) {
  std::string text;
  for (const pugi::xml_attribute& attribute : node.attributes()) {
    text += std::string(text.empty() ? "" : " ") + attribute.name() + "=" + attribute.value();
  }
  return text;
}

class ProjectorFragmentsTest : public ProjectorSession {
 protected:
  void SetUp() override {
    ProjectorSession::SetUp();
    ASSERT_EQ(host.createNode("qv_vpProjector", "n"), "n");
    qv::maya::Viewport viewport(host);
    viewport.refresh();
  }

  pugi::xml_node root(const char* name) {
    std::string xml;
    EXPECT_TRUE(qv::maya::fragmentXml(name, &xml)) << name;
    const pugi::xml_parse_result parsed = document_.load_string(xml.c_str());
    EXPECT_TRUE(parsed) << parsed.description();
    return document_.first_child();
  }

  // Each property element: its type, then its attributes in document order.
  static void expectProperties(const pugi::xml_node& properties, const std::vector<Property>& table,
                               const char* refPrefix) {
    std::vector<std::string> found;
    std::vector<std::string> expected;
    for (const pugi::xml_node& element : properties.children()) {
      found.push_back(std::string(element.name()) + " " + attributes(element));
    }
    for (const Property& p : table) {
      std::string line = p.type + " name=" + p.name;
      if (refPrefix) line += std::string(" ref=") + refPrefix + p.name;
      if (!p.semantic.empty()) line += " semantic=" + p.semantic;
      if (!p.flags.empty()) line += " flags=" + p.flags;
      expected.push_back(line);
    }
    EXPECT_EQ(found, expected);
  }

  pugi::xml_document document_;
};

TEST_F(ProjectorFragmentsTest, ShadeFragment) {
  const pugi::xml_node fragment = root("qv_vpProjectorFragment");
  EXPECT_EQ(std::string(fragment.name()), "fragment");
  EXPECT_EQ(attributes(fragment),
            "uiName=qv_vpProjectorFragment name=qv_vpProjectorFragment type=plumbing "
            "class=ShadeFragment version=1.0");
  EXPECT_EQ(childNames(fragment), (std::vector<std::string>{"description", "properties", "values",
                                                            "outputs", "implementation"}));
  EXPECT_EQ(std::string(fragment.child("description").child_value()),
            "Simple file texture fragment");
  expectProperties(fragment.child("properties"), kProperties, nullptr);
  EXPECT_TRUE(fragment.child("values").children().empty());
  EXPECT_EQ(childNames(fragment.child("outputs")), std::vector<std::string>{"struct"});
  EXPECT_EQ(attributes(fragment.child("outputs").child("struct")),
            "name=output struct_name=qv_vpProjectorFragmentOutput");
  const char* const languages[][2] = {{"Cg", "2.100000"}, {"HLSL", "11.000000"}, {"GLSL", "3.0"}};
  int i = 0;
  for (const pugi::xml_node& implementation : fragment.child("implementation").children()) {
    ASSERT_LT(i, 3);
    EXPECT_EQ(attributes(implementation), std::string("render=OGSRenderer language=") +
                                              languages[i][0] + " lang_version=" + languages[i][1]);
    EXPECT_EQ(childNames(implementation), (std::vector<std::string>{"function_name", "source"}));
    EXPECT_EQ(std::string(implementation.child("function_name").attribute("val").value()),
              "qv_vpProjectorFragment");
    const std::string source = implementation.child("source").child_value();
    EXPECT_NE(source.find("qv_vpProjectorFragmentOutput qv_vpProjectorFragment("),
              std::string::npos);
    EXPECT_NE(source.find("3.14159265358979323846264"), std::string::npos);
    EXPECT_NE(source.find("6.28318530718"), std::string::npos);
    ++i;
  }
  EXPECT_EQ(i, 3);
}

// Maya binds each property to the function's parameter in the same place,
// of the shader type the property's type stands for in that language: a
// texture2 property is a texture object and a sampler property its sampling
// state, Cg's texture2D and sampler2D under OpenGL, HLSL's Texture2D and
// SamplerState under DirectX 11. GLSL under the OpenGL Core Profile has
// vectors and matrices of its own names and no texture object: the texture
// comes with its sampler, as the sampler2D the sampler property names.
TEST_F(ProjectorFragmentsTest, FunctionParametersAreTheProperties) {
  const pugi::xml_node fragment = root("qv_vpProjectorFragment");
  const std::map<std::string, std::map<std::string, std::string>> kShaderTypes = {
      {"Cg", {{"texture2", "texture2D"}, {"sampler", "sampler2D"}}},
      {"HLSL", {{"texture2", "Texture2D"}, {"sampler", "SamplerState"}}},
      {"GLSL",
       {{"texture2", ""},
        {"sampler", "sampler2D"},
        {"float2", "vec2"},
        {"float3", "vec3"},
        {"float4x4", "mat4"}}}};
  int checked = 0;
  for (const pugi::xml_node& implementation : fragment.child("implementation").children()) {
    const std::string language = implementation.attribute("language").value();
    ASSERT_EQ(kShaderTypes.count(language), 1u) << language;
    const std::map<std::string, std::string>& opaque = kShaderTypes.at(language);
    std::vector<std::string> expected;
    for (const pugi::xml_node& property : fragment.child("properties").children()) {
      const std::string type = property.name();
      const std::string name = property.attribute("name").value();
      const auto found = opaque.find(type);
      if (found != opaque.end() && found->second.empty()) continue;
      expected.push_back((found == opaque.end() ? type : found->second) + " " +
                         (expected.empty() ? std::string("uv") : name));
    }
    // The parameter list as written: each parameter's words, one space apart.
    const std::string source = implementation.child("source").child_value();
    const std::string head = "qv_vpProjectorFragment(";
    const size_t open = source.find(head);
    ASSERT_NE(open, std::string::npos) << language;
    const size_t close = source.find(')', open);
    ASSERT_NE(close, std::string::npos) << language;
    std::vector<std::string> parameters;
    std::istringstream list(source.substr(open + head.size(), close - open - head.size()));
    for (std::string parameter; std::getline(list, parameter, ',');) {
      std::istringstream words(parameter);
      std::string joined;
      for (std::string word; words >> word;) joined += (joined.empty() ? "" : " ") + word;
      parameters.push_back(joined);
    }
    EXPECT_EQ(parameters, expected) << language;
    ++checked;
  }
  EXPECT_EQ(checked, 3);
}

TEST_F(ProjectorFragmentsTest, OutputStructure) {
  const pugi::xml_node fragment = root("qv_vpProjectorFragmentOutput");
  EXPECT_EQ(attributes(fragment),
            "uiName=qv_vpProjectorFragmentOutput name=qv_vpProjectorFragmentOutput "
            "type=structure class=ShadeFragment version=1.0");
  EXPECT_EQ(std::string(fragment.child("description").child_value()),
            "Struct output for simple file texture fragment");
  EXPECT_EQ(attributes(fragment.child("properties").first_child()),
            "name=qv_vpProjectorFragmentOutput struct_name=qv_vpProjectorFragmentOutput");
  std::vector<std::string> outputs;
  for (const pugi::xml_node& output : fragment.child("outputs").children()) {
    outputs.push_back(std::string(output.name()) + " " + attributes(output));
  }
  EXPECT_EQ(outputs,
            (std::vector<std::string>{"alias name=qv_vpProjectorFragmentOutput "
                                      "struct_name=qv_vpProjectorFragmentOutput",
                                      "float3 name=outColor", "float3 name=outTransparency",
                                      "float name=outAlpha"}));
  const char* const languages[][3] = {
      {"Cg", "2.1", "float3"}, {"HLSL", "11.0", "float3"}, {"GLSL", "3.0", "vec3"}};
  int i = 0;
  for (const pugi::xml_node& implementation : fragment.child("implementation").children()) {
    ASSERT_LT(i, 3);
    EXPECT_EQ(attributes(implementation), std::string("render=OGSRenderer language=") +
                                              languages[i][0] + " lang_version=" + languages[i][1]);
    EXPECT_EQ(attributes(implementation.child("function_name")), "val=");
    const pugi::xml_node declaration = implementation.child("declaration");
    EXPECT_EQ(attributes(declaration), "name=qv_vpProjectorFragmentOutput");
    const std::string text = declaration.child_value();
    const std::string vector = languages[i][2];
    const size_t color = text.find(vector + " outColor;");
    const size_t transparency = text.find(vector + " outTransparency;");
    const size_t alpha = text.find("float outAlpha;");
    EXPECT_NE(text.find("struct qv_vpProjectorFragmentOutput"), std::string::npos) << text;
    EXPECT_TRUE(color < transparency && transparency < alpha && alpha != std::string::npos) << text;
    ++i;
  }
  EXPECT_EQ(i, 3);
}

TEST_F(ProjectorFragmentsTest, Graph) {
  const pugi::xml_node graph = root("qv_vpProjectorGraph");
  EXPECT_EQ(std::string(graph.name()), "fragment_graph");
  EXPECT_EQ(attributes(graph),
            "name=qv_vpProjectorGraph ref=qv_vpProjectorGraph class=FragmentGraph version=1.0");
  EXPECT_EQ(childNames(graph), (std::vector<std::string>{"fragments", "connections", "properties",
                                                         "values", "outputs"}));
  std::vector<std::string> references;
  for (const pugi::xml_node& reference : graph.child("fragments").children()) {
    references.push_back(std::string(reference.name()) + " " + attributes(reference));
  }
  EXPECT_EQ(
      references,
      (std::vector<std::string>{
          "fragment_ref name=qv_vpProjectorFragment ref=qv_vpProjectorFragment",
          "fragment_ref name=qv_vpProjectorFragmentOutput ref=qv_vpProjectorFragmentOutput"}));
  EXPECT_EQ(childNames(graph.child("connections")), std::vector<std::string>{"connect"});
  EXPECT_EQ(attributes(graph.child("connections").child("connect")),
            "from=qv_vpProjectorFragment.output "
            "to=qv_vpProjectorFragmentOutput.qv_vpProjectorFragmentOutput");
  // The graph lists resRatio and fitType before texWidth and texHeight.
  std::vector<Property> reordered = kProperties;
  std::rotate(reordered.begin() + 10, reordered.begin() + 12, reordered.begin() + 14);
  expectProperties(graph.child("properties"), reordered, "qv_vpProjectorFragment.");
  EXPECT_TRUE(graph.child("values").children().empty());
  EXPECT_EQ(childNames(graph.child("outputs")), std::vector<std::string>{"struct"});
  EXPECT_EQ(attributes(graph.child("outputs").child("struct")),
            "name=output ref=qv_vpProjectorFragmentOutput.qv_vpProjectorFragmentOutput");
}

}  // namespace
}  // namespace qv::vpProjector::test
