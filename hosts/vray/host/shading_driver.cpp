#include "shading_driver.h"

#include <thread>

namespace qv::vrayhost {

void ShadingDriver::runThread(int threadIndex, const std::vector<ShadingPoint>& points,
                              const ShadeFn& shade) const {
  const std::size_t stride = static_cast<std::size_t>(renderer_.getNumThreads());
  const int slots = options_.cacheSlots < 1 ? 1 : options_.cacheSlots;
  VUtils::VRayThreadData threadData;
  threadData.threadIndex = threadIndex;
  uint32 stamp = 0;
  for (std::size_t i = static_cast<std::size_t>(threadIndex); i < points.size(); i += stride) {
    // Each new shading point gets a fresh stamp; 0 is never handed out.
    if (++stamp == 0) stamp = 1;
    VUtils::VRayContext rc;
    rc.vray = &renderer_;
    rc.threadData = &threadData;
    rc.frameData = &renderer_.frameData();
    rc.rayresult.wpoint = points[i].p;
    rc.rayresult.normal = points[i].n;
    rc.cacheIndex = static_cast<int>(i / stride % static_cast<std::size_t>(slots));
    rc.cacheStamp = stamp;
    for (int ask = 0; ask < options_.asksPerPoint; ++ask) shade(rc, i, ask);
  }
}

void ShadingDriver::run(const std::vector<ShadingPoint>& points, const ShadeFn& shade) const {
  const int numThreads = renderer_.getNumThreads();
  if (numThreads == 1) {
    runThread(0, points, shade);
    return;
  }
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(numThreads));
  for (int t = 0; t < numThreads; ++t) {
    threads.emplace_back([this, t, &points, &shade] { runThread(t, points, shade); });
  }
  for (std::thread& thread : threads) thread.join();
}

}  // namespace qv::vrayhost
