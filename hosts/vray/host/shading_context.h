// The stand-in's shading context. It lends out one spawned context at a
// time without allocating, as a renderer's per-thread pools do; a second
// spawn while the first is out falls back to the heap.
#pragma once

#include "vrayrenderer.h"

namespace qv::vrayhost {

class ShadingContext final : public VUtils::VRayContext {
 public:
  ShadingContext() = default;
  ShadingContext(const ShadingContext& other) : VRayContext(other) {}
  ShadingContext& operator=(const ShadingContext& other) {
    VRayContext::operator=(other);
    return *this;
  }

  VRayContext* newSpawnContext(int kind, const VUtils::Color& weight, int rayType,
                               const VUtils::ShadeVec& dir) const override {
    if (child_.inUse) return VRayContext::newSpawnContext(kind, weight, rayType, dir);
    child_.spawnFrom(*this, rayType, dir);
    return &child_;
  }

 private:
  class PooledChild final : public VUtils::VRayContext {
   public:
    void spawnFrom(const VRayContext& parent, int rayType, const VUtils::ShadeVec& dir) {
      initSpawned(parent, rayType, dir);
      inUse = true;
    }
    void releaseContext() override { inUse = false; }
    bool inUse = false;
  };

  mutable PooledChild child_;
};

}  // namespace qv::vrayhost
