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
// own uniformly distributed value, the same on every run and thread. A
// texture asks for all the samples of one point in a row, so each thread
// keeps the hash of the point it last saw and mixes in only the index.
class PointHashSampler final : public VRayRenderSampler {
 public:
  float getSample(const VRayContext& rc, int index) override {
    const TracePoint& p = rc.rayresult.wpoint;
    const std::uint64_t x = bitsOf(p.x), y = bitsOf(p.y), z = bitsOf(p.z);
    PointSeed& last = lastPoint;
    if (!last.known || last.x != x || last.y != y || last.z != z) {
      last = {x, y, z, mixBits(mixBits(mixBits(x + 0x9e3779b97f4a7c15ULL) ^ y) ^ z), true};
    }
    const std::uint64_t h = mixBits(last.seed ^ static_cast<std::uint32_t>(index));
    return static_cast<float>(h >> 40) * (1.0f / 16777216.0f);
  }

 private:
  struct PointSeed {
    std::uint64_t x, y, z;  // the point's bits
    std::uint64_t seed;
    bool known;
  };
  static thread_local PointSeed lastPoint;
};

// The host library is loaded with the process, so its thread-local block can
// sit at a fixed offset from the thread pointer rather than be looked up on
// every sample.
#if defined(__ELF__) && (defined(__GNUC__) || defined(__clang__))
#define QV_HOST_TLS __attribute__((tls_model("initial-exec")))
#else
#define QV_HOST_TLS
#endif

thread_local PointHashSampler::PointSeed PointHashSampler::lastPoint QV_HOST_TLS{};

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
