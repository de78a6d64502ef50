#include "shading_driver.h"

#include <atomic>
#include <thread>

#include "shading_context.h"

namespace qv::vrayhost {

namespace {

// Stamps keep counting from one run to the next, whichever driver or renderer
// runs it: a texture keeps its cache for the whole frame, so a run that
// started again from 1 would hand a new point the (index, stamp) pair of a
// point shaded earlier in the frame and be answered with that point's colour.
std::atomic<uint32> nextStamp{1};

// The first of count consecutive stamps that no other run is handed.
uint32 reserveStamps(std::size_t count) {
  return nextStamp.fetch_add(static_cast<uint32>(count), std::memory_order_relaxed);
}

}  // namespace

void ShadingDriver::runThread(int threadIndex, const std::vector<ShadingPoint>& points,
                              const ShadeFn& shade) const {
  const std::size_t stride = static_cast<std::size_t>(renderer_.getNumThreads());
  const int slots = options_.cacheSlots < 1 ? 1 : options_.cacheSlots;
  VUtils::VRayThreadData threadData;
  threadData.threadIndex = threadIndex;
  const std::size_t first = static_cast<std::size_t>(threadIndex);
  const std::size_t count = first < points.size() ? (points.size() - first - 1) / stride + 1 : 0;
  uint32 stamp = reserveStamps(count) - 1;
  // One context per thread, refilled for each point: building a context
  // (with its pooled child) cost more than the texture work of a point.
  // Shading sees it only as const, so nothing else carries over.
  ShadingContext rc;
  rc.vray = &renderer_;
  rc.threadData = &threadData;
  rc.frameData = frameData_;
  for (std::size_t i = first; i < points.size(); i += stride) {
    // Each new shading point gets a fresh stamp; 0 is never handed out.
    if (++stamp == 0) stamp = 1;
    rc.rayresult.wpoint = points[i].p;
    rc.rayresult.normal = points[i].n;
    rc.rayresult.surface = points[i].onSurface ? &points[i].surface : nullptr;
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
  // The calling thread shades the first share itself: one thread fewer to
  // start and join on every run.
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(numThreads - 1));
  for (int t = 1; t < numThreads; ++t) {
    threads.emplace_back([this, t, &points, &shade] { runThread(t, points, shade); });
  }
  runThread(0, points, shade);
  for (std::thread& thread : threads) thread.join();
}

}  // namespace qv::vrayhost
