// Texture file names, found as Maya finds them: as given, then along the
// texture search path.
#include "graph.h"

#include <maya/MFloatVector.h>
#include <maya/MRenderUtil.h>
#include <maya/MString.h>

#include <cmath>
#include <cstdint>
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

namespace {

constexpr unsigned int kNoiseCubeSide = 32;

// The table is made once from a fixed seed, so that every node and every
// shader that reads it, on the CPU or in a texture, sees the same noise.
const std::vector<float>& noiseTable() {
  static const std::vector<float> table = [] {
    std::vector<float> values(kNoiseCubeSide * kNoiseCubeSide * kNoiseCubeSide);
    std::uint64_t state = 0x9e3779b97f4a7c15ull;
    for (float& value : values) {
      // splitmix64: well spread bits from a counter.
      state += 0x9e3779b97f4a7c15ull;
      std::uint64_t z = state;
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
      z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
      z ^= z >> 31;
      value = static_cast<float>(static_cast<double>(z >> 11) / 9007199254740992.0 * 2.0 - 1.0);
    }
    return values;
  }();
  return table;
}

}  // namespace

unsigned int MRenderUtil::noiseTableSize() {
  return static_cast<unsigned int>(noiseTable().size());
}

unsigned int MRenderUtil::noiseTableCubeSide() {
  return kNoiseCubeSide;
}

float MRenderUtil::valueInNoiseTable(unsigned int index) {
  const std::vector<float>& table = noiseTable();
  return table[index % table.size()];
}
