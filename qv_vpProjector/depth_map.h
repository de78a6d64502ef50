// The depth of the scene as the projection camera sees it, rendered on the
// CPU for the viewport's occlusion test. A texel covers the same part of the
// camera's view as a texel of the painting does under the viewport shader's
// camera projection (u across the horizontal field of view, v down the
// vertical one), and holds the camera-space depth of the nearest surface
// along the ray through its centre: the shader compares a point's own depth
// against it.
#pragma once

#include <array>
#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv::vpProjector {

// Camera space as the placement matrix gives it (row vectors, p *
// worldToCamera, as MMatrix multiplies), looking down -z, and the tangents
// of half the fields of view the shader projects with.
struct DepthProjection {
  std::array<std::array<double, 4>, 4> worldToCamera{};
  double tanHalfWidth = 1.0;
  double tanHalfHeight = 1.0;
};

struct DepthMap {
  // What a texel holds where no surface is: farther than anything.
  static constexpr float kNothing = FLT_MAX;

  int width = 0;
  int height = 0;
  std::vector<float> depths;  // row 0 first, at v = 0: the top of the painting
  float nearest = kNothing;   // the smallest depth in the map

  float at(int x, int y) const {
    return depths[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

// The map's size for a resolution across: as many rows as keep its texels
// square in the camera's view, at least one.
std::array<int, 2> depthMapSize(const DepthProjection& projection, int resolution);

class DepthMapBuilder {
 public:
  explicit DepthMapBuilder(const DepthProjection& projection);

  // Adds a mesh: points in world space (x, y, z each) and three point
  // indices per triangle. A mesh with a point that is not finite, or a
  // triangle naming a point it does not have, is left out whole, with false
  // and the reason; drawing part of it would show holes that are not there.
  bool addMesh(const std::vector<std::array<double, 3>>& points,
               const std::vector<std::array<int, 3>>& triangles, std::string* why);
  std::size_t triangleCount() const { return triangles_.size(); }

  // Renders the meshes added so far into a width x height map, on up to
  // `threads` threads (0: as many as the machine has, where the work pays
  // for them). Every texel centre a triangle covers, its edges included,
  // gets the depth where the ray through that centre meets the triangle's
  // plane, computed in double precision; the nearest such depth wins.
  DepthMap build(int width, int height, unsigned threads = 0) const;

 private:
  // A point in texel space, and whether it lies in front of the near plane
  // (else its texels mean nothing and its triangles are clipped).
  struct Projected {
    std::array<double, 2> texels;
    bool inFront;
  };
  static std::array<double, 2> texelsOf(const std::array<double, 3>& c, double tanX, double tanY,
                                        double w, double h);
  std::vector<Projected> project(int width, int height) const;
  void drawRows(int width, int height, int firstRow, int endRow,
                const std::vector<Projected>& projected, float* depths) const;

  DepthProjection projection_;
  std::vector<std::array<double, 3>> points_;  // camera space
  std::vector<std::array<std::uint32_t, 3>> triangles_;
};

}  // namespace qv::vpProjector
