// Rays for the tracer's tests, from an origin in double precision and a
// direction in single, as the hosts hand them to the tracer.
#pragma once

#include "tracer.h"

namespace qv::host::test {

inline Ray ray(double ox, double oy, double oz, float dx, float dy, float dz) {
  Ray r;
  r.origin[0] = ox;
  r.origin[1] = oy;
  r.origin[2] = oz;
  r.direction[0] = dx;
  r.direction[1] = dy;
  r.direction[2] = dz;
  return r;
}

}  // namespace qv::host::test
