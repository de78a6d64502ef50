#include "painting.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace qv::example {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Hit {
  double distance = std::numeric_limits<double>::infinity();
  Vec3 point{};
  int axis = -1;      // the axis the hit face is normal to
  double sign = 0.0;  // which way along it the face looks
  int surface = -1;   // 0 ground, 1 + building index, or the occluder
};

std::uint32_t hash(std::int64_t a, std::int64_t b, std::uint32_t seed) {
  std::uint64_t h = static_cast<std::uint64_t>(a) * 0x9E3779B97F4A7C15ull ^
                    static_cast<std::uint64_t>(b) * 0xC2B2AE3D27D4EB4Full ^ seed;
  h ^= h >> 31;
  h *= 0xBF58476D1CE4E5B9ull;
  h ^= h >> 29;
  return static_cast<std::uint32_t>(h);
}

double jitter(std::int64_t a, std::int64_t b, std::uint32_t seed) {
  return (hash(a, b, seed) & 0xffff) / 65535.0;
}

void hitBox(const Box& box, const Vec3& origin, const Vec3& dir, int surface, Hit* best) {
  double near = -std::numeric_limits<double>::infinity();
  double far = std::numeric_limits<double>::infinity();
  int axis = -1;
  double sign = 0.0;
  for (int a = 0; a < 3; ++a) {
    if (dir[a] == 0.0) {
      if (origin[a] < box.min[a] || origin[a] > box.max[a]) return;
      continue;
    }
    double t0 = (box.min[a] - origin[a]) / dir[a];
    double t1 = (box.max[a] - origin[a]) / dir[a];
    double facing = -1.0;
    if (t0 > t1) {
      std::swap(t0, t1);
      facing = 1.0;
    }
    if (t0 > near) {
      near = t0;
      axis = a;
      sign = facing;
    }
    far = std::min(far, t1);
  }
  if (near > far || near <= 0.0 || near >= best->distance) return;
  best->distance = near;
  for (int a = 0; a < 3; ++a) best->point[a] = origin[a] + near * dir[a];
  best->axis = axis;
  best->sign = sign;
  best->surface = surface;
}

// Paving: stones of half a metre with grout, each a shade of its own.
std::array<double, 3> paving(const Vec3& p) {
  const double u = p[0] * 2.0, v = p[2] * 2.0;
  const auto iu = static_cast<std::int64_t>(std::floor(u));
  const auto iv = static_cast<std::int64_t>(std::floor(v));
  const double fu = u - iu, fv = v - iv;
  if (fu < 0.06 || fv < 0.06) return {0.22, 0.21, 0.2};
  const double shade = 0.45 + 0.25 * jitter(iu, iv, 1);
  return {shade * 1.05, shade, shade * 0.9};
}

// Brick courses of 0.25 m, bricks of 0.5 m set half a brick apart, and a
// window in each bay of every storey above the ground floor.
std::array<double, 3> facade(double across, double height, int building) {
  static const std::array<double, 3> base[] = {
      {0.62, 0.3, 0.22}, {0.7, 0.55, 0.3}, {0.5, 0.52, 0.6}};
  const auto& tint = base[building % 3];
  const double bay = across - std::floor(across);
  const double storey = height - std::floor(height);
  if (height > 1.0 && bay > 0.3 && bay < 0.7 && storey > 0.25 && storey < 0.8) {
    const bool lit = jitter(static_cast<std::int64_t>(std::floor(across)),
                            static_cast<std::int64_t>(std::floor(height)), 7) > 0.6;
    if (bay < 0.34 || bay > 0.66 || storey < 0.29 || storey > 0.76) return {0.9, 0.88, 0.8};
    return lit ? std::array<double, 3>{0.95, 0.8, 0.35} : std::array<double, 3>{0.1, 0.14, 0.2};
  }
  const auto course = static_cast<std::int64_t>(std::floor(height * 4.0));
  const double along = across * 2.0 + (course % 2 ? 0.5 : 0.0);
  const auto brick = static_cast<std::int64_t>(std::floor(along));
  if (along - brick < 0.05 || height * 4.0 - course < 0.08) return {0.78, 0.76, 0.7};
  const double shade = 0.8 + 0.35 * jitter(brick, course, 3 + building);
  return {tint[0] * shade, tint[1] * shade, tint[2] * shade};
}

std::array<double, 3> sky(double up) {
  const double t = std::clamp(up, 0.0, 1.0);
  return {0.95 - 0.6 * t, 0.7 - 0.25 * t, 0.5 + 0.4 * t};
}

std::array<double, 3> shade(const Scene& scene, const Hit& hit, const Vec3& dir) {
  if (hit.surface < 0) return sky(dir[1] * 3.0);
  if (hit.surface == 0) return paving(hit.point);
  // Walls take their pattern along the wall; roofs are tar with a rim.
  const Vec3& p = hit.point;
  const double light = hit.axis == 1 ? 0.75 : (hit.axis == 0 ? 0.9 : 1.0);
  std::array<double, 3> colour;
  const int index = hit.surface - 1;
  if (index == static_cast<int>(scene.buildings.size())) {
    const bool stripe = static_cast<std::int64_t>(std::floor(p[1] * 3.0)) % 2 == 0;
    colour =
        stripe ? std::array<double, 3>{0.15, 0.4, 0.2} : std::array<double, 3>{0.85, 0.85, 0.8};
  } else if (hit.axis == 1) {
    colour = {0.16, 0.15, 0.17};
  } else {
    colour = facade(hit.axis == 0 ? p[2] : p[0], p[1], index);
  }
  for (double& c : colour) c = std::clamp(c * light, 0.0, 1.0);
  return colour;
}

}  // namespace

image::Rgba paint(const Scene& scene) {
  const Camera& camera = scene.projection;
  const auto frame = cameraToWorld(camera);
  const double halfWidth = std::tan(camera.horizontalFovDeg * kPi / 360.0);
  const double halfHeight = halfWidth * camera.height / camera.width;
  const Box ground{"ground",
                   {-scene.groundHalfSize, -1.0, -scene.groundHalfSize},
                   {scene.groundHalfSize, 0.0, scene.groundHalfSize}};
  image::Rgba painting(camera.width, camera.height);
  for (int y = 0; y < camera.height; ++y) {
    for (int x = 0; x < camera.width; ++x) {
      // Through the pixel's centre; row 0 is the top of the painting.
      const double sx = (2.0 * (x + 0.5) / camera.width - 1.0) * halfWidth;
      const double sy = (1.0 - 2.0 * (y + 0.5) / camera.height) * halfHeight;
      Vec3 dir;
      for (int a = 0; a < 3; ++a) dir[a] = sx * frame[0][a] + sy * frame[1][a] - frame[2][a];
      Hit hit;
      hitBox(ground, camera.position, dir, 0, &hit);
      for (size_t b = 0; b < scene.buildings.size(); ++b) {
        hitBox(scene.buildings[b], camera.position, dir, static_cast<int>(b) + 1, &hit);
      }
      hitBox(scene.occluder, camera.position, dir, static_cast<int>(scene.buildings.size()) + 1,
             &hit);
      const auto colour = shade(scene, hit, dir);
      float* pixel = painting.at(x, y);
      for (int c = 0; c < 3; ++c)
        pixel[c] = static_cast<float>(std::round(colour[c] * 255.0) / 255.0);
      pixel[3] = 1.0f;
    }
  }
  return painting;
}

}  // namespace qv::example
