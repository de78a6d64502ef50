#include "qv_vpProjectorOverride.h"

#include "qv_vpProjector.h"

#include <maya/MDGContext.h>
#include <maya/MDrawRegistry.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFragmentManager.h>
#include <maya/MPlug.h>
#include <maya/MRenderUtil.h>
#include <maya/MShaderManager.h>
#include <maya/MTextureManager.h>

namespace qv::vpProjector {
// The fragment documents, compiled in from the .xml files beside this one.
extern const char qv_vpProjectorFragment_xml[];
extern const char qv_vpProjectorFragmentOutput_xml[];
extern const char qv_vpProjectorGraph_xml[];
}  // namespace qv::vpProjector

const MString qv_vpProjectorOverride::drawClassification("drawdb/shader/texture/2d/qv_vpProjector");
const MString qv_vpProjectorOverride::registrantId("qv_vpProjector");

namespace {

using MHWRender::MSamplerState;
using MHWRender::MSamplerStateDesc;

struct FragmentNames {
  MString fragment{"qv_vpProjectorFragment"};
  MString output{"qv_vpProjectorFragmentOutput"};
  MString graph{"qv_vpProjectorGraph"};
};

// Built once, before any fragment call, and never written again: overrides
// created on other threads only read them.
const FragmentNames& fragmentNames() {
  static const FragmentNames names;
  return names;
}

// Camera projections read the border outside the image, so nothing of it
// shows beyond the frame; UV and spherical maps tile.
MSamplerStateDesc samplerFor(int mapType) {
  MSamplerStateDesc desc;
  if (mapType == 2) {
    desc.filter = MSamplerState::kAnisotropic;
    desc.addressU = desc.addressV = desc.addressW = MSamplerState::kTexBorder;
    desc.maxAnisotropy = 16;
  } else {
    desc.filter = MSamplerState::kMinMagMipLinear;
    desc.addressU = desc.addressV = desc.addressW = MSamplerState::kTexWrap;
  }
  return desc;
}

}  // namespace

MHWRender::MPxShadingNodeOverride* qv_vpProjectorOverride::creator(const MObject& obj) {
  return new qv_vpProjectorOverride(obj);
}

MStatus qv_vpProjectorOverride::registerCreator() {
  return MHWRender::MDrawRegistry::registerShadingNodeOverrideCreator(drawClassification,
                                                                      registrantId, creator);
}

MStatus qv_vpProjectorOverride::deregisterCreator() {
  return MHWRender::MDrawRegistry::deregisterShadingNodeOverrideCreator(drawClassification,
                                                                        registrantId);
}

qv_vpProjectorOverride::qv_vpProjectorOverride(const MObject& obj)
    : MPxShadingNodeOverride(obj), node_(obj) {
  const FragmentNames& names = fragmentNames();
  MHWRender::MRenderer* renderer = MHWRender::MRenderer::theRenderer(true);
  if (renderer == nullptr) return;
  MHWRender::MFragmentManager* fragments = renderer->getFragmentManager();
  if (fragments == nullptr) return;

  // All three are asked before any is registered.
  const bool hadFragment = fragments->hasFragment(names.fragment);
  const bool hadOutput = fragments->hasFragment(names.output);
  const bool hadGraph = fragments->hasFragment(names.graph);
  const bool haveFragment =
      hadFragment || fragments->addShadeFragmentFromBuffer(
                         qv::vpProjector::qv_vpProjectorFragment_xml, false) == names.fragment;
  const bool haveOutput =
      hadOutput || fragments->addShadeFragmentFromBuffer(
                       qv::vpProjector::qv_vpProjectorFragmentOutput_xml, false) == names.output;
  const bool haveGraph = hadGraph || fragments->addFragmentGraphFromBuffer(
                                         qv::vpProjector::qv_vpProjectorGraph_xml) == names.graph;
  if (haveFragment && haveOutput && haveGraph) fragmentName_ = names.graph;
}

qv_vpProjectorOverride::~qv_vpProjectorOverride() {
  if (samplerState_ != nullptr) MHWRender::MStateManager::releaseSamplerState(samplerState_);
  samplerState_ = nullptr;
  if (depthSamplerState_ != nullptr) {
    MHWRender::MStateManager::releaseSamplerState(depthSamplerState_);
  }
  depthSamplerState_ = nullptr;
}

MHWRender::DrawAPI qv_vpProjectorOverride::supportedDrawAPIs() const {
  return static_cast<MHWRender::DrawAPI>(MHWRender::kOpenGL | MHWRender::kDirectX11 |
                                         MHWRender::kOpenGLCoreProfile);
}

MString qv_vpProjectorOverride::fragmentName() const {
  resolvedTextureName_ = "";
  resolvedSamplerName_ = "";
  resolvedDepthMapName_ = "";
  resolvedDepthSamplerName_ = "";
  resolvedDepthShapeName_ = "";
  return fragmentName_;
}

void qv_vpProjectorOverride::getCustomMappings(
    MHWRender::MAttributeParameterMappingList& mappings) {
  mappings.append(MHWRender::MAttributeParameterMapping("fileMap", "", false, true));
  mappings.append(MHWRender::MAttributeParameterMapping("textureSampler", "", false, true));
  mappings.append(MHWRender::MAttributeParameterMapping("depthMap", "", false, true));
  mappings.append(MHWRender::MAttributeParameterMapping("depthSampler", "", false, true));
  mappings.append(MHWRender::MAttributeParameterMapping("depthMapShape", "", false, true));
}

void qv_vpProjectorOverride::holdSamplerState(const MSamplerStateDesc& desc) {
  const MSamplerState* state = MHWRender::MStateManager::acquireSamplerState(desc);
  if (samplerState_ != nullptr) MHWRender::MStateManager::releaseSamplerState(samplerState_);
  samplerState_ = state;
}

void qv_vpProjectorOverride::updateDG() {
  MStatus status;
  MFnDependencyNode node(node_, &status);
  if (!status) return;
  MString file;
  node.findPlug("fileName", true).getValue(file, MDGContext::fsNormal);
  // A name that no longer resolves must not leave the previous image bound.
  if (!MRenderUtil::exactFileTextureName(file, false, "", resolvedFileName_)) {
    resolvedFileName_ = "";
  }

  MSamplerStateDesc desc;
  MFnDependencyNode samplerNode(node_, &status);
  if (status) {
    int mapType = 0;
    samplerNode.findPlug("mapType", true).getValue(mapType, MDGContext::fsNormal);
    desc = samplerFor(mapType);
  }
  holdSamplerState(desc);
  followDepthMap();
}

void qv_vpProjectorOverride::followDepthMap() {
  MStatus status;
  MFnDependencyNode node(node_, &status);
  if (!status) return;
  // Reading the number has the node build the map first, where a mesh, the
  // camera or a setting changed since.
  int id = 0;
  if (!node.findPlug("occlusionMapId", true).getValue(id, MDGContext::fsNormal)) id = 0;
  if (id == depthMapId_) return;
  depthMapId_ = id;
  depthMap_.reset();
  const auto* projector = dynamic_cast<const qv_vpProjector*>(node.userNode());
  if (id != 0 && projector != nullptr) depthMap_ = projector->depthMap();
}

void qv_vpProjectorOverride::bindDepthMap(MHWRender::MShaderInstance& shader) {
  if (depthSamplerState_ == nullptr) {
    MSamplerStateDesc desc;
    desc.filter = MSamplerState::kMinMagMipPoint;
    desc.addressU = desc.addressV = desc.addressW = MSamplerState::kTexClamp;
    depthSamplerState_ = MHWRender::MStateManager::acquireSamplerState(desc);
  }
  if (depthSamplerState_ != nullptr)
    shader.setParameter(resolvedDepthSamplerName_, *depthSamplerState_);

  const qv::vpProjector::DepthMap* map =
      depthMap_ && !depthMap_->depths.empty() ? depthMap_.get() : nullptr;
  MHWRender::MTexture* texture = nullptr;
  MHWRender::MRenderer* renderer = MHWRender::MRenderer::theRenderer(true);
  MHWRender::MTextureManager* textures = renderer ? renderer->getTextureManager() : nullptr;
  if (map != nullptr && textures != nullptr) {
    MHWRender::MTextureDescription desc;
    desc.setToDefault2DTexture();
    desc.fWidth = static_cast<unsigned int>(map->width);
    desc.fHeight = static_cast<unsigned int>(map->height);
    desc.fBytesPerRow = desc.fWidth * static_cast<unsigned int>(sizeof(float));
    desc.fBytesPerSlice = desc.fBytesPerRow * desc.fHeight;
    desc.fFormat = MHWRender::kR32_FLOAT;
    // Named by the map's number: a new map is a new texture, and the one
    // before goes when the shader lets go of it. The same number finds the
    // texture already made.
    const MString name = MString("qv_vpProjectorDepthMap") + depthMapId_;
    texture = textures->acquireTexture(name, desc, map->depths.data(), false);
  }
  MHWRender::MTextureAssignment assignment;
  assignment.texture = texture;
  shader.setParameter(resolvedDepthMapName_, assignment);
  if (texture != nullptr) textures->releaseTexture(texture);
  // A width of 0 tells the shader there is no map to test against.
  float shape[3] = {0.0f, 0.0f, 0.0f};
  if (texture != nullptr) {
    shape[0] = static_cast<float>(map->width);
    shape[1] = static_cast<float>(map->height);
    shape[2] = map->nearest;
  }
  shader.setParameter(resolvedDepthShapeName_, shape);
}

void qv_vpProjectorOverride::updateShader(
    MHWRender::MShaderInstance& shader, const MHWRender::MAttributeParameterMappingList& mappings) {
  if (resolvedTextureName_.length() == 0) {
    const MHWRender::MAttributeParameterMapping* mapping = mappings.findByParameterName("fileMap");
    if (mapping != nullptr) resolvedTextureName_ = mapping->resolvedParameterName();
  }
  if (resolvedSamplerName_.length() == 0) {
    const MHWRender::MAttributeParameterMapping* mapping =
        mappings.findByParameterName("textureSampler");
    if (mapping != nullptr) resolvedSamplerName_ = mapping->resolvedParameterName();
  }
  const struct {
    const char* parameter;
    MString* resolved;
  } depthParameters[] = {{"depthMap", &resolvedDepthMapName_},
                         {"depthSampler", &resolvedDepthSamplerName_},
                         {"depthMapShape", &resolvedDepthShapeName_}};
  bool depthNamed = true;
  for (const auto& parameter : depthParameters) {
    if (parameter.resolved->length() == 0) {
      const MHWRender::MAttributeParameterMapping* mapping =
          mappings.findByParameterName(parameter.parameter);
      if (mapping != nullptr) *parameter.resolved = mapping->resolvedParameterName();
    }
    depthNamed = depthNamed && parameter.resolved->length() != 0;
  }
  if (depthNamed) bindDepthMap(shader);
  if (resolvedTextureName_.length() == 0 || resolvedSamplerName_.length() == 0) return;

  int mapType = 0;
  MStatus status;
  MFnDependencyNode node(node_, &status);
  if (!status || !node.findPlug("mapType", true).getValue(mapType, MDGContext::fsNormal)) {
    mapType = 0;
  }
  holdSamplerState(samplerFor(mapType));
  if (samplerState_ != nullptr) shader.setParameter(resolvedSamplerName_, *samplerState_);

  MHWRender::MRenderer* renderer = MHWRender::MRenderer::theRenderer(true);
  if (renderer == nullptr) return;
  MHWRender::MTextureManager* textures = renderer->getTextureManager();
  if (textures == nullptr) return;
  MHWRender::MTexture* texture = textures->acquireTexture(resolvedFileName_, 0, true, "", -1);
  // Assigned even when there is none: the shader would otherwise go on
  // showing the image of a file name that has since been cleared, or no
  // longer loads.
  MHWRender::MTextureAssignment assignment;
  assignment.texture = texture;
  shader.setParameter(resolvedTextureName_, assignment);
  // The shader holds its own reference from here on.
  if (texture != nullptr) textures->releaseTexture(texture);
}
