// Texture file names, found as Maya finds them: as given, then along the
// texture search path.
#include "graph.h"

#include <maya/MRenderUtil.h>

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
