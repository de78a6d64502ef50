// A double-precision vector for the tests' own geometry: the oracles that
// say, independently of the hosts' tracers, what a camera ray hits and what
// a projection camera sees.
#pragma once

#include <cmath>

namespace qv::test {

struct Vec3 {
  double x, y, z;
};

inline Vec3 operator+(Vec3 a, Vec3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator*(double s, Vec3 a) {
  return {s * a.x, s * a.y, s * a.z};
}
inline double dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline Vec3 unit(Vec3 a) {
  return (1.0 / std::sqrt(dot(a, a))) * a;
}
inline double at(Vec3 a, int axis) {
  return axis == 0 ? a.x : axis == 1 ? a.y : a.z;
}

}  // namespace qv::test
