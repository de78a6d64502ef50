// The projector's depth map against depths worked out by hand: rays through
// texel centres meeting planes whose equations are known.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "depth_map.h"

namespace {

using qv::vpProjector::DepthMap;
using qv::vpProjector::DepthMapBuilder;
using qv::vpProjector::DepthProjection;
using Points = std::vector<std::array<double, 3>>;
using Triangles = std::vector<std::array<int, 3>>;

// A camera at `position` looking down -z: world to camera is a translation.
DepthProjection cameraAt(double x, double y, double z, double tanHalfWidth, double tanHalfHeight) {
  DepthProjection projection;
  for (int i = 0; i < 4; ++i) projection.worldToCamera[i][i] = 1.0;
  projection.worldToCamera[3] = {-x, -y, -z, 1.0};
  projection.tanHalfWidth = tanHalfWidth;
  projection.tanHalfHeight = tanHalfHeight;
  return projection;
}

// The direction through texel (i, j)'s centre, at depth 1.
std::array<double, 2> centre(const DepthProjection& projection, int i, int j, int width,
                             int height) {
  return {(2.0 * (i + 0.5) / width - 1.0) * projection.tanHalfWidth,
          (1.0 - 2.0 * (j + 0.5) / height) * projection.tanHalfHeight};
}

// A square of half size `half` in the plane z = z0 + slope * x, as two triangles.
void addSquare(DepthMapBuilder* builder, double half, double z0, double slope) {
  const Points points = {{-half, -half, z0 - slope * half},
                         {half, -half, z0 + slope * half},
                         {half, half, z0 + slope * half},
                         {-half, half, z0 - slope * half}};
  std::string why;
  ASSERT_TRUE(builder->addMesh(points, {{0, 1, 2}, {0, 2, 3}}, &why)) << why;
}

TEST(DepthMap, EachTexelHoldsTheDepthWhereTheRayThroughItsCentreMeetsTheSurface) {
  // A slanted wall (depth 5 - x) in front of a flat one (depth 8), seen
  // from (0, 0, 0) with 90 degrees across and 53 up.
  const DepthProjection projection = cameraAt(0.0, 0.0, 0.0, 1.0, 0.5);
  DepthMapBuilder builder(projection);
  addSquare(&builder, 100.0, -8.0, 0.0);
  addSquare(&builder, 100.0, -5.0, 1.0);
  const auto size = qv::vpProjector::depthMapSize(projection, 16);
  ASSERT_EQ(size[0], 16);
  ASSERT_EQ(size[1], 8);
  const DepthMap map = builder.build(size[0], size[1], 1);
  float nearest = DepthMap::kNothing;
  for (int j = 0; j < map.height; ++j) {
    for (int i = 0; i < map.width; ++i) {
      // On z = -5 + x along t * (sx, sy, -1): t = 5 / (1 + sx); the flat
      // wall's 8 where that is farther.
      const double sx = centre(projection, i, j, map.width, map.height)[0];
      const float expected = static_cast<float>(std::min(5.0 / (1.0 + sx), 8.0));
      EXPECT_EQ(map.at(i, j), expected) << i << ", " << j;
      nearest = std::min(nearest, expected);
    }
  }
  EXPECT_EQ(map.nearest, nearest);
}

TEST(DepthMap, CoversTheTexelCentresInsideATriangleEdgesIncludedAndNothingElse) {
  // 8 x 8 texels over tangents -1..1: texel centres at tangents
  // (-0.875, -0.625, ... 0.875). A triangle at depth 2 with corners on
  // centres' rays covers the centres on and inside its edges.
  const DepthProjection projection = cameraAt(0.0, 0.0, 0.0, 1.0, 1.0);
  DepthMapBuilder builder(projection);
  // Corners at the centres of texels (1, 6), (6, 6) and (1, 1), depth 2.
  const auto corner = [&](int i, int j) -> std::array<double, 3> {
    const auto s = centre(projection, i, j, 8, 8);
    return {2.0 * s[0], 2.0 * s[1], -2.0};
  };
  std::string why;
  ASSERT_TRUE(builder.addMesh({corner(1, 6), corner(6, 6), corner(1, 1)}, {{0, 1, 2}}, &why));
  const DepthMap map = builder.build(8, 8);
  int covered = 0;
  for (int j = 0; j < 8; ++j) {
    for (int i = 0; i < 8; ++i) {
      // Inside the right triangle with legs along i = 1 and j = 6: i >= 1,
      // j <= 6 and (i - 1) + (6 - j) <= 5.
      const bool inside = i >= 1 && j <= 6 && (i - 1) + (6 - j) <= 5;
      EXPECT_EQ(map.at(i, j), inside ? 2.0f : DepthMap::kNothing) << i << ", " << j;
      covered += inside ? 1 : 0;
    }
  }
  EXPECT_EQ(covered, 21);
}

TEST(DepthMap, GroundReachingBehindTheCameraIsCutAtItsPlaneAndKeepsItsDepths) {
  // The ground y = -1 from far behind the camera (at height 0, looking
  // down -z) to far in front: only the rows below the horizon see it, at
  // depth 1 / -sy.
  const DepthProjection projection = cameraAt(0.0, 1.0, 3.0, 1.0, 1.0);
  DepthMapBuilder builder(projection);
  const Points ground = {{-50.0, 0.0, 50.0}, {50.0, 0.0, 50.0}, {0.0, 0.0, -1000.0}};
  std::string why;
  ASSERT_TRUE(builder.addMesh(ground, {{0, 1, 2}}, &why)) << why;
  const DepthMap map = builder.build(6, 6, 1);
  for (int j = 0; j < 6; ++j) {
    for (int i = 0; i < 6; ++i) {
      const double sy = centre(projection, i, j, 6, 6)[1];
      const float expected = sy < 0.0 ? static_cast<float>(1.0 / -sy) : DepthMap::kNothing;
      EXPECT_EQ(map.at(i, j), expected) << i << ", " << j;
    }
  }
}

TEST(DepthMap, RefusesAMeshWithAPointNotFiniteOrATriangleOutOfRangeWhole) {
  DepthMapBuilder builder(cameraAt(0.0, 0.0, 0.0, 1.0, 1.0));
  std::string why;
  const Points broken = {{-1.0, -1.0, -2.0}, {1.0, -1.0, -2.0}, {0.0, NAN, -2.0}, {0.0, 1.0, -2.0}};
  EXPECT_FALSE(builder.addMesh(broken, {{0, 1, 3}}, &why));
  EXPECT_EQ(why, "point 2 is not finite");
  EXPECT_FALSE(builder.addMesh({{0.0, 0.0, -1.0}}, {{0, 0, 1}}, &why));
  EXPECT_EQ(why, "triangle 0 names point 1 of 1");
  EXPECT_EQ(builder.triangleCount(), 0u);
  const DepthMap map = builder.build(4, 4);
  for (float depth : map.depths) EXPECT_EQ(depth, DepthMap::kNothing);
  EXPECT_EQ(map.nearest, DepthMap::kNothing);
}

TEST(DepthMap, ThreadsDrawTheSameMapAsOne) {
  // A crumpled sheet of many small triangles, turned so that none lines up
  // with the texels.
  std::mt19937 random(7);
  std::uniform_real_distribution<double> jitter(-0.3, 0.3);
  DepthProjection projection = cameraAt(0.0, 0.0, 0.0, 0.8, 0.45);
  const double angle = 0.3;
  projection.worldToCamera[0] = {std::cos(angle), std::sin(angle), 0.0, 0.0};
  projection.worldToCamera[1] = {-std::sin(angle), std::cos(angle), 0.0, 0.0};
  DepthMapBuilder builder(projection);
  const int n = 40;
  Points points;
  Triangles triangles;
  for (int y = 0; y <= n; ++y) {
    for (int x = 0; x <= n; ++x)
      points.push_back({x - n / 2.0, y - n / 2.0, -20.0 + jitter(random)});
  }
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      const int a = y * (n + 1) + x;
      triangles.push_back({a, a + 1, a + n + 2});
      triangles.push_back({a, a + n + 2, a + n + 1});
    }
  }
  std::string why;
  ASSERT_TRUE(builder.addMesh(points, triangles, &why)) << why;
  const DepthMap one = builder.build(300, 170, 1);
  const DepthMap four = builder.build(300, 170, 4);
  EXPECT_EQ(one.depths, four.depths);
  int drawn = 0;
  for (float depth : one.depths) drawn += depth < DepthMap::kNothing ? 1 : 0;
  EXPECT_EQ(drawn, 300 * 170);  // the sheet fills the view: no cracks between triangles
}

}  // namespace
