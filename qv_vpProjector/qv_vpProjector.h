// qv_vpProjector: a 2D texture node that shows an image file in Viewport 2.0,
// by UV, by a spherical projection or projected through a camera. The
// projection itself is drawn by the viewport shader, which reads the node's
// attributes by name; compute() only loads the image, copies the projection
// camera's field of view and film fit into the node, and gives a plain
// nearest-pixel UV lookup for everything that is not the viewport.
//
// With camera projection and useShadowOcclusion on, compute also renders
// the depth of the meshes connected into `occluders` as the projection
// camera sees them, for the viewport shader's occlusion test; the shading
// override uploads it whenever occlusionMapId says it is a new one.
#pragma once

#include "depth_map.h"

#include <maya/MImage.h>
#include <maya/MObject.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>

#include <cstdint>
#include <memory>
#include <mutex>

class MDataBlock;
class MPlug;
class MPlugArray;

class qv_vpProjector : public MPxNode {
 public:
  qv_vpProjector() = default;
  ~qv_vpProjector() override = default;

  static void* creator();
  static MStatus initialize();
  void postConstructor() override;
  MStatus compute(const MPlug& plug, MDataBlock& data) override;
  MStatus setDependentsDirty(const MPlug& plugBeingDirtied, MPlugArray& affectedPlugs) override;

  static const MTypeId id;
  static const MString typeName;
  static const MString classification;

  static MObject fileName;
  static MObject uvCoord;
  static MObject uCoord;
  static MObject vCoord;
  static MObject resRatio;
  static MObject fitType;
  static MObject mapType;
  static MObject r;
  static MObject g;
  static MObject b;
  static MObject a;
  static MObject passThrough;
  static MObject invert;
  static MObject solidAlpha;
  static MObject premultiply;
  static MObject texWidth;
  static MObject texHeight;
  static MObject colorOffset;
  static MObject focalLength;
  static MObject angleOfView;
  static MObject hAperture;
  static MObject vAperture;
  static MObject flipU;
  static MObject flipV;
  static MObject placementMatrix;
  static MObject outColor;
  static MObject outTransparency;
  static MObject outAlpha;
  // The render's visibility tests, under the visibility node's names.
  static MObject useFacingRatio;
  static MObject angleThreshold;
  static MObject distanceThreshold;
  static MObject useShadowOcclusion;
  static MObject dilate;
  static MObject softEdge;
  static MObject power;
  // The viewport's own: what can hide a point from the camera, and how the
  // depth map of it is made and compared.
  static MObject occluders;
  static MObject occlusionBias;
  static MObject occlusionResolution;
  // Output: a number that changes whenever compute builds a new depth map,
  // 0 while there is none.
  static MObject occlusionMapId;

  // Resolutions beyond these are clamped, with a warning.
  static constexpr int kMinOcclusionResolution = 16;
  static constexpr int kMaxOcclusionResolution = 8192;

  // The depth map that occlusionMapId numbers, or null.
  std::shared_ptr<const qv::vpProjector::DepthMap> depthMap() const;

 private:
  MStatus computeOcclusionMap(const MPlug& plug, MDataBlock& data);
  void warn(const MString& what) const;

  // Loads fileName into the cache when it is empty; texWidth/texHeight follow.
  void loadImage(MDataBlock& data);

  MImage image_;
  uint64_t width_ = 0;
  uint64_t height_ = 0;
  // Written by compute, read by the shading override on Maya's main thread.
  mutable std::mutex mapMutex_;
  std::shared_ptr<const qv::vpProjector::DepthMap> depthMap_;
};
