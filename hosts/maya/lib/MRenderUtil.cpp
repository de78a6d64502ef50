// Texture file names, found as Maya finds them: as given, then along the
// texture search path.
#include "graph.h"

#include <maya/MFloatVector.h>
#include <maya/MRenderUtil.h>
#include <maya/MString.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

bool MRenderUtil::exactFileTextureName(const MString& fileName, bool, const MString&,
                                       MString& exactName, MStatus* ReturnStatus) {
  namespace fs = std::filesystem;
  if (ReturnStatus) *ReturnStatus = MS::kSuccess;
  exactName = "";
  const std::string name = fileName.asChar();
  if (name.empty()) return false;
  std::vector<fs::path> candidates = {name};
  if (fs::path(name).is_relative()) {
    for (const std::string& folder : qv::maya::detail::graph().textureSearchPath) {
      candidates.push_back(fs::path(folder) / name);
    }
  }
  for (const fs::path& candidate : candidates) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) {
      exactName = candidate.string().c_str();
      return true;
    }
  }
  return false;
}

bool MRenderUtil::exactFileTextureName(const MString& baseName, bool useFrameExt,
                                       const MString& currentFrameExt, const MString&,
                                       MString& exactName, MStatus* ReturnStatus) {
  return exactFileTextureName(baseName, useFrameExt, currentFrameExt, exactName, ReturnStatus);
}

MString MRenderUtil::exactFileTextureName(const MString& baseName, bool useFrameExt,
                                          const MString& currentFrameExt, MStatus* ReturnStatus) {
  MString exactName;
  exactFileTextureName(baseName, useFrameExt, currentFrameExt, exactName, ReturnStatus);
  return exactName;
}

MString MRenderUtil::exactFileTextureName(const MString& baseName, bool useFrameExt,
                                          const MString& currentFrameExt,
                                          const MString& contextNodeFullName,
                                          MStatus* ReturnStatus) {
  MString exactName;
  exactFileTextureName(baseName, useFrameExt, currentFrameExt, contextNodeFullName, exactName,
                       ReturnStatus);
  return exactName;
}

MStatus MRenderUtil::raytrace(const MFloatVector&, const MFloatVector&, const void*, const void*,
                              const short, MFloatVector&, MFloatVector&, const bool) {
  return MS::kFailure;
}

// The cosine between light and normal; a light behind the surface counts
// only where it lights back faces.
float MRenderUtil::diffuseReflectance(const void*, const MFloatVector& lightDirection,
                                      const MFloatVector&, const MFloatVector& normal,
                                      bool lightBackFace, MStatus* ReturnStatus) {
  if (ReturnStatus) *ReturnStatus = MS::kSuccess;
  const float cosine = lightDirection.normal() * normal.normal();
  return lightBackFace ? std::fabs(cosine) : cosine;
}

MFloatVector MRenderUtil::maximumSpecularReflection(const void*, const MFloatVector& lightDirection,
                                                    const MFloatVector&, const MFloatVector&,
                                                    const MFloatVector&, MStatus* ReturnStatus) {
  if (ReturnStatus) *ReturnStatus = MS::kSuccess;
  return lightDirection;
}

float MRenderUtil::lightAttenuation(const void*, const MFloatVector&, const MFloatVector&, bool,
                                    MStatus* ReturnStatus) {
  if (ReturnStatus) *ReturnStatus = MS::kSuccess;
  return 1.0f;
}
