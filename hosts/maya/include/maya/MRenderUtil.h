#pragma once

#include <maya/MStatus.h>
#include <maya/MTypes.h>

class MRenderUtil {
 public:
  // The file a texture node's file name stands for: true and the path in
  // exactName when such a file exists.
  static bool exactFileTextureName(const MString& fileName, bool useFrameExt,
                                   const MString& currentFrameExt, MString& exactName,
                                   MStatus* ReturnStatus = nullptr);
  // The node whose file it is gives the context Maya resolves the name in;
  // the stand-in resolves every name alike.
  static bool exactFileTextureName(const MString& baseName, bool useFrameExt,
                                   const MString& currentFrameExt,
                                   const MString& contextNodeFullName, MString& exactName,
                                   MStatus* ReturnStatus = nullptr);
  // The same, as the name alone: "" when no such file exists.
  static MString exactFileTextureName(const MString& baseName, bool useFrameExt,
                                      const MString& currentFrameExt,
                                      MStatus* ReturnStatus = nullptr);
  static MString exactFileTextureName(const MString& baseName, bool useFrameExt,
                                      const MString& currentFrameExt,
                                      const MString& contextNodeFullName,
                                      MStatus* ReturnStatus = nullptr);

  // What Maya's software renderer offers a shading node while it renders.
  // The stand-in renders nothing in software: no ray is traced, and a light
  // is taken as a directional one whatever its blind data.
  static MStatus raytrace(const MFloatVector& rayOrigin, const MFloatVector& rayDirection,
                          const void* objectId, const void* raySampler, const short rayDepth,
                          MFloatVector& resultColor, MFloatVector& resultTransparency,
                          const bool isReflectedRays = true);
  static float diffuseReflectance(const void* lightBlindData, const MFloatVector& lightDirection,
                                  const MFloatVector& pointCamera, const MFloatVector& normal,
                                  bool lightBackFace, MStatus* ReturnStatus = nullptr);
  static MFloatVector maximumSpecularReflection(const void* lightBlindData,
                                                const MFloatVector& lightDirection,
                                                const MFloatVector& pointCamera,
                                                const MFloatVector& normal,
                                                const MFloatVector& rayDirection,
                                                MStatus* ReturnStatus = nullptr);
  static float lightAttenuation(const void* lightBlindData, const MFloatVector& pointCamera,
                                const MFloatVector& normal, bool lightBackFace,
                                MStatus* ReturnStatus = nullptr);

  // The noise table Maya's procedural textures share: a cube of values
  // between -1 and 1, read by index.
  static unsigned int noiseTableSize();
  static unsigned int noiseTableCubeSide();
  static float valueInNoiseTable(unsigned int index);
};
