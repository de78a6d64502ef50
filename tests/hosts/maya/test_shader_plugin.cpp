// A texture node with a Viewport 2.0 shading override, loaded from disk like
// the real viewport plug-ins: it registers its fragments, sets a texture and a
// sampler the fragment has no attribute for, and keeps a log of the calls
// Maya makes, so that tests can check what the viewport drives and when.
// Given a depthMap name it sets a texture it makes from memory instead of
// the file: 4 x 4 R32_FLOAT, texel (x, y) of row y (row 0 first, at v = 0)
// holding 0.25 + x + 4y.
#include <maya/MDrawRegistry.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnPlugin.h>
#include <maya/MFnStringData.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MFragmentManager.h>
#include <maya/MPxShadingNodeOverride.h>
#include <maya/MRenderUtil.h>
#include <maya/MShaderManager.h>
#include <maya/MStateManager.h>
#include <maya/MTextureManager.h>
#include <maya/MViewport2Renderer.h>

#include <string>

namespace {

std::string callLog;

const char* const kFragment = R"(<fragment uiName="qvTestFragment" name="qvTestFragment"
    type="plumbing" class="ShadeFragment" version="1.0">
  <description><![CDATA[Tinted texture]]></description>
  <properties>
    <float2 name="uvCoord" semantic="mayaUvCoordSemantic" flags="varyingInputParam" />
    <float name="gain" />
    <float3 name="tint" />
    <int name="mode" />
    <texture2 name="fileMap" />
    <sampler name="textureSampler" />
  </properties>
  <values></values>
  <outputs><float3 name="outColor" /></outputs>
  <implementation>
    <implementation render="OGSRenderer" language="Cg" lang_version="2.1">
      <function_name val="qvTestFragment" />
      <source><![CDATA[float3 qvTestFragment(float2 uv, float gain, float3 tint, int mode,
    texture2D fileMap, sampler2D textureSampler) { return gain * tint; }]]></source>
    </implementation>
  </implementation>
</fragment>)";

const char* const kGraph = R"(<fragment_graph name="qvTestGraph" ref="qvTestGraph"
    class="FragmentGraph" version="1.0">
  <fragments><fragment_ref name="tex" ref="qvTestFragment" /></fragments>
  <connections></connections>
  <properties>
    <float2 name="uvCoord" ref="tex.uvCoord" semantic="mayaUvCoordSemantic" />
    <float name="gain" ref="tex.gain" />
    <float3 name="tint" ref="tex.tint" />
    <int name="mode" ref="tex.mode" />
    <texture2 name="fileMap" ref="tex.fileMap" />
    <sampler name="textureSampler" ref="tex.textureSampler" />
  </properties>
  <values></values>
  <outputs><float3 name="outColor" ref="tex.outColor" /></outputs>
</fragment_graph>)";

const MString kDrawClassification("drawdb/shader/texture/2d/qvTestShader");
const MString kRegistrant("qvTestShader");
// Drawn by the same override, for node types of others; never deregistered,
// as by a careless plug-in, so that the host has to drop it on unload.
const MString kForeignClassification("drawdb/shader/texture/2d/qvTestShaderForeign");

}  // namespace

extern "C" PLUGIN_EXPORT const char* qvTestShaderLog() {
  return callLog.c_str();
}

class qvTestShader : public MPxNode {
 public:
  static void* creator() { return new qvTestShader; }
  static MStatus initialize();

  static MTypeId id;
};

MTypeId qvTestShader::id(0x0013FF02);

MStatus qvTestShader::initialize() {
  MFnNumericAttribute numeric;
  MObject gain = numeric.create("gain", "gn", MFnNumericData::kFloat, 1.0);
  MObject tint = numeric.createColor("tint", "tn");
  numeric.setDefault(0.5f, 0.25f, 1.0f);
  MObject mode = numeric.create("mode", "md", MFnNumericData::kInt, 0);
  MFnTypedAttribute typed;
  MFnStringData text;
  MObject fileName = typed.create("fileName", "fn", MFnData::kString, text.create(""));
  // Which fragment the override names, so that tests can point it elsewhere.
  MObject fragment = typed.create("fragment", "fr", MFnData::kString, text.create("qvTestGraph"));
  MObject depthMap = typed.create("depthMap", "dm", MFnData::kString, text.create(""));
  for (const MObject* attribute : {&gain, &tint, &mode, &fileName, &fragment, &depthMap}) {
    MStatus status = addAttribute(*attribute);
    if (!status) return status;
  }
  return MS::kSuccess;
}

class qvTestShaderOverride : public MHWRender::MPxShadingNodeOverride {
 public:
  static MHWRender::MPxShadingNodeOverride* creator(const MObject& node) {
    return new qvTestShaderOverride(node);
  }

  explicit qvTestShaderOverride(const MObject& node) : MPxShadingNodeOverride(node), node_(node) {
    MHWRender::MRenderer* renderer = MHWRender::MRenderer::theRenderer();
    MHWRender::MFragmentManager* fragments = renderer ? renderer->getFragmentManager() : nullptr;
    if (!fragments) return;
    if (!fragments->hasFragment("qvTestFragment"))
      fragments->addShadeFragmentFromBuffer(kFragment, false);
    if (!fragments->hasFragment("qvTestGraph")) fragments->addFragmentGraphFromBuffer(kGraph);
  }

  ~qvTestShaderOverride() override { MHWRender::MStateManager::releaseSamplerState(sampler_); }

  MHWRender::DrawAPI supportedDrawAPIs() const override {
    return MHWRender::DrawAPI(MHWRender::kOpenGL | MHWRender::kDirectX11 |
                              MHWRender::kOpenGLCoreProfile);
  }

  MString fragmentName() const override {
    callLog += "fragmentName ";
    return MFnDependencyNode(node_).findPlug("fragment").asString();
  }

  void getCustomMappings(MHWRender::MAttributeParameterMappingList& mappings) override {
    callLog += "getCustomMappings ";
    mappings.append(MHWRender::MAttributeParameterMapping("fileMap", "", false, true));
    mappings.append(MHWRender::MAttributeParameterMapping("textureSampler", "", false, true));
  }

  void updateDG() override {
    callLog += "updateDG ";
    MFnDependencyNode node(node_);
    MRenderUtil::exactFileTextureName(node.findPlug("fileName").asString(), false, "", file_);
    depthMap_ = node.findPlug("depthMap").asString();
    MHWRender::MSamplerStateDesc desc;
    if (node.findPlug("mode").asInt() == 1) {
      desc.filter = MHWRender::MSamplerState::kAnisotropic;
      desc.addressU = desc.addressV = desc.addressW = MHWRender::MSamplerState::kTexBorder;
      desc.maxAnisotropy = 16;
    } else if (node.findPlug("mode").asInt() == 2) {
      // As a depth map is read: no filtering, no wrapping.
      desc.filter = MHWRender::MSamplerState::kMinMagMipPoint;
      desc.addressU = desc.addressV = desc.addressW = MHWRender::MSamplerState::kTexClamp;
    }
    const MHWRender::MSamplerState* previous = sampler_;
    sampler_ = MHWRender::MStateManager::acquireSamplerState(desc);
    MHWRender::MStateManager::releaseSamplerState(previous);
  }

  void updateShader(MHWRender::MShaderInstance& shader,
                    const MHWRender::MAttributeParameterMappingList& mappings) override {
    callLog += "updateShader ";
    const auto* sampler = mappings.findByParameterName("textureSampler");
    const auto* texture = mappings.findByParameterName("fileMap");
    if (!sampler || !texture) return;
    if (sampler_) shader.setParameter(sampler->resolvedParameterName(), *sampler_);
    MHWRender::MRenderer* renderer = MHWRender::MRenderer::theRenderer();
    MHWRender::MTextureManager* textures = renderer ? renderer->getTextureManager() : nullptr;
    if (!textures) return;
    MHWRender::MTextureAssignment assignment;
    if (depthMap_.length() > 0) {
      float depths[4][4];
      for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) depths[y][x] = 0.25f + static_cast<float>(x + 4 * y);
      }
      MHWRender::MTextureDescription desc;
      desc.setToDefault2DTexture();
      desc.fWidth = desc.fHeight = 4;
      desc.fFormat = MHWRender::kR32_FLOAT;
      assignment.texture = textures->acquireTexture(depthMap_, desc, depths, false);
    } else {
      assignment.texture = textures->acquireTexture(file_, 0);
    }
    if (!assignment.texture) return;
    shader.setParameter(texture->resolvedParameterName(), assignment);
    textures->releaseTexture(assignment.texture);
  }

 private:
  MObject node_;
  MString file_;
  MString depthMap_;
  const MHWRender::MSamplerState* sampler_ = nullptr;
};

PLUGIN_EXPORT MStatus initializePlugin(MObject obj) {
  MFnPlugin plugin(obj, "Qavel Works, LLC", "1.0", "Any");
  const MString classification = MString("texture/2d:") + kDrawClassification;
  MStatus status =
      plugin.registerNode("qvTestShader", qvTestShader::id, qvTestShader::creator,
                          qvTestShader::initialize, MPxNode::kDependNode, &classification);
  if (!status) return status;
  status = MHWRender::MDrawRegistry::registerShadingNodeOverrideCreator(
      kDrawClassification, kRegistrant, qvTestShaderOverride::creator);
  if (status) {
    status = MHWRender::MDrawRegistry::registerShadingNodeOverrideCreator(
        kForeignClassification, kRegistrant, qvTestShaderOverride::creator);
  }
  if (!status) plugin.deregisterNode(qvTestShader::id);
  return status;
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj) {
  MFnPlugin plugin(obj);
  MHWRender::MDrawRegistry::deregisterShadingNodeOverrideCreator(kDrawClassification, kRegistrant);
  return plugin.deregisterNode(qvTestShader::id);
}
