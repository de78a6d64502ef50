#include "shading_driver.h"

#include <atomic>
#include <thread>

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

ShadingLane::ShadingLane(VUtils::VRayRenderer& renderer, const VUtils::VRayFrameData* frameData,
                         int threadIndex, int cacheSlots)
    : slots_(cacheSlots < 1 ? 1 : cacheSlots) {
  threadData_.threadIndex = threadIndex;
  rc_.vray = &renderer;
  rc_.threadData = &threadData_;
  rc_.frameData = frameData;
}

void ShadingLane::reserve(std::size_t count) {
  stamp_ = reserveStamps(count) - 1;
  stampsLeft_ = count;
}

VUtils::VRayContext& ShadingLane::next(const ShadingPoint& point) {
  if (stampsLeft_ == 0) reserve(1024);
  --stampsLeft_;
  // 0 is never handed out: it marks an empty cache entry.
  if (++stamp_ == 0) stamp_ = 1;
  rc_.rayresult.wpoint = point.p;
  rc_.rayresult.normal = point.n;
  rc_.rayresult.surface = point.onSurface ? &point.surface : nullptr;
  rc_.cacheIndex = static_cast<int>(sequence_++ % static_cast<std::size_t>(slots_));
  rc_.cacheStamp = stamp_;
  return rc_;
}

void ShadingDriver::runThread(int threadIndex, const std::vector<ShadingPoint>& points,
                              const ShadeFn& shade) const {
  const std::size_t stride = static_cast<std::size_t>(renderer_.getNumThreads());
  const std::size_t first = static_cast<std::size_t>(threadIndex);
  const std::size_t count = first < points.size() ? (points.size() - first - 1) / stride + 1 : 0;
  // One context per thread, refilled for each point: building a context
  // (with its pooled child) cost more than the texture work of a point.
  // Shading sees it only as const, so nothing else carries over.
  ShadingLane lane(renderer_, frameData_, threadIndex, options_.cacheSlots);
  lane.reserve(count);
  for (std::size_t i = first; i < points.size(); i += stride) {
    const VUtils::VRayContext& rc = lane.next(points[i]);
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
