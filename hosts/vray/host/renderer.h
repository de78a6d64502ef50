// The stand-in renderer object handed to the plug-ins' hooks and shading.
#pragma once

#include "vrayrenderer.h"

namespace qv::host {
class Tracer;
}

namespace qv::vrayhost {

class StandInRenderer final : public VUtils::VRayRenderer {
 public:
  explicit StandInRenderer(int numThreads) : numThreads_(numThreads < 1 ? 1 : numThreads) {}

  int getNumThreads() const override { return numThreads_; }

  // Shadow rays are traced against tracer's objects; without one nothing
  // blocks them. The tracer must outlive the renderer's use.
  void setTracer(const host::Tracer* tracer) { tracer_ = tracer; }
  void traceRay(VUtils::VRayContext& rc) override;

  VUtils::VRayFrameData& frameData() { return frameData_; }
  const VUtils::VRayFrameData& frameData() const { return frameData_; }

 private:
  int numThreads_;
  const host::Tracer* tracer_ = nullptr;
  VUtils::VRayFrameData frameData_;
};

}  // namespace qv::vrayhost
