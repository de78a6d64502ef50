#include "example_scene.h"

#include <cmath>

namespace qv::example {
namespace {

Vec3 sub(const Vec3& a, const Vec3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3 normalized(const Vec3& v) {
  const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  return {v[0] / length, v[1] / length, v[2] / length};
}

constexpr double kPi = 3.14159265358979323846;

}  // namespace

std::array<Vec3, 4> cameraToWorld(const Camera& camera) {
  const Vec3 z = normalized(sub(camera.position, camera.target));
  const Vec3 x = normalized(cross({0.0, 1.0, 0.0}, z));
  const Vec3 y = cross(z, x);
  return {x, y, z, camera.position};
}

double verticalFovDeg(const Camera& camera) {
  const double halfWidth = std::tan(camera.horizontalFovDeg * kPi / 360.0);
  return 360.0 / kPi * std::atan(halfWidth * camera.height / camera.width);
}

const Scene& scene() {
  static const Scene example = {
      20.0,
      {
          {"hall", {-5.0, 0.0, -4.0}, {-1.0, 0.0 + 5.0, 0.0}},
          {"shed", {1.5, 0.0, -5.0}, {5.0, 3.0, -1.5}},
          {"tower", {-1.5, 0.0, -11.0}, {1.5, 8.0, -8.0}},
      },
      {"pole", {-2.6, 0.0, 6.0}, {-1.8, 6.0, 6.8}},
      {"projectionCam", {0.0, 3.5, 14.0}, {0.0, 2.5, -4.0}, 54.0, 640, 360},
      {"renderCam", {13.0, 7.0, 17.0}, {-1.0, 2.0, -3.0}, 55.0, 640, 360},
      "painting.png",
      {0.35, 0.38, 0.45},
      80.0,
      24,
      0.15,
  };
  return example;
}

}  // namespace qv::example
