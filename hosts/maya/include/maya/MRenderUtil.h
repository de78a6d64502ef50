#pragma once

#include <maya/MStatus.h>
#include <maya/MString.h>

class MRenderUtil {
 public:
  // The file a texture node's file name stands for: true and the path in
  // exactName when such a file exists.
  static bool exactFileTextureName(const MString& fileName, bool useFrameExt,
                                   const MString& currentFrameExt, MString& exactName,
                                   MStatus* ReturnStatus = nullptr);
};
