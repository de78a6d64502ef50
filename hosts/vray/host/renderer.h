// The stand-in renderer object handed to the plug-ins' hooks and shading.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "vrayrenderer.h"

#include "tracer.h"

namespace qv::vrayhost {

// The ray a texture asks traceRay for, as the host's tracer takes it: from
// the context's ray parameters, skipping the surface the ray leaves.
host::Ray shadowRay(const VUtils::VRayContext& rc);

class StandInRenderer final : public VUtils::VRayRenderer {
 public:
  explicit StandInRenderer(int numThreads)
      : numThreads_(numThreads < 1 ? 1 : numThreads),
        rayCounts_(new RayCount[static_cast<std::size_t>(numThreads_) + 1]) {}

  int getNumThreads() const override { return numThreads_; }

  // Shadow rays are traced against tracer's objects; without one nothing
  // blocks them. The tracer must outlive the renderer's use.
  void setTracer(const host::Tracer* tracer) { tracer_ = tracer; }
  void traceRay(VUtils::VRayContext& rc) override;

  // Rays traced through traceRay so far, by every thread.
  std::uint64_t tracedRays() const;

  VUtils::VRayFrameData& frameData() { return frameData_; }
  const VUtils::VRayFrameData& frameData() const { return frameData_; }

 private:
  // One count per render thread, each on its own cache line, and one for
  // contexts that name no render thread.
  struct alignas(64) RayCount {
    std::atomic<std::uint64_t> rays{0};
  };

  int numThreads_;
  std::unique_ptr<RayCount[]> rayCounts_;
  const host::Tracer* tracer_ = nullptr;
  VUtils::VRayFrameData frameData_;
};

}  // namespace qv::vrayhost
