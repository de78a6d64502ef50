// Ray tracing against SceneObjects with Embree, shared by the stand-in hosts.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mesh.h"

namespace qv::host {

// Which triangle of which object a ray starts from, so that the ray does not
// find the surface it leaves. Object index is the position in the objects
// given to build().
struct SurfaceId {
  std::uint32_t object = 0;
  std::uint32_t triangle = 0;
};

struct Ray {
  double origin[3] = {0.0, 0.0, 0.0};
  float direction[3] = {0.0f, 0.0f, 1.0f};  // need not be unit length
  double tmin = 0.0;                        // in units of the direction's length
  double tmax = 1e30;
  const SurfaceId* skip = nullptr;  // surface the ray leaves, or null
};

struct Hit {
  double distance = 0.0;  // along the ray, in units of the direction's length
  SurfaceId surface;
  float geometricNormal[3] = {0.0f, 0.0f, 0.0f};  // unit length, world space
};

class Tracer {
 public:
  Tracer();
  ~Tracer();
  Tracer(const Tracer&) = delete;
  Tracer& operator=(const Tracer&) = delete;

  // Builds the acceleration structure. False, with a message, when an object
  // has an index out of range or Embree fails. An empty scene is valid.
  bool build(std::vector<SceneObject> objects, std::string* error);

  const std::vector<SceneObject>& objects() const;
  std::size_t triangleCount() const;

  // The light passing along the ray between tmin and tmax: 1 when nothing
  // is in the way, 0 when an opaque object is, otherwise the product of
  // (1 - opacity) over the partly transparent surfaces crossed; 1 for a ray
  // whose direction is zero or not finite. Safe to call from many threads at
  // once.
  float transmittance(const Ray& ray) const;

  // The nearest surface between tmin and tmax, whatever its opacity.
  std::optional<Hit> intersect(const Ray& ray) const;
  // The same without the geometric normal, which stays zero: for callers
  // that need only where the ray stops, spared reading the triangle.
  std::optional<Hit> nearestSurface(const Ray& ray) const;

  // The triangle that p lies on (within tolerance), if any: what a shading
  // point given only by its position was hit on.
  std::optional<SurfaceId> surfaceAt(const double p[3], double tolerance) const;

 private:
  std::optional<Hit> nearest(const Ray& ray, bool withNormal) const;

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qv::host
