// Runs shading the way the renderer does: every render thread shades its own
// share of the points at once, with its own thread index and cache stamps,
// and asks each point's context more than once (a material reads a texture
// for several of its components), so per-thread caches see real traffic.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "renderer.h"
#include "shading_context.h"
#include "tracer.h"

namespace qv::vrayhost {

struct ShadingPoint {
  VUtils::TracePoint p;
  VUtils::ShadeVec n;
  // The surface the point lies on, so that rays leaving it skip it.
  bool onSurface = false;
  host::SurfaceId surface;
};

struct ShadingOptions {
  int asksPerPoint = 2;  // how often the same context is shaded
  int cacheSlots = 4;    // entry indices cycle through 0 .. cacheSlots - 1
};

// One render thread's shading: its thread data, one context refilled for
// each shading point, and the entry index and stamp rules. Each new point
// gets a stamp that no other point of the process has had, so that a
// texture's per-thread cache never answers it with another point's colour;
// its entry index cycles through the cache slots.
class ShadingLane {
 public:
  ShadingLane(VUtils::VRayRenderer& renderer, const VUtils::VRayFrameData* frameData,
              int threadIndex, int cacheSlots);
  ShadingLane(const ShadingLane&) = delete;
  ShadingLane& operator=(const ShadingLane&) = delete;

  // Takes stamps for the next count points in one go; a lane that runs out
  // takes more by itself, so this only saves it the trips.
  void reserve(std::size_t count);

  // The context for the next shading point: its hit and surface (point must
  // outlive the shading), a fresh stamp and the next entry index. The ray
  // members are the caller's to set; they keep what the previous point left.
  VUtils::VRayContext& next(const ShadingPoint& point);

 private:
  VUtils::VRayThreadData threadData_;
  ShadingContext rc_;
  int slots_;
  std::size_t sequence_ = 0;
  uint32 stamp_ = 0;
  std::size_t stampsLeft_ = 0;
};

class ShadingDriver {
 public:
  // Called for every ask; index is the point's position in the input.
  using ShadeFn = std::function<void(const VUtils::VRayContext& rc, std::size_t index, int ask)>;

  explicit ShadingDriver(StandInRenderer& renderer, ShadingOptions options = {})
      : renderer_(renderer), frameData_(&renderer.frameData()), options_(options) {}
  // Any renderer; contexts carry frameData, which may be null.
  ShadingDriver(VUtils::VRayRenderer& renderer, const VUtils::VRayFrameData* frameData,
                ShadingOptions options = {})
      : renderer_(renderer), frameData_(frameData), options_(options) {}

  // Shades points on renderer.getNumThreads() threads and returns when all
  // are done. Thread t shades points t, t + N, t + 2N, ...
  void run(const std::vector<ShadingPoint>& points, const ShadeFn& shade) const;

 private:
  void runThread(int threadIndex, const std::vector<ShadingPoint>& points,
                 const ShadeFn& shade) const;

  VUtils::VRayRenderer& renderer_;
  const VUtils::VRayFrameData* frameData_;
  ShadingOptions options_;
};

}  // namespace qv::vrayhost
