// qv_vpProjectorOverride: the Viewport 2.0 shading of a qv_vpProjector node.
// The first override in a Maya session registers the three shade fragments;
// Maya binds every fragment parameter named like a node attribute by itself,
// and the override sets the two that have no attribute: the texture loaded
// from fileName and a sampler that suits mapType.
#pragma once

#include <maya/MObject.h>
#include <maya/MPxShadingNodeOverride.h>
#include <maya/MStateManager.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MViewport2Renderer.h>

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

  MString fragmentName_;
  MObject node_;
  MString resolvedFileName_;
  const MHWRender::MSamplerState* samplerState_ = nullptr;
  // Maya renames parameters whenever it rebuilds the shader, which it
  // announces by asking for the fragment name again: these are forgotten
  // there, in a const call, and looked up anew by the next updateShader.
  mutable MString resolvedTextureName_;
  mutable MString resolvedSamplerName_;
};
