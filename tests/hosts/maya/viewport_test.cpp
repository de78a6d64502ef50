#include "viewport.h"
#include "fragment_reference.h"
#include "maya_host.h"
#include "shader_runner.h"
#include "viewport_network.h"
#include "viewport_render.h"

#define MNoVersionString
#define MNoPluginEntry
#include <maya/MDrawRegistry.h>
#include <maya/MFnPlugin.h>
#include <maya/MFragmentManager.h>
#include <maya/MImage.h>
#include <maya/MStateManager.h>
#include <maya/MTextureManager.h>
#include <maya/MViewport2Renderer.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace qv::maya {
namespace {

namespace fs = std::filesystem;
using MHWRender::MSamplerState;
using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// A 4 x 2 picture, top row first as files store it: pixel (x, y) is
// (10x, 100 + y, 7, 255).
std::string writePng(const std::string& name) {
  unsigned char pixels[2][4][4];
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      const unsigned char pixel[4] = {static_cast<unsigned char>(10 * x),
                                      static_cast<unsigned char>(100 + y), 7, 255};
      std::copy(pixel, pixel + 4, pixels[y][x]);
    }
  }
  const std::string path = (fs::path(testing::TempDir()) / name).string();
  EXPECT_NE(stbi_write_png(path.c_str(), 4, 2, 4, pixels, 16), 0);
  return path;
}

std::string shadeFragment(const std::string& name, const std::string& properties,
                          const std::string& type = "plumbing",
                          const std::string& code = "<source><![CDATA[code]]></source>") {
  return "<fragment name='" + name + "' type='" + type + "' class='ShadeFragment'>" +
         "<properties>" + properties + "</properties><values/>" +
         "<outputs><float3 name='outColor'/></outputs><implementation>" +
         "<implementation render='OGSRenderer' language='Cg'><function_name val='f'/>" + code +
         "</implementation></implementation></fragment>";
}

// A plumbing fragment of one function returning a float3, in HLSL and GLSL.
std::string valueFragment(const std::string& name, const std::string& properties,
                          const std::string& values, const std::string& hlsl,
                          const std::string& glsl) {
  return "<fragment name='" + name + "' type='plumbing' class='ShadeFragment'><properties>" +
         properties + "</properties><values>" + values +
         "</values><outputs><float3 name='tint'/></outputs><implementation>" +
         "<implementation render='OGSRenderer' language='HLSL' lang_version='11.0'>" +
         "<function_name val='" + name + "'/><source><![CDATA[" + hlsl +
         "]]></source></implementation>" +
         "<implementation render='OGSRenderer' language='GLSL' lang_version='3.0'>" +
         "<function_name val='" + name + "'/><source><![CDATA[" + glsl +
         "]]></source></implementation></implementation></fragment>";
}

std::string fragmentGraph(const std::string& name, const std::string& properties,
                          const std::string& connections = "") {
  return "<fragment_graph name='" + name + "'><fragments>" +
         "<fragment_ref name='a' ref='fa'/><fragment_ref name='b' ref='fb'/></fragments>" +
         "<connections>" + connections + "</connections><properties>" + properties +
         "</properties><outputs><float3 name='outColor' ref='b.outColor'/></outputs>" +
         "</fragment_graph>";
}

struct ForeignNode : MPxNode {};
void* foreignNode() {
  return new ForeignNode;
}

class ViewportTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host.loadPlugin(QV_MAYA_SHADER_PLUGIN, &error)) << error;
    fragments = MHWRender::MRenderer::theRenderer()->getFragmentManager();
  }

  // The override calls since the last look.
  std::string calls() {
    auto log =
        reinterpret_cast<const char* (*)()>(host.pluginSymbol("qv_testShader", "qvTestShaderLog"));
    const std::string all = log ? log() : "(no log)";
    const std::string fresh = all.substr(seen_);
    seen_ = all.size();
    return fresh;
  }

  // What the fragment manager says when refusing the document.
  std::string refusal(const std::string& document, bool graph) {
    CaptureStderr();
    const MString name = graph ? fragments->addFragmentGraphFromBuffer(document.c_str())
                               : fragments->addShadeFragmentFromBuffer(document.c_str(), false);
    const std::string message = GetCapturedStderr();
    EXPECT_EQ(name, "") << document;
    EXPECT_EQ(message.rfind("// Warning: MFragmentManager: ", 0), 0u) << message;
    EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
    return message;
  }

  Host host;
  MHWRender::MFragmentManager* fragments = nullptr;

 private:
  size_t seen_ = 0;
};

TEST_F(ViewportTest, FragmentManagerChecksDocumentsAsTheyAreAdded) {
  const std::string fa = shadeFragment("fa", "<float name='gain'/><float3 name='tint'/>");
  EXPECT_EQ(fragments->addShadeFragmentFromBuffer(fa.c_str(), false), "fa");
  const std::string fb = shadeFragment("fb", "<float3 name='input'/>", "structure",
                                       "<declaration name='S'><![CDATA[struct S;]]></declaration>");
  EXPECT_EQ(fragments->addShadeFragmentFromBuffer(fb.c_str(), true), "fb");
  std::string xml;
  EXPECT_TRUE(fragmentXml("fa", &xml));
  EXPECT_EQ(xml, fa);
  EXPECT_EQ(fragmentSource("fa", "Cg"), "code");
  EXPECT_EQ(fragmentSource("fb", "Cg"), "struct S;");
  EXPECT_EQ(fragmentSource("fb", "HLSL"), "");

  EXPECT_THAT(refusal("<fragment name='x'><properties></fragment>", false),
              HasSubstr("malformed XML"));
  EXPECT_THAT(refusal(shadeFragment("", ""), false), HasSubstr("without a name"));
  EXPECT_THAT(refusal(fa, false), HasSubstr("fa is already registered"));
  EXPECT_THAT(refusal("<fragment name='x'><properties/><implementation/></fragment>", false),
              HasSubstr("x has no <outputs>"));
  EXPECT_THAT(refusal(shadeFragment("x", "", "plumbing", ""), false),
              HasSubstr("the Cg implementation has no <source>"));
  EXPECT_THAT(refusal(shadeFragment("x", "", "structure"), false),
              HasSubstr("has no <declaration>"));

  EXPECT_THAT(refusal("<fragment_graph name='g'><fragments><fragment_ref name='a' ref='nope'/>"
                      "</fragments></fragment_graph>",
                      true),
              HasSubstr("refers to nope, which is not registered"));
  EXPECT_THAT(refusal(fragmentGraph("g", "", "<connect from='a.nothing' to='b.input'/>"), true),
              HasSubstr("connection from a.nothing"));
  EXPECT_THAT(refusal(fragmentGraph("g", "", "<connect from='a.outColor' to='b.tint'/>"), true),
              HasSubstr("connection to b.tint"));
  EXPECT_THAT(refusal(fragmentGraph("g", "<float3 name='gain' ref='a.gain'/>"), true),
              HasSubstr("gain is a float3 but a.gain is a float"));
  EXPECT_THAT(refusal(fragmentGraph("g", "<float name='gain' ref='c.gain'/>"), true),
              HasSubstr("refers to c.gain"));

  const std::string good = fragmentGraph("g", "<float name='gain' ref='a.gain'/>",
                                         "<connect from='a.outColor' to='b.input'/>");
  EXPECT_EQ(fragments->addFragmentGraphFromBuffer(good.c_str()), "g");
  EXPECT_THAT(refusal(good, true), HasSubstr("g is already registered"));
  EXPECT_TRUE(fragments->removeFragment("g"));
  EXPECT_FALSE(fragments->hasFragment("g"));
  EXPECT_FALSE(fragments->removeFragment("g"));

  host.failCall("MFragmentManager::addFragmentGraphFromBuffer", 2);
  EXPECT_EQ(fragments->addFragmentGraphFromBuffer(good.c_str()), "g");
  EXPECT_TRUE(fragments->removeFragment("g"));
  EXPECT_EQ(fragments->addFragmentGraphFromBuffer(good.c_str()), "");
  EXPECT_EQ(fragments->addFragmentGraphFromBuffer(good.c_str()), "g");
}

TEST_F(ViewportTest, DrawRegistryRefusesDuplicatesAndUnknownRegistrations) {
  using MHWRender::MDrawRegistry;
  const auto creator = [](const MObject&) -> MHWRender::MPxShadingNodeOverride* { return nullptr; };
  host.failCall("MDrawRegistry::registerShadingNodeOverrideCreator");
  EXPECT_EQ(MDrawRegistry::registerShadingNodeOverrideCreator("drawdb/x", "x", creator),
            MS::kFailure);
  EXPECT_EQ(MDrawRegistry::registerShadingNodeOverrideCreator("drawdb/x", "x", creator),
            MS::kSuccess);
  EXPECT_EQ(MDrawRegistry::registerShadingNodeOverrideCreator("drawdb/x", "x", creator),
            MS::kFailure);
  EXPECT_EQ(MDrawRegistry::deregisterShadingNodeOverrideCreator("drawdb/x", "y"), MS::kFailure);
  EXPECT_EQ(MDrawRegistry::deregisterShadingNodeOverrideCreator("drawdb/x", "x"), MS::kSuccess);
  EXPECT_EQ(MDrawRegistry::deregisterShadingNodeOverrideCreator("drawdb/x", "x"), MS::kFailure);
}

TEST_F(ViewportTest, RefreshBuildsOnceThenUpdatesInMayasOrder) {
  host.createNode("qvTestShader", "a");
  host.createNode("transform", "plain");
  ASSERT_TRUE(host.setAttr("a.gain", 0.5));
  ASSERT_TRUE(host.setAttr("a.mode", 1.0));
  Viewport viewport(host);
  viewport.refresh();
  EXPECT_EQ(viewport.nodes(), std::vector<std::string>{"a"});
  EXPECT_EQ(viewport.overrideOf("plain"), nullptr);
  EXPECT_EQ(calls(), "fragmentName getCustomMappings updateDG updateShader ");
  const ShaderView* view = viewport.shader("a");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->fragmentName, "qvTestGraph");
  EXPECT_EQ(view->buildError, "");
  EXPECT_EQ(view->builds, 1);
  const std::map<std::string, std::string> expected = {
      {"s1_gain", "0.5"}, {"s1_mode", "1"}, {"s1_tint", "0.5 0.25 1"}};
  EXPECT_EQ(view->parameters, expected);
  // The override found the sampler under the name the build wrote into its mapping.
  ASSERT_EQ(view->samplers.count("s1_textureSampler"), 1u);
  EXPECT_EQ(view->samplers.at("s1_textureSampler").filter, MSamplerState::kAnisotropic);
  EXPECT_EQ(view->samplers.at("s1_textureSampler").maxAnisotropy, 16u);
  EXPECT_TRUE(view->textures.empty());

  ASSERT_TRUE(host.setAttr("a.gain", 2.0));
  ASSERT_TRUE(host.setAttr("a.mode", 0.0));
  viewport.refresh();
  EXPECT_EQ(calls(), "updateDG updateShader ");
  view = viewport.shader("a");
  EXPECT_EQ(view->parameters.at("s1_gain"), "2");
  EXPECT_EQ(view->samplers.at("s1_textureSampler").filter, MSamplerState::kMinMagMipLinear);

  viewport.invalidateShaders();
  viewport.refresh();
  EXPECT_EQ(calls(), "fragmentName getCustomMappings updateDG updateShader ");
  view = viewport.shader("a");
  EXPECT_EQ(view->builds, 2);
  EXPECT_EQ(view->parameters.count("s1_gain"), 0u);
  EXPECT_EQ(view->parameters.count("s2_gain"), 1u);
  EXPECT_EQ(view->samplers.count("s2_textureSampler"), 1u);
  EXPECT_NE(viewport.dump("a").find("  sampler s2_textureSampler: filter kMinMagMipLinear, "
                                    "address kTexWrap kTexWrap kTexWrap, maxAnisotropy 1\n"),
            std::string::npos)
      << viewport.dump("a");
}

TEST_F(ViewportTest, BuildFailsForPropertiesTheNodeCannotFill) {
  const std::string extra = shadeFragment("fa", "<float name='gain'/><float3 name='roughness'/>");
  ASSERT_EQ(fragments->addShadeFragmentFromBuffer(extra.c_str(), false), "fa");
  const std::string fb = shadeFragment("fb", "<float3 name='input'/>");
  ASSERT_EQ(fragments->addShadeFragmentFromBuffer(fb.c_str(), false), "fb");
  const std::string missing =
      fragmentGraph("missing", "<float3 name='roughness' ref='a.roughness'/>");
  ASSERT_EQ(fragments->addFragmentGraphFromBuffer(missing.c_str()), "missing");
  // A float3 property cannot take the float attribute of the same name.
  const std::string unfit = fragmentGraph("unfit", "<float3 name='gain' ref='b.input'/>");
  ASSERT_EQ(fragments->addFragmentGraphFromBuffer(unfit.c_str()), "unfit");

  host.createNode("qvTestShader", "a");
  ASSERT_TRUE(host.setAttr("a.fragment", std::string("unfit")));
  Viewport viewport(host);
  viewport.refresh();
  const ShaderView* view = viewport.shader("a");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->fragmentName, "unfit");
  EXPECT_EQ(view->buildError, "attribute gain of a cannot fill gain (float3)");
  EXPECT_EQ(view->builds, 0);
  EXPECT_EQ(calls(), "fragmentName getCustomMappings ");
  EXPECT_EQ(viewport.dump("a"), "a: no shader: " + view->buildError + "\n");

  // A failed build is not retried until Maya rebuilds.
  viewport.refresh();
  EXPECT_EQ(calls(), "");
  // A property that no semantic, mapping or attribute fills keeps its
  // fragment's value; it does not stop the shader.
  ASSERT_TRUE(host.setAttr("a.fragment", std::string("missing")));
  viewport.invalidateShaders();
  viewport.refresh();
  EXPECT_EQ(viewport.shader("a")->buildError, "");
  EXPECT_EQ(viewport.shader("a")->builds, 1);
  EXPECT_EQ(viewport.shader("a")->parameters.count("s2_roughness"), 0u);
  // The engine's draw API and language: fb has Cg alone.
  ASSERT_TRUE(host.setAttr("a.fragment", std::string("fb")));
  viewport.setEngine(Engine::kOpenGLCoreProfile);
  viewport.refresh();
  EXPECT_EQ(viewport.shader("a")->buildError, "fb has no GLSL implementation");
  viewport.setEngine(Engine::kDirectX11);
  for (const auto& [fragment, error] : std::vector<std::pair<std::string, std::string>>{
           {"fb", "fb has no HLSL implementation"},
           {"nothing", "no fragment named nothing is registered"}}) {
    ASSERT_TRUE(host.setAttr("a.fragment", fragment));
    viewport.invalidateShaders();
    viewport.refresh();
    EXPECT_EQ(viewport.shader("a")->buildError, error);
  }
}

// Three things Maya's documentation allows that Autodesk's own samples use:
// a property filled by nothing keeps its <values> default; a light
// accumulator comes with an empty <implementation>, its code being the
// renderer's; a function may return its one output rather than a
// structure. Network: b.tint = a.tint * b.gain, where a's function returns
// gain * (1, 2, 4) + offset and offset, with no attribute, stays at its
// default (0.25, 0.5, 0.75). With a.gain 0.5 and b.gain 2 every step is
// exact, so both engines must give (1.5, 3, 5.5) exactly.
TEST_F(ViewportTest, PreviewLinksValueFunctionsDefaultsAndAccumulators) {
  const std::string scaled = valueFragment(
      "qvScaled", "<float name='gain'/><float3 name='offset'/>",
      "<float3 name='offset' value='0.25,0.5,0.75'/>",
      "float3 qvScaled(float gain, float3 offset) { return gain * float3(1.0, 2.0, 4.0) + offset; "
      "}",
      "vec3 qvScaled(float gain, vec3 offset) { return gain * vec3(1.0, 2.0, 4.0) + offset; }");
  const std::string product =
      valueFragment("qvProduct", "<float3 name='tint'/><float name='gain'/>", "",
                    "float3 qvProduct(float3 tint, float gain) { return tint * gain; }",
                    "vec3 qvProduct(vec3 tint, float gain) { return tint * gain; }");
  const std::string accumulator =
      "<fragment name='qvLightAccum' type='accum' class='ShadeFragment'><properties>"
      "<float3 name='scaledDiffuse'/><string name='selector'/></properties><values>"
      "<string name='selector' value='mayaLightSelector16'/></values><outputs>"
      "<alias name='scaledDiffuse'/></outputs><implementation></implementation></fragment>";
  ASSERT_EQ(fragments->addShadeFragmentFromBuffer(scaled.c_str(), false), "qvScaled");
  ASSERT_EQ(fragments->addShadeFragmentFromBuffer(product.c_str(), false), "qvProduct");
  EXPECT_EQ(fragments->addShadeFragmentFromBuffer(accumulator.c_str(), false), "qvLightAccum");
  // Only an accumulator may leave its code to the renderer.
  std::string plumbing = accumulator;
  plumbing.replace(plumbing.find("'accum'"), 7, "'plumbing'");
  plumbing.replace(plumbing.find("qvLightAccum"), 12, "qvNoCode");
  EXPECT_THAT(refusal(plumbing, false), HasSubstr("qvNoCode has no implementation"));

  host.createNode("qvTestShader", "a");
  host.createNode("qvTestShader", "b");
  ASSERT_TRUE(host.setAttr("a.fragment", std::string("qvScaled")));
  ASSERT_TRUE(host.setAttr("b.fragment", std::string("qvProduct")));
  ASSERT_TRUE(host.setAttr("a.gain", 0.5));
  ASSERT_TRUE(host.setAttr("b.gain", 2.0));
  std::string error;
  ASSERT_TRUE(host.connectAttr("a.tint", "b.tint", &error)) << error;

  std::string why;
  const std::unique_ptr<gpu::Device> device = gpu::Device::create(&why);
  Viewport viewport(host);
  for (const Engine engine : {Engine::kDirectX11, Engine::kOpenGLCoreProfile}) {
    const std::string language = engineLanguage(engine);
    viewport.setEngine(engine);
    viewport.refresh();
    ASSERT_EQ(viewport.shader("a")->buildError, "") << language;
    ASSERT_EQ(viewport.shader("b")->buildError, "") << language;
    EXPECT_NE(viewport.dump("b").find(", " + language + " implementation,"), std::string::npos)
        << viewport.dump("b");
    preview::Network network;
    ASSERT_TRUE(preview::linkNetwork(viewport, "b", "tint", &network, &error)) << error;
    ASSERT_EQ(network.calls.size(), 2u);
    EXPECT_EQ(network.language, language);
    EXPECT_TRUE(network.calls[0].single && network.calls[1].single);
    EXPECT_EQ(network.calls[0].arguments[1].values, (std::vector<float>{0.25f, 0.5f, 0.75f}));
    EXPECT_EQ(network.calls[1].arguments[0].kind, preview::ArgumentKind::kLink);
    EXPECT_FALSE(network.hasAlpha);

    if (!device) continue;
    ASSERT_EQ(network.language, engine == Engine::kDirectX11 ? "HLSL" : "GLSL");
    const gpu::ShaderCompile compiled = preview::compileWrapper(network);
    ASSERT_TRUE(compiled.ok) << compiled.log;
    gpu::Job job;
    job.spirv = compiled.spirv;
    job.invocations = 3;
    job.inputs.assign(3 * preview::kInputFloats, 0.0f);
    job.inputs.resize(job.inputs.size() + 16, 0.0f);  // one surface's world matrix
    job.outputFloats = 3 * preview::kOutputFloats;
    std::vector<float> outputs;
    ASSERT_TRUE(device->run(job, &outputs, &error)) << error;
    for (int point = 0; point < 3; ++point) {
      EXPECT_EQ(std::vector<float>(outputs.begin() + point * 4, outputs.begin() + point * 4 + 4),
                (std::vector<float>{1.5f, 3.0f, 5.5f, 1.0f}))
          << language << " point " << point;
    }
  }
  if (!device) GTEST_SKIP() << "linked, not run: no Vulkan device (" << why << ")";
}

// A graph of two fragments with code, one feeding the other inside the
// graph, and a volume texture from memory: outer(inner(gain)) where inner
// returns gain * (1, 2, 4) + its default offset (0.25, 0.5, 0.75) and outer
// doubles its input by its own default. With gain 0.5 every step is exact:
// (1.5, 3, 5.5) on both engines.
TEST_F(ViewportTest, PreviewLinksGraphsOfSeveralFragments) {
  const std::string inner = valueFragment(
      "qvInner", "<float name='gain'/><float3 name='offset'/>",
      "<float3 name='offset' value='0.25,0.5,0.75'/>",
      "float3 qvInner(float gain, float3 offset) { return gain * float3(1.0, 2.0, 4.0) + offset; }",
      "vec3 qvInner(float gain, vec3 offset) { return gain * vec3(1.0, 2.0, 4.0) + offset; }");
  const std::string outer = valueFragment(
      "qvOuter", "<float3 name='tint'/><float name='factor'/>", "<float name='factor' value='2'/>",
      "float3 qvOuter(float3 tint, float factor) { return tint * factor; }",
      "vec3 qvOuter(vec3 tint, float factor) { return tint * factor; }");
  const std::string graph =
      "<fragment_graph name='qvTwoStep'><fragments><fragment_ref name='in' ref='qvInner'/>"
      "<fragment_ref name='out' ref='qvOuter'/></fragments><connections>"
      "<connect from='in.tint' to='out.tint'/></connections><properties>"
      "<float name='gain' ref='in.gain'/></properties><values/><outputs>"
      "<float3 name='tint' ref='out.tint'/></outputs></fragment_graph>";
  ASSERT_EQ(fragments->addShadeFragmentFromBuffer(inner.c_str(), false), "qvInner");
  ASSERT_EQ(fragments->addShadeFragmentFromBuffer(outer.c_str(), false), "qvOuter");
  ASSERT_EQ(fragments->addFragmentGraphFromBuffer(graph.c_str()), "qvTwoStep");
  host.createNode("qvTestShader", "a");
  ASSERT_TRUE(host.setAttr("a.fragment", std::string("qvTwoStep")));
  ASSERT_TRUE(host.setAttr("a.gain", 0.5));

  // A texture from memory is a real one, shared by name.
  MHWRender::MTextureManager* textures = MHWRender::MRenderer::theRenderer()->getTextureManager();
  const std::vector<float> cube = {0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f};
  MHWRender::MTextureDescription desc;
  desc.setToDefault2DTexture();
  desc.fWidth = desc.fHeight = desc.fDepth = 2;
  desc.fFormat = MHWRender::kR32_FLOAT;
  desc.fTextureType = MHWRender::kVolumeTexture;
  MHWRender::MTexture* volume = textures->acquireTexture("qvCube", desc, cube.data(), false);
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(textures->findTexture("qvCube"), volume);
  EXPECT_EQ(textureReferences("qvCube"), 2);
  MHWRender::MTextureDescription held;
  volume->textureDescription(held);
  EXPECT_EQ(held.fDepth, 2u);
  int rowPitch = 0, slicePitch = 0;
  void* raw = volume->rawData(rowPitch, slicePitch);
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(slicePitch, 16);
  EXPECT_EQ(static_cast<const float*>(raw)[7], 7.0f);
  MHWRender::MTexture::freeRawData(raw);
  textures->releaseTexture(volume);
  textures->releaseTexture(volume);
  EXPECT_EQ(textures->findTexture("qvCube"), nullptr);

  std::string why, error;
  const std::unique_ptr<gpu::Device> device = gpu::Device::create(&why);
  Viewport viewport(host);
  for (const Engine engine : {Engine::kDirectX11, Engine::kOpenGLCoreProfile}) {
    const std::string language = engineLanguage(engine);
    viewport.setEngine(engine);
    viewport.refresh();
    ASSERT_EQ(viewport.shader("a")->buildError, "") << language;
    preview::Network network;
    ASSERT_TRUE(preview::linkNetwork(viewport, "a", "tint", &network, &error)) << error;
    ASSERT_EQ(network.calls.size(), 2u);
    EXPECT_EQ(network.calls[0].function, "qvInner");
    EXPECT_EQ(network.calls[0].arguments[0].values, (std::vector<float>{0.5f}));
    EXPECT_EQ(network.calls[1].arguments[0].kind, preview::ArgumentKind::kLink);
    EXPECT_EQ(network.calls[1].arguments[0].call, 0);
    EXPECT_EQ(network.calls[1].arguments[1].values, (std::vector<float>{2.0f}));
    if (!device) continue;
    ASSERT_EQ(network.language, engine == Engine::kDirectX11 ? "HLSL" : "GLSL");
    const gpu::ShaderCompile compiled = preview::compileWrapper(network);
    ASSERT_TRUE(compiled.ok) << compiled.log;
    gpu::Job job;
    job.spirv = compiled.spirv;
    job.invocations = 1;
    job.inputs.assign(preview::kInputFloats + 16, 0.0f);
    job.outputFloats = preview::kOutputFloats;
    std::vector<float> outputs;
    ASSERT_TRUE(device->run(job, &outputs, &error)) << error;
    EXPECT_EQ(outputs, (std::vector<float>{1.5f, 3.0f, 5.5f, 1.0f})) << language;
  }
  if (!device) GTEST_SKIP() << "linked, not run: no Vulkan device (" << why << ")";
}

TEST_F(ViewportTest, OverridesGoWithTheirNodeTheirPluginAndTheViewport) {
  const std::string png = writePng("viewport_texture.png");
  host.createNode("qvTestShader", "a");
  host.createNode("qvTestShader", "b");
  ASSERT_TRUE(host.setAttr("a.fileName", png));
  // A type of no plug-in, drawn by the plug-in's override all the same. Its
  // draw classification comes first: every part of the string counts alike.
  const MString foreign("drawdb/shader/texture/2d/qvTestShaderForeign:texture/2d");
  ASSERT_EQ(MFnPlugin().registerNode("qvForeign", MTypeId(0x0013FF03), foreignNode, nullptr,
                                     MPxNode::kDependNode, &foreign),
            MS::kSuccess);
  host.createNode("qvForeign", "f");
  {
    Viewport viewport(host);
    viewport.refresh();
    EXPECT_EQ(viewport.nodes(), (std::vector<std::string>{"a", "b", "f"}));
    EXPECT_EQ(viewport.shader("a")->textures.at("s1_fileMap"), png);
    // The shader holds the only reference: the override gave its own back.
    EXPECT_EQ(textureReferences(png), 1);
    EXPECT_EQ(liveSamplerStates(), 1);
  }
  EXPECT_EQ(textureReferences(png), 0);
  EXPECT_EQ(liveSamplerStates(), 0);

  Viewport viewport(host);
  viewport.refresh();
  EXPECT_EQ(textureReferences(png), 1);
  ASSERT_TRUE(host.deleteNode("a"));
  EXPECT_EQ(viewport.nodes(), (std::vector<std::string>{"b", "f"}));
  EXPECT_EQ(textureReferences(png), 0);
  EXPECT_EQ(liveSamplerStates(), 1);
  std::string error;
  EXPECT_FALSE(host.unloadPlugin("qv_testShader", &error));
  EXPECT_THAT(error, HasSubstr("still in use by 1 node(s) (b)"));
  // Forced, its node stays as an unknown one, which nothing draws.
  ASSERT_TRUE(host.unloadPlugin("qv_testShader", &error, /*force=*/true)) << error;
  EXPECT_EQ(host.unknownTypeOf("b")->plugin, "qv_testShader");
  EXPECT_TRUE(viewport.nodes().empty());
  EXPECT_EQ(liveSamplerStates(), 0);
  // The creator it left registered went with the library.
  EXPECT_EQ(host.typeOf("f"), "qvForeign");
  viewport.refresh();
  EXPECT_TRUE(viewport.nodes().empty());
}

TEST_F(ViewportTest, WithoutTheRendererOverridesGetNoFragments) {
  setRendererAvailable(false);
  EXPECT_EQ(MHWRender::MRenderer::theRenderer(), nullptr);
  host.createNode("qvTestShader", "a");
  Viewport viewport(host);
  viewport.refresh();
  EXPECT_EQ(viewport.shader("a")->buildError, "no fragment named qvTestGraph is registered");
}

TEST_F(ViewportTest, TexturesAndSamplerStatesAreSharedAndCounted) {
  const std::string png = writePng("shared_texture.png");
  MHWRender::MTextureManager* textures = MHWRender::MRenderer::theRenderer()->getTextureManager();
  MHWRender::MTexture* first = textures->acquireTexture(png.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(textures->acquireTexture(
                (fs::path(png).parent_path() / "." / fs::path(png).filename()).string().c_str(), 1),
            first);
  EXPECT_EQ(textureReferences(png), 2);
  MHWRender::MTextureDescription description;
  first->textureDescription(description);
  EXPECT_EQ(description.fWidth, 4u);
  EXPECT_EQ(description.fHeight, 2u);
  EXPECT_EQ(description.fMipmaps, 3u);  // 4x2, 2x1, 1x1
  int rowPitch = 0, slicePitch = 0;
  auto* raw = static_cast<unsigned char*>(first->rawData(rowPitch, slicePitch));
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(rowPitch, 16);
  EXPECT_EQ(slicePitch, 32);
  EXPECT_EQ(raw[0 * 16 + 3 * 4 + 0], 30);  // bottom row first: the file's row 1
  EXPECT_EQ(raw[0 * 16 + 3 * 4 + 1], 101);
  EXPECT_EQ(raw[1 * 16 + 2 * 4 + 1], 100);
  MHWRender::MTexture::freeRawData(raw);
  textures->releaseTexture(first);
  EXPECT_EQ(textureReferences(png), 1);
  textures->releaseTexture(first);
  EXPECT_EQ(textureReferences(png), 0);
  EXPECT_EQ(textures->acquireTexture("/no/such/file.png"), nullptr);
  textures->releaseTexture(nullptr);

  const MHWRender::MSamplerStateDesc defaults;
  EXPECT_EQ(defaults.filter, MSamplerState::kMinMagMipLinear);
  EXPECT_EQ(defaults.comparisonFn, MHWRender::MStateManager::kCompareNever);
  EXPECT_EQ(defaults.addressW, MSamplerState::kTexWrap);
  EXPECT_EQ(defaults.minLOD, 0u);
  EXPECT_EQ(defaults.maxLOD, std::numeric_limits<unsigned int>::max());
  EXPECT_EQ(defaults.maxAnisotropy, 1u);
  const MSamplerState* a = MHWRender::MStateManager::acquireSamplerState(defaults);
  EXPECT_EQ(MHWRender::MStateManager::acquireSamplerState(defaults), a);
  MHWRender::MSamplerStateDesc border = defaults;
  border.borderColor[3] = 1.0f;
  const MSamplerState* b = MHWRender::MStateManager::acquireSamplerState(border);
  EXPECT_NE(b, a);
  EXPECT_EQ(b->desc().borderColor[3], 1.0f);
  EXPECT_EQ(liveSamplerStates(), 2);
  MHWRender::MStateManager::releaseSamplerState(a);
  EXPECT_EQ(liveSamplerStates(), 2);
  MHWRender::MStateManager::releaseSamplerState(a);
  MHWRender::MStateManager::releaseSamplerState(nullptr);
  EXPECT_EQ(liveSamplerStates(), 1);
  MHWRender::MStateManager::releaseSamplerState(b);
  EXPECT_EQ(liveSamplerStates(), 0);
}

// Through an orthographic camera every ray runs down the camera's -z: a
// 3 x 2 quad 60 units away covers exactly the pixels orthographicWidth
// across gives it. With ow = 8 over 16 pixels each pixel is 0.5 wide, and
// 8 pixels high make the view 4 tall; from the camera at (1, 0.5) the pixel
// centres lie at x = -2.75 + 0.5 i and y = 2.25 - 0.5 j, so the quad's
// x = -1..2 holds columns 4 to 9 and its y = -1..1 rows 3 to 6. Through the
// default lens it would be less than a pixel wide.
TEST_F(ViewportTest, OrthographicCameraSeesParallelRaysOrthographicWidthAcross) {
  const fs::path obj = fs::path(testing::TempDir()) / "orthographic_quad.obj";
  std::ofstream(obj) << "v -1 -1 0\nv 2 -1 0\nv 2 1 0\nv -1 1 0\nf 1 2 3 4\n";
  host.createNode("transform", "cam");
  host.createNode("camera", "camShape", "cam");
  host.createNode("transform", "card");
  host.createNode("mesh", "cardShape", "card");
  std::string error;
  ASSERT_TRUE(host.setAttr("cam.t", std::vector<double>{1.0, 0.5, 10.0}, &error)) << error;
  ASSERT_TRUE(host.setAttr("camShape.o", 1.0, &error)) << error;
  ASSERT_TRUE(host.setAttr("camShape.ow", 8.0, &error)) << error;
  ASSERT_TRUE(host.setAttr("card.tz", -50.0, &error)) << error;
  ASSERT_TRUE(host.setAttr("cardShape.objFile", obj.string(), &error)) << error;
  ASSERT_TRUE(host.setAttr("cardShape.sc", std::vector<double>{1.0, 0.25, 0.5}, &error)) << error;

  Viewport viewport(host);
  PreviewOptions options;
  options.width = 16;
  options.height = 8;
  options.cpu = true;
  PreviewResult result;
  const bool rendered = renderPreview(host, viewport, options, &result, &error);
  if (!rendered && error.find("(no Embree)") != std::string::npos) GTEST_SKIP() << error;
  ASSERT_TRUE(rendered) << error;
  EXPECT_EQ(result.shadingPoints, 6u * 4u);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      const bool inside = x >= 4 && x <= 9 && y >= 3 && y <= 6;
      const float* pixel = result.image.at(x, y);
      EXPECT_EQ(pixel[3], inside ? 1.0f : 0.0f) << x << ", " << y;
      EXPECT_EQ(pixel[1], inside ? 0.25f : 0.0f) << x << ", " << y;
    }
  }

  ASSERT_TRUE(host.setAttr("camShape.ow", 0.0, &error)) << error;
  EXPECT_FALSE(renderPreview(host, viewport, options, &result, &error));
  EXPECT_EQ(error, "camera camShape has no usable orthographicWidth");
}

// What a preview shows of every pixel, rendered on the CPU and, where there
// is a Vulkan device, on it under both engines.
struct Previews {
  std::vector<std::pair<std::string, PreviewResult>> results;  // what drew it, the result
  std::string noDevice;                                        // why not on a device
};

bool renderEveryWay(Host& host, const std::string& camera, int size, Previews* previews,
                    std::string* error) {
  previews->results.clear();
  for (const bool cpu : {true, false}) {
    for (const Engine engine : {Engine::kDirectX11, Engine::kOpenGLCoreProfile}) {
      if (cpu && engine != Engine::kDirectX11) continue;
      Viewport viewport(host);
      viewport.setEngine(engine);
      PreviewOptions options;
      options.camera = camera;
      options.width = options.height = size;
      options.cpu = cpu;
      PreviewResult result;
      if (!renderPreview(host, viewport, options, &result, error)) return false;
      if (!cpu && result.device.empty()) {
        previews->noDevice = result.noDevice;
        return true;
      }
      previews->results.emplace_back(cpu ? "CPU" : engineName(engine), std::move(result));
    }
  }
  return true;
}

// Nw is the world normal at the point turned to face the camera ray, as the
// renderer's shading normal is. The plane 0.6x + 0.8z = -8 is wound so that
// its normal is (192, 0, 256) / 320 = (0.6, 0, 0.8), which faces the camera
// at the origin (0.8 * 0 > -8); the camera at z = -20, turned to look down
// +z, sees its back (0.8 * -20 < -8) and so (-0.6, 0, -0.8). Every pixel
// that shows the plane shows exactly that, alpha 1, on every path.
TEST_F(ViewportTest, NwIsTheWorldNormalFacingTheCamera) {
  const fs::path obj = fs::path(testing::TempDir()) / "tilted_plane.obj";
  std::ofstream(obj) << "v -8 -8 -4\nv 8 -8 -16\nv 8 8 -16\nv -8 8 -4\nf 1 2 3 4\n";
  const std::string normal = valueFragment(
      "qvNormalOut", "<float3 name='Nw' semantic='Nw' flags='varyingInputParam'/>", "",
      "float3 qvNormalOut(float3 Nw) { return Nw; }", "vec3 qvNormalOut(vec3 Nw) { return Nw; }");
  ASSERT_EQ(fragments->addShadeFragmentFromBuffer(normal.c_str(), false), "qvNormalOut");
  reference::add({"qvNormalOut", {"float3"}, [](const reference::Argument* a) {
                    reference::Output out;
                    std::copy(a[0].v.begin(), a[0].v.begin() + 3, out.outColor.begin());
                    return out;
                  }});
  std::string error;
  host.createNode("transform", "ahead");
  host.createNode("camera", "aheadShape", "ahead");
  host.createNode("transform", "behind");
  host.createNode("camera", "behindShape", "behind");
  ASSERT_TRUE(host.setAttr("behind.t", std::vector<double>{0.0, 0.0, -20.0}, &error)) << error;
  ASSERT_TRUE(host.setAttr("behind.ry", 180.0, &error)) << error;
  host.createNode("transform", "card");
  host.createNode("mesh", "cardShape", "card");
  ASSERT_TRUE(host.setAttr("cardShape.objFile", obj.string(), &error)) << error;
  host.createNode("qvTestShader", "a");
  ASSERT_TRUE(host.setAttr("a.fragment", std::string("qvNormalOut")));
  ASSERT_TRUE(host.connectAttr("a.tint", "cardShape.surfaceColor", &error)) << error;

  const float x = static_cast<float>(192.0 / 320.0), z = static_cast<float>(256.0 / 320.0);
  std::string noDevice;
  for (const auto& [camera, sign] :
       {std::pair<const char*, float>{"ahead", 1.0f}, {"behind", -1.0f}}) {
    Previews previews;
    const bool rendered = renderEveryWay(host, camera, 8, &previews, &error);
    if (!rendered && error.find("(no Embree)") != std::string::npos) GTEST_SKIP() << error;
    ASSERT_TRUE(rendered) << error;
    EXPECT_EQ(previews.results.size(), previews.noDevice.empty() ? 3u : 1u);
    for (const auto& [how, result] : previews.results) {
      EXPECT_GT(result.shadingPoints, 0u) << how;
      EXPECT_EQ(result.image.at(4, 4)[3], 1.0f) << camera << " " << how;
      for (int py = 0; py < 8; ++py) {
        for (int px = 0; px < 8; ++px) {
          const float* pixel = result.image.at(px, py);
          if (pixel[3] == 0.0f) continue;
          EXPECT_EQ(std::vector<float>(pixel, pixel + 4),
                    (std::vector<float>{sign * x, 0.0f, sign * z, 1.0f}))
              << camera << " " << how << " pixel " << px << ", " << py;
        }
      }
    }
    noDevice = previews.noDevice;
  }
  if (!noDevice.empty()) GTEST_SKIP() << "CPU only: no Vulkan device (" << noDevice << ")";
}

// A depth map made from memory, R32_FLOAT 4 x 4 with texel (i, j) holding
// 0.25 + i + 4j, read with a point sampler that clamps, where Pw.xy says.
// Through an orthographic camera at (0.5, 0.5) that sees 2 units across 8
// pixels, pixel (x, y) looks at the plane z = 0 at u = -0.375 + 0.25x,
// v = 1.375 - 0.25y: texel centres inside [0, 1], and beyond it the edge
// texel, i = clamp(x - 2, 0, 3) and j = clamp(5 - y, 0, 3). An R32_FLOAT
// texel reads (d, 0, 0, 1); the fragment shows (r, g, a).
TEST_F(ViewportTest, MemoryDepthMapsReadTheirTexelsWithPointClampSamplers) {
  const fs::path obj = fs::path(testing::TempDir()) / "depth_card.obj";
  std::ofstream(obj) << "v -1 -1 0\nv 2 -1 0\nv 2 2 0\nv -1 2 0\nf 1 2 3 4\n";
  const std::string read = valueFragment(
      "qvDepthRead",
      "<float3 name='Pw' semantic='Pw' flags='varyingInputParam'/><texture2 name='fileMap'/>"
      "<sampler name='textureSampler'/>",
      "",
      "float3 qvDepthRead(float3 Pw, Texture2D fileMap, SamplerState textureSampler) {\n"
      "  float4 t = fileMap.Sample(textureSampler, Pw.xy);\n  return float3(t.x, t.y, t.w);\n}",
      "vec3 qvDepthRead(vec3 Pw, sampler2D textureSampler) {\n"
      "  vec4 t = texture(textureSampler, Pw.xy);\n  return vec3(t.x, t.y, t.w);\n}");
  ASSERT_EQ(fragments->addShadeFragmentFromBuffer(read.c_str(), false), "qvDepthRead");
  reference::add(
      {"qvDepthRead", {"float3", "texture2", "sampler"}, [](const reference::Argument* a) {
         const auto t = reference::sample(a[1].image, a[2].sampler, a[0].v[0], a[0].v[1]);
         reference::Output out;
         out.outColor = {t[0], t[1], t[3]};
         return out;
       }});
  std::string error;
  host.createNode("transform", "cam");
  host.createNode("camera", "camShape", "cam");
  ASSERT_TRUE(host.setAttr("cam.t", std::vector<double>{0.5, 0.5, 10.0}, &error)) << error;
  ASSERT_TRUE(host.setAttr("camShape.o", 1.0, &error)) << error;
  ASSERT_TRUE(host.setAttr("camShape.ow", 2.0, &error)) << error;
  host.createNode("transform", "card");
  host.createNode("mesh", "cardShape", "card");
  ASSERT_TRUE(host.setAttr("cardShape.objFile", obj.string(), &error)) << error;
  host.createNode("qvTestShader", "a");
  ASSERT_TRUE(host.setAttr("a.fragment", std::string("qvDepthRead")));
  ASSERT_TRUE(host.setAttr("a.depthMap", std::string("qvDepth")));
  ASSERT_TRUE(host.setAttr("a.mode", 2.0));
  ASSERT_TRUE(host.connectAttr("a.tint", "cardShape.surfaceColor", &error)) << error;
  // One with no texture at all, for the dump.
  host.createNode("qvTestShader", "b");
  ASSERT_TRUE(host.setAttr("b.fragment", std::string("qvDepthRead")));

  {
    Viewport viewport(host);
    viewport.refresh();
    const ShaderView* view = viewport.shader("a");
    ASSERT_EQ(view->buildError, "");
    ASSERT_EQ(view->textures.size(), 1u);
    EXPECT_EQ(view->textures.at("s1_fileMap"), "qvDepth");
    EXPECT_EQ(textureReferences("qvDepth"), 1);  // the shader's: the override gave its own back
    EXPECT_THAT(viewport.dump("a"),
                HasSubstr("  texture s1_fileMap = memory texture \"qvDepth\" 4x4 R32_FLOAT\n"));
    EXPECT_THAT(viewport.dump("a"), HasSubstr(": filter kMinMagMipPoint, address kTexClamp "
                                              "kTexClamp kTexClamp, maxAnisotropy 1\n"));
    EXPECT_THAT(viewport.dump("b"), HasSubstr("  texture s2_fileMap: not set\n"));
    EXPECT_EQ(viewport.shader("b")->unsetTextures, std::vector<std::string>{"s2_fileMap"});
    EXPECT_TRUE(viewport.shader("a")->unsetTextures.empty());
    preview::Network network;
    ASSERT_TRUE(preview::linkNetwork(viewport, "a", "tint", &network, &error)) << error;
    ASSERT_EQ(network.slots.size(), 1u);
    EXPECT_TRUE(network.slots[0].memory);
    EXPECT_EQ(network.slots[0].sampler.filter, gpu::Filter::kNearest);
    EXPECT_EQ(network.slots[0].sampler.address, gpu::Address::kClamp);

    // The texels as the preview reads them: a float one as (d, 0, 0, 1),
    // bytes over 255.
    image::Picture picture;
    ASSERT_TRUE(memoryTexturePicture("qvDepth", &picture));
    EXPECT_EQ(picture.texel(3, 1), (std::array<float, 4>{7.25f, 0.0f, 0.0f, 1.0f}));
    MHWRender::MTextureDescription desc;
    desc.setToDefault2DTexture();
    desc.fWidth = 2;
    desc.fHeight = 1;
    const unsigned char bytes[8] = {0, 51, 102, 255, 255, 204, 153, 0};
    MHWRender::MTextureManager* textures = MHWRender::MRenderer::theRenderer()->getTextureManager();
    MHWRender::MTexture* colour = textures->acquireTexture("qvColour", desc, bytes, false);
    ASSERT_TRUE(memoryTexturePicture("qvColour", &picture));
    EXPECT_EQ(picture.texel(1, 0), (std::array<float, 4>{1.0f, 0.8f, 0.6f, 0.0f}));
    textures->releaseTexture(colour);
    EXPECT_FALSE(memoryTexturePicture("qvColour", &picture));
  }

  Previews previews;
  const bool rendered = renderEveryWay(host, "cam", 8, &previews, &error);
  if (!rendered && error.find("(no Embree)") != std::string::npos) GTEST_SKIP() << error;
  ASSERT_TRUE(rendered) << error;
  EXPECT_EQ(previews.results.size(), previews.noDevice.empty() ? 3u : 1u);
  for (const auto& [how, result] : previews.results) {
    EXPECT_EQ(result.shadingPoints, 64u) << how;
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        const float d =
            0.25f + static_cast<float>(std::clamp(x - 2, 0, 3) + 4 * std::clamp(5 - y, 0, 3));
        const float* pixel = result.image.at(x, y);
        EXPECT_EQ(std::vector<float>(pixel, pixel + 4), (std::vector<float>{d, 0.0f, 1.0f, 1.0f}))
            << how << " pixel " << x << ", " << y;
      }
    }
  }
  if (!previews.noDevice.empty())
    GTEST_SKIP() << "CPU only: no Vulkan device (" << previews.noDevice << ")";
}

TEST(MImageTest, ReadsFilesBottomUpWithFourChannels) {
  const std::string png = writePng("image.png");
  MImage image;
  ASSERT_EQ(image.readFromFile(png.c_str()), MS::kSuccess);
  unsigned int width = 0, height = 0;
  EXPECT_EQ(image.getSize(width, height), MS::kSuccess);
  EXPECT_EQ(width, 4u);
  EXPECT_EQ(height, 2u);
  EXPECT_EQ(image.depth(), 4u);
  const unsigned char* pixels = image.pixels();
  for (unsigned int y = 0; y < 2; ++y) {
    for (unsigned int x = 0; x < 4; ++x) {
      const unsigned char* pixel = pixels + (y * 4 + x) * 4;
      EXPECT_EQ(pixel[0], 10 * x);
      EXPECT_EQ(pixel[1], 100 + (1 - y)) << "row " << y;
      EXPECT_EQ(pixel[3], 255);
    }
  }
  // A file without alpha reads as opaque.
  const unsigned char rgb[3] = {1, 2, 3};
  const std::string opaque = (fs::path(testing::TempDir()) / "rgb.png").string();
  ASSERT_NE(stbi_write_png(opaque.c_str(), 1, 1, 3, rgb, 3), 0);
  ASSERT_EQ(image.readFromFile(opaque.c_str()), MS::kSuccess);
  EXPECT_EQ(std::vector<unsigned char>(image.pixels(), image.pixels() + 4),
            (std::vector<unsigned char>{1, 2, 3, 255}));

  EXPECT_EQ(image.readFromFile("/no/such/file.png"), MS::kFailure);
  EXPECT_EQ(image.pixels(), nullptr);
  EXPECT_EQ(image.getSize(width, height), MS::kFailure);
}

// Rows are turned over in place; an odd count keeps its middle row.
TEST(MImageTest, OddRowCountsTurnOverAroundTheMiddle) {
  const unsigned char column[3 * 4] = {1, 0, 0, 255, 2, 0, 0, 255, 3, 0, 0, 255};
  const std::string path = (fs::path(testing::TempDir()) / "column.png").string();
  ASSERT_NE(stbi_write_png(path.c_str(), 1, 3, 4, column, 4), 0);
  MImage image;
  ASSERT_EQ(image.readFromFile(path.c_str()), MS::kSuccess);
  EXPECT_EQ(image.pixels()[0], 3);
  EXPECT_EQ(image.pixels()[4], 2);
  EXPECT_EQ(image.pixels()[8], 1);
}

// A copy owns its pixels: it outlives the image it was copied from.
TEST(MImageTest, CopiesHoldTheirOwnPixels) {
  MImage image;
  ASSERT_EQ(image.create(2, 1), MS::kSuccess);
  image.pixels()[0] = 7;
  MImage copy(image);
  ASSERT_NE(copy.pixels(), image.pixels());
  copy.pixels()[0] = 9;
  EXPECT_EQ(image.pixels()[0], 7);
  EXPECT_EQ(image.release(), MS::kSuccess);
  unsigned int width = 0, height = 0;
  EXPECT_EQ(copy.getSize(width, height), MS::kSuccess);
  EXPECT_EQ(width, 2u);
  EXPECT_EQ(copy.pixels()[0], 9);
  copy = image;
  EXPECT_EQ(copy.pixels(), nullptr);
}

// What no image reader should take is refused before anything is read: a
// folder, a header that claims more pixels than an image may have and, on
// systems that have them, a pipe (opening one without a writer would wait
// for ever).
TEST(MImageTest, RefusesWhatIsNoImageFile) {
  MImage image;
  EXPECT_EQ(image.readFromFile(testing::TempDir().c_str()), MS::kFailure);

  // An IHDR of 16384 x 16385 RGBA: a decoder would take it, the limit not.
  std::string png("\x89PNG\r\n\x1a\n", 8);
  const unsigned char header[] = {0, 0,    0, 13, 'I', 'H', 'D', 'R', 0, 0, 0x40, 0, 0,
                                  0, 0x40, 1, 8,  6,   0,   0,   0,   0, 0, 0,    0};
  png.append(reinterpret_cast<const char*>(header), sizeof header);
  const std::string forged = (fs::path(testing::TempDir()) / "forged.png").string();
  std::ofstream(forged, std::ios::binary) << png;
  EXPECT_EQ(image.readFromFile(forged.c_str()), MS::kFailure);
  EXPECT_EQ(image.pixels(), nullptr);

  // A JPEG whose Huffman tables overflow the decoder's (a fuzzer's find).
  const std::string jpeg =
      std::string(QV_SOURCE_DIR) + "/fuzz/regressions/image/jpeg_huffman_counts_over_256.jpg";
  EXPECT_EQ(image.readFromFile(jpeg.c_str()), MS::kFailure);

#if !defined(_WIN32)
  const std::string fifo = (fs::path(testing::TempDir()) / "image.fifo").string();
  fs::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(image.readFromFile(fifo.c_str()), MS::kFailure);
  fs::remove(fifo);
#endif
}

}  // namespace
}  // namespace qv::maya
