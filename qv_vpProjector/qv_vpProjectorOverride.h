// qv_vpProjectorOverride: the Viewport 2.0 shading of a qv_vpProjector node.
// The first override in a Maya session registers the three shade fragments;
// Maya binds every fragment parameter named like a node attribute by itself,
// and the override sets the two that have no attribute: the texture loaded
// from fileName and a sampler that suits mapType. For the occlusion test it
// also binds the node's depth map, uploaded from memory whenever the node
// has built a new one, with the map's shape.
#pragma once

#include "depth_map.h"

#include <maya/MObject.h>
#include <maya/MPxShadingNodeOverride.h>
#include <maya/MStateManager.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MViewport2Renderer.h>

#include <memory>

namespace MHWRender {
class MShaderInstance;
}

class qv_vpProjectorOverride : public MHWRender::MPxShadingNodeOverride {
 public:
  static MHWRender::MPxShadingNodeOverride* creator(const MObject& obj);

  // What the entry points register the creator under.
  static const MString drawClassification;
  static const MString registrantId;
  static MStatus registerCreator();
  static MStatus deregisterCreator();

  ~qv_vpProjectorOverride() override;

  MHWRender::DrawAPI supportedDrawAPIs() const override;
  MString fragmentName() const override;
  void getCustomMappings(MHWRender::MAttributeParameterMappingList& mappings) override;
  void updateDG() override;
  void updateShader(MHWRender::MShaderInstance& shader,
                    const MHWRender::MAttributeParameterMappingList& mappings) override;

 private:
  explicit qv_vpProjectorOverride(const MObject& obj);

  // Acquires first, so that an unchanged description keeps its state alive.
  void holdSamplerState(const MHWRender::MSamplerStateDesc& desc);
  // Takes the node's depth map when occlusionMapId says it changed.
  void followDepthMap();
  void bindDepthMap(MHWRender::MShaderInstance& shader);

  MString fragmentName_;
  MObject node_;
  MString resolvedFileName_;
  const MHWRender::MSamplerState* samplerState_ = nullptr;
  // Maya renames parameters whenever it rebuilds the shader, which it
  // announces by asking for the fragment name again: these are forgotten
  // there, in a const call, and looked up anew by the next updateShader.
  mutable MString resolvedTextureName_;
  mutable MString resolvedSamplerName_;
  // The depth map the shader tests occlusion against, by the node's number
  // for it (0: none), and the point-sampling, clamping state it is read
  // with.
  int depthMapId_ = 0;
  std::shared_ptr<const qv::vpProjector::DepthMap> depthMap_;
  const MHWRender::MSamplerState* depthSamplerState_ = nullptr;
  mutable MString resolvedDepthMapName_;
  mutable MString resolvedDepthSamplerName_;
  mutable MString resolvedDepthShapeName_;
};
