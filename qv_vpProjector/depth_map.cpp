#include "depth_map.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>

namespace qv::vpProjector {
namespace {

using Vec3 = std::array<double, 3>;

// Depths closer than this to the camera are cut off: a point on the
// camera's own plane has no place in its view.
constexpr double kNearDepth = 1e-6;

Vec3 sub(const Vec3& a, const Vec3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double dot(const Vec3& a, const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Where the edge from a to b crosses the near plane (depth is -z).
Vec3 nearCrossing(const Vec3& a, const Vec3& b) {
  const double t = (kNearDepth + a[2]) / (a[2] - b[2]);
  return {a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), -kNearDepth};
}

// The part of the triangle in front of the near plane: none, or a triangle
// or quadrilateral, corners in the triangle's order.
int clipToNear(const Vec3 (&corners)[3], Vec3 (&out)[4]) {
  int count = 0;
  for (int k = 0; k < 3; ++k) {
    const Vec3& a = corners[k];
    const Vec3& b = corners[(k + 1) % 3];
    const bool aIn = -a[2] >= kNearDepth;
    const bool bIn = -b[2] >= kNearDepth;
    if (aIn) out[count++] = a;
    if (aIn != bIn) out[count++] = nearCrossing(a, b);
  }
  return count;
}

}  // namespace

std::array<int, 2> depthMapSize(const DepthProjection& projection, int resolution) {
  const int width = std::max(resolution, 1);
  const double rows = std::round(width * projection.tanHalfHeight / projection.tanHalfWidth);
  const int height =
      std::isfinite(rows) ? static_cast<int>(std::clamp(rows, 1.0, static_cast<double>(width))) : 1;
  return {width, height};
}

DepthMapBuilder::DepthMapBuilder(const DepthProjection& projection) : projection_(projection) {}

bool DepthMapBuilder::addMesh(const std::vector<std::array<double, 3>>& points,
                              const std::vector<std::array<int, 3>>& triangles, std::string* why) {
  for (std::size_t k = 0; k < points.size(); ++k) {
    const auto& p = points[k];
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
      *why = "point " + std::to_string(k) + " is not finite";
      return false;
    }
  }
  const auto count = static_cast<long long>(points.size());
  for (std::size_t t = 0; t < triangles.size(); ++t) {
    for (int index : triangles[t]) {
      if (index < 0 || index >= count) {
        *why = "triangle " + std::to_string(t) + " names point " + std::to_string(index) + " of " +
               std::to_string(count);
        return false;
      }
    }
  }
  const auto& m = projection_.worldToCamera;
  const auto base = static_cast<std::uint32_t>(points_.size());
  points_.reserve(points_.size() + points.size());
  for (const auto& p : points) {
    Vec3 c{};
    for (int k = 0; k < 3; ++k) c[k] = p[0] * m[0][k] + p[1] * m[1][k] + p[2] * m[2][k] + m[3][k];
    points_.push_back(c);
  }
  triangles_.reserve(triangles_.size() + triangles.size());
  for (const auto& t : triangles) {
    triangles_.push_back({base + static_cast<std::uint32_t>(t[0]),
                          base + static_cast<std::uint32_t>(t[1]),
                          base + static_cast<std::uint32_t>(t[2])});
  }
  return true;
}

std::vector<DepthMapBuilder::Projected> DepthMapBuilder::project(int width, int height) const {
  const double tanX = projection_.tanHalfWidth, tanY = projection_.tanHalfHeight;
  const double w = width, h = height;
  std::vector<Projected> projected(points_.size());
  for (std::size_t k = 0; k < points_.size(); ++k) {
    projected[k] = {texelsOf(points_[k], tanX, tanY, w, h), -points_[k][2] >= kNearDepth};
  }
  return projected;
}

std::array<double, 2> DepthMapBuilder::texelsOf(const std::array<double, 3>& c, double tanX,
                                                double tanY, double w, double h) {
  // Texel space: x across from the left edge, y down from the top, one
  // texel a unit; texel (i, j) has its centre at (i + 0.5, j + 0.5).
  const double depth = -c[2];
  return {(c[0] / depth / tanX + 1.0) * 0.5 * w, (1.0 - c[1] / depth / tanY) * 0.5 * h};
}

void DepthMapBuilder::drawRows(int width, int height, int firstRow, int endRow,
                               const std::vector<Projected>& projected, float* depths) const {
  const double tanX = projection_.tanHalfWidth, tanY = projection_.tanHalfHeight;
  const double w = width, h = height;
  const double lastRow = static_cast<double>(endRow) - 1.0;
  for (const auto& triangle : triangles_) {
    std::array<double, 2> p[4];
    int count = 3;
    const Projected& a = projected[triangle[0]];
    const Projected& b = projected[triangle[1]];
    const Projected& c = projected[triangle[2]];
    const Vec3 corners[3] = {points_[triangle[0]], points_[triangle[1]], points_[triangle[2]]};
    if (a.inFront && b.inFront && c.inFront) {
      // Most triangles: wholly in front, and most of them nowhere near a
      // texel centre of these rows.
      const double minY = std::min({a.texels[1], b.texels[1], c.texels[1]});
      const double maxY = std::max({a.texels[1], b.texels[1], c.texels[1]});
      const double minX = std::min({a.texels[0], b.texels[0], c.texels[0]});
      const double maxX = std::max({a.texels[0], b.texels[0], c.texels[0]});
      if (std::ceil(minY - 0.5) > std::min(std::floor(maxY - 0.5), lastRow) ||
          std::floor(maxY - 0.5) < firstRow ||
          std::ceil(minX - 0.5) > std::min(std::floor(maxX - 0.5), w - 1.0) ||
          std::floor(maxX - 0.5) < 0.0) {
        continue;
      }
      p[0] = a.texels;
      p[1] = b.texels;
      p[2] = c.texels;
    } else {
      Vec3 clipped[4];
      count = clipToNear(corners, clipped);
      if (count < 3) continue;
      for (int k = 0; k < count; ++k) p[k] = texelsOf(clipped[k], tanX, tanY, w, h);
    }
    // The plane of the whole triangle: each texel's depth is where the ray
    // through its centre meets it, whatever part of it clipping kept.
    const Vec3 normal = cross(sub(corners[1], corners[0]), sub(corners[2], corners[0]));
    const double offset = dot(normal, corners[0]);
    for (int fan = 1; fan + 1 < count; ++fan) {
      const std::array<double, 2> v[3] = {p[0], p[fan], p[fan + 1]};
      const double area =
          (v[1][0] - v[0][0]) * (v[2][1] - v[0][1]) - (v[1][1] - v[0][1]) * (v[2][0] - v[0][0]);
      if (!(area != 0.0) || !std::isfinite(area)) continue;
      const double sign = area > 0.0 ? 1.0 : -1.0;
      const double minX = std::min({v[0][0], v[1][0], v[2][0]});
      const double maxX = std::max({v[0][0], v[1][0], v[2][0]});
      const double minY = std::min({v[0][1], v[1][1], v[2][1]});
      const double maxY = std::max({v[0][1], v[1][1], v[2][1]});
      // Texel centres inside the box, clamped to the rows drawn here.
      const double i0 = std::max(std::ceil(minX - 0.5), 0.0);
      const double i1 = std::min(std::floor(maxX - 0.5), w - 1.0);
      const double j0 = std::max(std::ceil(minY - 0.5), static_cast<double>(firstRow));
      const double j1 = std::min(std::floor(maxY - 0.5), lastRow);
      if (i0 > i1 || j0 > j1) continue;
      for (int j = static_cast<int>(j0); j <= static_cast<int>(j1); ++j) {
        const double y = j + 0.5;
        const double sy = (1.0 - 2.0 * y / h) * tanY;
        float* row = depths + static_cast<std::size_t>(j) * static_cast<std::size_t>(width);
        for (int i = static_cast<int>(i0); i <= static_cast<int>(i1); ++i) {
          const double x = i + 0.5;
          bool inside = true;
          for (int k = 0; k < 3 && inside; ++k) {
            const auto& from = v[k];
            const auto& to = v[(k + 1) % 3];
            const double edge =
                (to[0] - from[0]) * (y - from[1]) - (to[1] - from[1]) * (x - from[0]);
            inside = edge * sign >= 0.0;
          }
          if (!inside) continue;
          const Vec3 ray = {(2.0 * x / w - 1.0) * tanX, sy, -1.0};
          const double along = dot(normal, ray);
          if (along == 0.0) continue;
          const double depth = offset / along;
          if (!(depth > 0.0) || !std::isfinite(depth)) continue;
          const float stored = static_cast<float>(depth);
          if (stored < row[i]) row[i] = stored;
        }
      }
    }
  }
}

DepthMap DepthMapBuilder::build(int width, int height, unsigned threads) const {
  DepthMap map;
  if (width <= 0 || height <= 0) return map;
  map.width = width;
  map.height = height;
  map.depths.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                    DepthMap::kNothing);
  // Small jobs are done before a thread would have started.
  const bool pays = static_cast<double>(width) * height >= 65536.0 || triangles_.size() >= 4096;
  unsigned bands = threads != 0 ? threads : (pays ? std::thread::hardware_concurrency() : 1);
  bands = std::clamp(bands, 1u, static_cast<unsigned>(height));
  const std::vector<Projected> projected = project(width, height);
  if (bands == 1) {
    drawRows(width, height, 0, height, projected, map.depths.data());
  } else {
    // Each thread owns a band of rows, so no texel is written by two.
    std::vector<std::thread> workers;
    for (unsigned b = 0; b < bands; ++b) {
      const int first = static_cast<int>(static_cast<long long>(height) * b / bands);
      const int end = static_cast<int>(static_cast<long long>(height) * (b + 1) / bands);
      try {
        workers.emplace_back([this, width, height, first, end, &projected, &map] {
          drawRows(width, height, first, end, projected, map.depths.data());
        });
      } catch (const std::system_error&) {
        // No thread to be had: this band is drawn here instead.
        drawRows(width, height, first, end, projected, map.depths.data());
      }
    }
    for (std::thread& worker : workers) worker.join();
  }
  map.nearest = *std::min_element(map.depths.begin(), map.depths.end());
  return map;
}

}  // namespace qv::vpProjector
