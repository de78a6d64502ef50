// qv_vpProjectorOverride driven by the stand-in's Viewport 2.0 as Maya
// drives it: fragment registration, binding by name, the sampler and the
// texture it sets, and what it holds on to.
#include "projector_test_support.h"
#include "viewport.h"

#include <maya/MPxShadingNodeOverride.h>
#include <maya/MStateManager.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace qv::vpProjector::test {
namespace {

using MHWRender::MSamplerState;
using MHWRender::MSamplerStateDesc;
using qv::maya::ShaderView;
using qv::maya::Viewport;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

const char* const kFragment = "qv_vpProjectorFragment";
const char* const kOutput = "qv_vpProjectorFragmentOutput";
const char* const kGraph = "qv_vpProjectorGraph";

bool registered(const char* fragment) {
  std::string xml;
  return qv::maya::fragmentXml(fragment, &xml);
}

// The one entry of a shader map whose resolved name stands for `parameter`.
template <typename Map>
std::string resolvedName(const Map& map, const std::string& parameter) {
  std::string found;
  for (const auto& [name, value] : map) {
    if (name.size() > parameter.size() + 1 &&
        name.compare(name.size() - parameter.size() - 1, std::string::npos, "_" + parameter) == 0) {
      EXPECT_TRUE(found.empty()) << "two names for " << parameter;
      found = name;
    }
  }
  return found;
}

class ProjectorOverrideTest : public ProjectorSession {
 protected:
  void SetUp() override {
    ProjectorSession::SetUp();
    viewport = std::make_unique<Viewport>(host);
  }

  // A draw update, then what the node's shader holds.
  const ShaderView& draw(const std::string& node) {
    viewport->refresh();
    const ShaderView* view = viewport->shader(node);
    if (view == nullptr) {
      ADD_FAILURE() << node << " has no override";
      static const ShaderView none;
      return none;
    }
    return *view;
  }

  const MSamplerStateDesc& sampler(const ShaderView& view) {
    const std::string name = resolvedName(view.samplers, "textureSampler");
    static const MSamplerStateDesc none;
    auto found = view.samplers.find(name);
    if (found == view.samplers.end()) {
      ADD_FAILURE() << "no sampler set";
      return none;
    }
    return found->second;
  }

  std::unique_ptr<Viewport> viewport;
};

TEST_F(ProjectorOverrideTest, FirstOverrideRegistersTheFragmentsAndMayaBindsTheRestByName) {
  EXPECT_FALSE(registered(kFragment));
  ASSERT_EQ(host.createNode("qv_vpProjector", "n"), "n");
  ASSERT_TRUE(host.setAttr("n.mapType", 2.0));
  ASSERT_TRUE(host.setAttr("n.colorOffset", std::vector<double>{0.25, 0.5, 1}));
  ASSERT_TRUE(host.setAttr("n.flipV", 1.0));
  const ShaderView& view = draw("n");
  EXPECT_EQ(view.fragmentName, kGraph);
  EXPECT_EQ(view.buildError, "");
  EXPECT_EQ(view.builds, 1);
  EXPECT_TRUE(registered(kFragment));
  EXPECT_TRUE(registered(kOutput));
  EXPECT_TRUE(registered(kGraph));

  const std::string sampler = resolvedName(view.samplers, "textureSampler");
  ASSERT_FALSE(sampler.empty());
  const std::string prefix =
      sampler.substr(0, sampler.size() - std::string("textureSampler").size());
  for (const char* attribute :
       {"mapType",        "r",         "g",          "b",           "a",
        "passThrough",    "invert",    "solidAlpha", "premultiply", "texWidth",
        "texHeight",      "resRatio",  "fitType",    "colorOffset", "focalLength",
        "angleOfView",    "hAperture", "vAperture",  "flipU",       "flipV",
        "placementMatrix"}) {
    EXPECT_EQ(view.parameters.count(prefix + attribute), 1u) << attribute;
  }
  EXPECT_EQ(view.parameters.at(prefix + "mapType"), "2");
  EXPECT_EQ(view.parameters.at(prefix + "colorOffset"), "0.25 0.5 1");
  EXPECT_EQ(view.parameters.at(prefix + "flipV"), "1");
  EXPECT_EQ(view.parameters.at(prefix + "r"), "1");

  MHWRender::MPxShadingNodeOverride* shading = viewport->overrideOf("n");
  ASSERT_NE(shading, nullptr);
  EXPECT_EQ(shading->supportedDrawAPIs(),
            MHWRender::kOpenGL | MHWRender::kDirectX11 | MHWRender::kOpenGLCoreProfile);
  MHWRender::MAttributeParameterMappingList mappings;
  shading->getCustomMappings(mappings);
  const char* const parameters[] = {"fileMap", "textureSampler", "depthMap", "depthSampler",
                                    "depthMapShape"};
  ASSERT_EQ(mappings.length(), 5u);
  for (unsigned int i = 0; i < 5; ++i) {
    EXPECT_EQ(mappings.getMapping(i)->parameterName(), parameters[i]);
    EXPECT_EQ(mappings.getMapping(i)->attributeName(), "");
    EXPECT_FALSE(mappings.getMapping(i)->allowConnection());
    EXPECT_TRUE(mappings.getMapping(i)->allowRename());
  }
}

TEST_F(ProjectorOverrideTest, LaterOverridesFindTheFragmentsAndRegisterNothing) {
  ASSERT_EQ(host.createNode("qv_vpProjector", "n"), "n");
  ASSERT_EQ(draw("n").fragmentName, kGraph);
  // Any registration from here on would fail and leave the node undrawn.
  host.failCall("MFragmentManager::addShadeFragmentFromBuffer");
  host.failCall("MFragmentManager::addFragmentGraphFromBuffer");
  ASSERT_EQ(host.createNode("qv_vpProjector", "m"), "m");
  const ShaderView& view = draw("m");
  EXPECT_EQ(view.fragmentName, kGraph);
  EXPECT_EQ(view.buildError, "");
  host.clearFailures();
}

TEST_F(ProjectorOverrideTest, FailedStructureRegistrationLeavesThatNodeUndrawn) {
  host.failCall("MFragmentManager::addShadeFragmentFromBuffer", 2);
  ASSERT_EQ(host.createNode("qv_vpProjector", "n"), "n");
  EXPECT_EQ(draw("n").fragmentName, "");
  EXPECT_TRUE(registered(kFragment));
  EXPECT_FALSE(registered(kOutput));
  EXPECT_FALSE(registered(kGraph));

  // The next override registers only what is missing and draws its node;
  // the first keeps the empty name it was made with.
  ASSERT_EQ(host.createNode("qv_vpProjector", "m"), "m");
  EXPECT_EQ(draw("m").fragmentName, kGraph);
  viewport->invalidateShaders();
  EXPECT_EQ(draw("n").fragmentName, "");
  EXPECT_EQ(draw("m").builds, 2);
}

TEST_F(ProjectorOverrideTest, WithoutTheRendererNothingIsRegistered) {
  qv::maya::setRendererAvailable(false);
  ASSERT_EQ(host.createNode("qv_vpProjector", "n"), "n");
  EXPECT_EQ(draw("n").fragmentName, "");
  qv::maya::setRendererAvailable(true);
  EXPECT_FALSE(registered(kFragment));
}

TEST_F(ProjectorOverrideTest, MapTypeChoosesTheSamplerAndOneStateIsHeld) {
  ASSERT_EQ(host.createNode("qv_vpProjector", "n"), "n");
  const MSamplerStateDesc defaults;
  for (int mapType : {0, 2, 0, 1}) {
    SCOPED_TRACE(mapType);
    ASSERT_TRUE(host.setAttr("n.mapType", mapType));
    const ShaderView& view = draw("n");
    EXPECT_EQ(view.samplers.size(), 2u);  // the painting's and the depth map's
    const MSamplerStateDesc& desc = sampler(view);
    const bool camera = mapType == 2;
    EXPECT_EQ(desc.filter, camera ? MSamplerState::kAnisotropic : MSamplerState::kMinMagMipLinear);
    const auto address = camera ? MSamplerState::kTexBorder : MSamplerState::kTexWrap;
    EXPECT_EQ(desc.addressU, address);
    EXPECT_EQ(desc.addressV, address);
    EXPECT_EQ(desc.addressW, address);
    EXPECT_EQ(desc.maxAnisotropy, camera ? 16u : defaults.maxAnisotropy);
    EXPECT_EQ(qv::maya::liveSamplerStates(), 2);
  }
  ASSERT_TRUE(host.deleteNode("n"));
  viewport->refresh();
  EXPECT_EQ(viewport->overrideOf("n"), nullptr);
  EXPECT_EQ(qv::maya::liveSamplerStates(), 0);
}

TEST_F(ProjectorOverrideTest, RebuiltShaderGetsItsParametersUnderTheNewNames) {
  ASSERT_EQ(host.createNode("qv_vpProjector", "n"), "n");
  ASSERT_TRUE(host.setAttr("n.fileName", writePng(distinctPicture(2, 2, 0), "rebuilt.png")));
  ASSERT_TRUE(host.setAttr("n.mapType", 2));
  const ShaderView& first = draw("n");
  const std::string samplerName = resolvedName(first.samplers, "textureSampler");
  const std::string textureName = resolvedName(first.textures, "fileMap");
  ASSERT_FALSE(samplerName.empty());
  ASSERT_FALSE(textureName.empty());

  viewport->invalidateShaders();
  const ShaderView& second = draw("n");
  EXPECT_EQ(second.builds, 2);
  const std::string newSampler = resolvedName(second.samplers, "textureSampler");
  const std::string newTexture = resolvedName(second.textures, "fileMap");
  EXPECT_FALSE(newSampler.empty());
  EXPECT_FALSE(newTexture.empty());
  EXPECT_NE(newSampler, samplerName);
  EXPECT_NE(newTexture, textureName);
  EXPECT_EQ(sampler(second).filter, MSamplerState::kAnisotropic);
}

TEST_F(ProjectorOverrideTest, TextureFollowsTheFileNameAndOnlyTheShaderHoldsIt) {
  ASSERT_EQ(host.createNode("qv_vpProjector", "n"), "n");
  EXPECT_TRUE(draw("n").textures.empty());
  EXPECT_EQ(draw("n").samplers.size(), 2u);

  const std::string path = writePng(distinctPicture(3, 2, 0), "bound.png");
  ASSERT_TRUE(host.setAttr("n.fileName", path));
  for (int update = 0; update < 2; ++update) {
    const ShaderView& view = draw("n");
    ASSERT_EQ(view.textures.size(), 1u);
    EXPECT_EQ(view.textures.begin()->second, path);
    EXPECT_EQ(qv::maya::textureReferences(path), 1);
  }

  // A name that no longer loads takes the image off the shader too.
  ASSERT_TRUE(host.setAttr("n.fileName", std::string("")));
  EXPECT_TRUE(draw("n").textures.empty());
  EXPECT_EQ(qv::maya::textureReferences(path), 0);

  ASSERT_TRUE(host.setAttr("n.fileName", path));
  EXPECT_EQ(draw("n").textures.size(), 1u);
  ASSERT_TRUE(host.deleteNode("n"));
  viewport->refresh();
  EXPECT_EQ(qv::maya::textureReferences(path), 0);
}

// The depth map the node renders of its occluders, as the override binds
// it: made from memory as a one-channel float texture that only the shader
// holds, read point-sampled and clamped, with its shape; rebuilt when a mesh
// moves, and gone when occlusion is switched off.
TEST_F(ProjectorOverrideTest, DepthMapIsUploadedWhenItChangesAndOnlyTheShaderHoldsIt) {
  // A square far wider than the view, facing a camera at the origin that
  // looks down -z (54.43 degrees across, 36.87 up: 1024 x 683 texels).
  const std::string obj = (std::filesystem::path(testing::TempDir()) / "wall.obj").string();
  std::ofstream(obj) << "v -100 -100 -5\nv 100 -100 -5\nv 100 100 -5\nv -100 100 -5\nf 1 2 3 4\n";
  ASSERT_EQ(host.createNode("transform", "cam"), "cam");
  ASSERT_EQ(host.createNode("camera", "camShape", "cam"), "camShape");
  ASSERT_EQ(host.createNode("transform", "wall"), "wall");
  ASSERT_EQ(host.createNode("mesh", "wallShape", "wall"), "wallShape");
  ASSERT_TRUE(host.setAttr("wallShape.objFile", obj));
  ASSERT_EQ(host.createNode("qv_vpProjector", "n"), "n");
  std::string error;
  ASSERT_TRUE(host.connectAttr("camShape.worldInverseMatrix", "n.placementMatrix", &error))
      << error;
  ASSERT_TRUE(host.connectAttr("wallShape.worldMesh[0]", "n.occluders[0]", &error)) << error;
  ASSERT_TRUE(host.setAttr("n.mapType", 2));

  // Nothing to bind until occlusion is on.
  const auto depthOf = [&](const ShaderView& view) {
    const std::string name = resolvedName(view.textures, "depthMap");
    return name.empty() ? std::string() : view.textures.at(name);
  };
  const auto shapeOf = [&](const ShaderView& view) {
    return view.parameters.at(resolvedName(view.parameters, "depthMapShape"));
  };
  EXPECT_EQ(depthOf(draw("n")), "");
  EXPECT_EQ(shapeOf(draw("n")), "0 0 0");

  ASSERT_TRUE(host.setAttr("n.useShadowOcclusion", 1));
  const ShaderView& view = draw("n");
  const std::string first = depthOf(view);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(shapeOf(view), "1024 683 5");
  const auto& memory = view.memoryTextures.at(resolvedName(view.textures, "depthMap"));
  EXPECT_EQ(memory.format, MHWRender::kR32_FLOAT);
  EXPECT_EQ(memory.width, 1024u);
  EXPECT_EQ(memory.height, 683u);
  const MSamplerStateDesc& point = view.samplers.at(resolvedName(view.samplers, "depthSampler"));
  EXPECT_EQ(point.filter, MSamplerState::kMinMagMipPoint);
  for (auto address : {point.addressU, point.addressV, point.addressW}) {
    EXPECT_EQ(address, MSamplerState::kTexClamp);
  }
  EXPECT_EQ(qv::maya::textureReferences(first), 1);
  qv::image::Picture texels;
  ASSERT_TRUE(qv::maya::memoryTexturePicture(first, &texels));
  EXPECT_EQ(texels.texel(0, 0)[0], 5.0f);
  EXPECT_EQ(texels.texel(1023, 682)[0], 5.0f);

  // Drawing again changes nothing: the map was not rebuilt.
  EXPECT_EQ(depthOf(draw("n")), first);
  EXPECT_EQ(qv::maya::textureReferences(first), 1);

  // Moving the wall back makes a new map; the old texture goes with the
  // shader's hold on it.
  ASSERT_TRUE(host.setAttr("wall.translateZ", -1.0));
  const std::string second = depthOf(draw("n"));
  EXPECT_NE(second, first);
  EXPECT_EQ(shapeOf(draw("n")), "1024 683 6");
  EXPECT_EQ(qv::maya::textureReferences(first), 0);
  EXPECT_EQ(qv::maya::textureReferences(second), 1);

  // A resolution out of range is clamped, with the reason.
  ASSERT_TRUE(host.setAttr("n.occlusionResolution", 0));
  CaptureStderr();
  EXPECT_EQ(shapeOf(draw("n")), "16 11 6");
  EXPECT_NE(GetCapturedStderr().find("n: occlusionResolution 0 is outside 16 to 8192; the depth "
                                     "map is 16 texels across"),
            std::string::npos);

  // Off again: nothing bound, nothing held.
  ASSERT_TRUE(host.setAttr("n.useShadowOcclusion", 0));
  EXPECT_EQ(depthOf(draw("n")), "");
  EXPECT_EQ(shapeOf(draw("n")), "0 0 0");
  EXPECT_EQ(qv::maya::textureReferences(second), 0);
}

// What an artist can get wrong: no map without a camera, a map of nothing
// when everything lies behind it, an occluder whose points overflow left
// out with the others still drawn, and no map for the UV map. Each says so
// in the shader's state, with a warning where the artist must act.
TEST_F(ProjectorOverrideTest, DepthMapBadInputLeavesAClearStateAndTheRestDrawn) {
  const std::string obj = (std::filesystem::path(testing::TempDir()) / "panel.obj").string();
  std::ofstream(obj) << "v -100 -100 -5\nv 100 -100 -5\nv 100 100 -5\nv -100 100 -5\nf 1 2 3 4\n";
  ASSERT_EQ(host.createNode("transform", "cam"), "cam");
  ASSERT_EQ(host.createNode("camera", "camShape", "cam"), "camShape");
  for (const char* name : {"wall", "huge"}) {
    ASSERT_EQ(host.createNode("transform", name), name);
    ASSERT_EQ(host.createNode("mesh", std::string(name) + "Shape", name),
              std::string(name) + "Shape");
    ASSERT_TRUE(host.setAttr(std::string(name) + "Shape.objFile", obj));
  }
  // 100 * 1e307 is beyond a double.
  ASSERT_TRUE(host.setAttr("huge.scaleX", 1e307));
  ASSERT_EQ(host.createNode("qv_vpProjector", "n"), "n");
  std::string error;
  ASSERT_TRUE(host.connectAttr("wallShape.worldMesh[0]", "n.occluders[0]", &error)) << error;
  ASSERT_TRUE(host.connectAttr("hugeShape.worldMesh[0]", "n.occluders[1]", &error)) << error;
  ASSERT_TRUE(host.setAttr("n.useShadowOcclusion", 1));
  const auto shapeOf = [&](const ShaderView& view) {
    return view.parameters.at(resolvedName(view.parameters, "depthMapShape"));
  };

  // In UV mode the tests do not apply: no map.
  EXPECT_EQ(shapeOf(draw("n")), "0 0 0");

  ASSERT_TRUE(host.setAttr("n.mapType", 2));
  CaptureStderr();
  EXPECT_EQ(shapeOf(draw("n")), "0 0 0");
  EXPECT_NE(GetCapturedStderr().find("n: useShadowOcclusion needs a camera connected into "
                                     "placementMatrix; the viewport shows no occlusion"),
            std::string::npos);

  ASSERT_TRUE(host.connectAttr("camShape.worldInverseMatrix", "n.placementMatrix", &error))
      << error;
  CaptureStderr();
  EXPECT_EQ(shapeOf(draw("n")), "1024 683 5");
  EXPECT_NE(GetCapturedStderr().find(
                "n: occluders[1] is left out of the depth map: point 0 is not finite"),
            std::string::npos);

  // Turned round, the camera sees nothing: a map, and nothing in it.
  ASSERT_TRUE(host.setAttr("cam.rotateY", 180.0));
  const ShaderView& away = draw("n");
  EXPECT_EQ(shapeOf(away), "1024 683 3.40282e+38");
  EXPECT_FALSE(resolvedName(away.textures, "depthMap").empty());
}

TEST_F(ProjectorOverrideTest, FailedOverrideRegistrationStillLoadsTheNode) {
  ASSERT_TRUE(host.unloadPlugin("qv_vpProjector"));
  host.failCall("MDrawRegistry::registerShadingNodeOverrideCreator");
  CaptureStderr();
  std::string error;
  ASSERT_TRUE(host.loadPlugin(QV_PROJECTOR_PLUGIN, &error)) << error;
  const std::string report = GetCapturedStderr();
  EXPECT_EQ(report.rfind("\nAPI error detected in ", 0), 0u) << report;
  EXPECT_NE(report.find("qv_vpProjector_002.cpp at line "), std::string::npos) << report;
  EXPECT_EQ(host.lastEntryStatus(), MS::kSuccess);
  ASSERT_EQ(host.createNode("qv_vpProjector", "n"), "n");
  viewport->refresh();
  EXPECT_TRUE(viewport->nodes().empty());
  EXPECT_TRUE(host.getAttr("n.outColor"));
}

}  // namespace
}  // namespace qv::vpProjector::test
