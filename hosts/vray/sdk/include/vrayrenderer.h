// The renderer and the shading context that V-Ray hands to a texture.
#pragma once

#include "vraybase.h"

namespace VUtils {

// Ray flag that tells textures not to use (or fill) their per-context caches.
enum : uint32 { RT_NO_CACHE = 0x400000 };

class VRayRenderer {
 public:
  virtual ~VRayRenderer() {}
  // Number of render threads that may shade at once; thread indices run from
  // 0 to getNumThreads() - 1.
  virtual int getNumThreads() const = 0;
};

// Per-render-thread data that a shading context points to.
struct VRayThreadData {
  int threadIndex = 0;
};

struct VRayRayParams {
  uint32 rayFlags = 0;
};

struct VRayRayResult {
  TracePoint wpoint;              // hit point, render space
  ShadeVec normal;                // shading normal, as given
  const void* surface = nullptr;  // host's record of the surface that was hit
};

// Per-frame data of the renderer.
struct VRayFrameData {
  TracePoint frameOffset;  // render space + frameOffset = world space
};

// The host's per-shading-point object. A texture keys its caches on the
// render-thread index, the cache entry index and the cache stamp; the host
// never hands out stamp 0, and gives the same (index, stamp) pair only when it
// asks again for the same shading point.
class VRayContext {
 public:
  virtual ~VRayContext() {}

  VRayRenderer* vray = nullptr;
  const VRayThreadData* threadData = nullptr;
  const VRayFrameData* frameData = nullptr;
  VRayRayParams rayparams;
  VRayRayResult rayresult;
  int cacheIndex = 0;
  uint32 cacheStamp = 1;
};

}  // namespace VUtils
