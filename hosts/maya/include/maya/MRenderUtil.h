#pragma once

#include <maya/MStatus.h>
#include <maya/MString.h>
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
};
