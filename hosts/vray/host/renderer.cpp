#include "renderer.h"

#include "tracer.h"

namespace qv::vrayhost {

host::Ray shadowRay(const VUtils::VRayContext& rc) {
  const VUtils::VRayRayParams& params = rc.rayparams;
  host::Ray ray;
  ray.origin[0] = params.rayOrigin.x;
  ray.origin[1] = params.rayOrigin.y;
  ray.origin[2] = params.rayOrigin.z;
  // A texture has just stored the direction a float at a time. Read as
  // floats, each takes its value straight from its store; the compiler's own
  // copy reads two of them as one wider word, which must wait for both
  // stores to reach the cache.
  const volatile float& dx = params.viewDir.x;
  const volatile float& dy = params.viewDir.y;
  const volatile float& dz = params.viewDir.z;
  ray.direction[0] = dx;
  ray.direction[1] = dy;
  ray.direction[2] = dz;
  ray.tmin = params.mint;
  ray.tmax = params.maxt;
  ray.skip = static_cast<const host::SurfaceId*>(rc.rayresult.surface);
  return ray;
}

void StandInRenderer::traceRay(VUtils::VRayContext& rc) {
  const int thread = rc.threadData ? rc.threadData->threadIndex : -1;
  if (thread >= 0 && thread < numThreads_) {
    // Only this render thread writes its count: no need for a locked add.
    std::atomic<std::uint64_t>& rays = rayCounts_[static_cast<std::size_t>(thread)].rays;
    rays.store(rays.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  } else {
    rayCounts_[static_cast<std::size_t>(numThreads_)].rays.fetch_add(1, std::memory_order_relaxed);
  }
  // The tracer lets all light along a ray without a (finite) direction: it
  // covers no distance, so nothing can block it.
  const float light = tracer_ ? tracer_->transmittance(shadowRay(rc)) : 1.0f;
  rc.mtlresult.color = VUtils::Color(light, light, light);
}

std::uint64_t StandInRenderer::tracedRays() const {
  std::uint64_t total = 0;
  for (int i = 0; i <= numThreads_; ++i) {
    total += rayCounts_[static_cast<std::size_t>(i)].rays.load(std::memory_order_relaxed);
  }
  return total;
}

}  // namespace qv::vrayhost
