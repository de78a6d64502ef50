#include <cstdint>
#include <cstring>

#include "hash_mix.h"
#include "vrayrenderer.h"

namespace VUtils {

namespace {

using qv::host::mixBits;

// A spawned context nobody pools: it frees itself when released.
class HeapSpawnedContext final : public VRayContext {
 public:
  HeapSpawnedContext(const VRayContext& parent, int type, const ShadeVec& dir) {
    initSpawned(parent, type, dir);
  }
  void releaseContext() override { delete this; }
};

std::uint64_t bitsOf(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Hashes the shading point and the index: every (point, index) pair gets its
// own uniformly distributed value, the same on every run and thread.
class PointHashSampler final : public VRayRenderSampler {
 public:
  float getSample(const VRayContext& rc, int index) override {
    const TracePoint& p = rc.rayresult.wpoint;
    std::uint64_t h = mixBits(bitsOf(p.x) + 0x9e3779b97f4a7c15ULL);
    h = mixBits(h ^ bitsOf(p.y));
    h = mixBits(h ^ bitsOf(p.z));
    h = mixBits(h ^ static_cast<std::uint32_t>(index));
    return static_cast<float>(h >> 40) * (1.0f / 16777216.0f);
  }
};

}  // namespace

VRayRenderer::~VRayRenderer() = default;

void VRayRenderer::traceRay(VRayContext& rc) {
  rc.mtlresult.color = Color(1.0f, 1.0f, 1.0f);
}

VRayRenderSampler* VRayRenderer::getSampler() {
  static PointHashSampler sampler;
  return &sampler;
}

VRayContext::~VRayContext() = default;

void VRayContext::initSpawned(const VRayContext& parent, int type, const ShadeVec& dir) {
  vray = parent.vray;
  threadData = parent.threadData;
  frameData = parent.frameData;
  extension = nullptr;
  rayresult = parent.rayresult;
  mtlresult = VRayMtlResult();
  rayType = type;
  rayparams = VRayRayParams();
  rayparams.viewDir = dir;
  rayparams.rayOrigin = parent.rayresult.wpoint;
  rayparams.tracedRay.p = rayparams.rayOrigin;
  rayparams.tracedRay.dir = dir;
  rayparams.maxt = 1e30;
  // Textures evaluated for a secondary ray must not answer from, or fill,
  // the caches of the shading point that spawned it.
  rayparams.rayFlags = RT_NO_CACHE;
  cacheIndex = parent.cacheIndex;
  cacheStamp = parent.cacheStamp;
}

VRayContext* VRayContext::newSpawnContext(int, const Color&, int rayType,
                                          const ShadeVec& dir) const {
  return new HeapSpawnedContext(*this, rayType, dir);
}

void VRayContext::releaseContext() {}

}  // namespace VUtils
