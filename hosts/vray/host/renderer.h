// The stand-in renderer object handed to the plug-ins' hooks.
#pragma once

#include "vrayrenderer.h"

namespace qv::vrayhost {

class StandInRenderer final : public VUtils::VRayRenderer {
 public:
  explicit StandInRenderer(int numThreads) : numThreads_(numThreads < 1 ? 1 : numThreads) {}

  int getNumThreads() const override { return numThreads_; }

  VUtils::VRayFrameData& frameData() { return frameData_; }
  const VUtils::VRayFrameData& frameData() const { return frameData_; }

 private:
  int numThreads_;
  VUtils::VRayFrameData frameData_;
};

}  // namespace qv::vrayhost
