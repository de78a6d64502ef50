#include "tracer.h"
#include "test_rays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace qv::host {
namespace {

// The square [x0, x1] x [y0, y1] at height z, wound counterclockwise seen
// from +z. Triangle 0 lies below the diagonal y = x (in the square's own
// coordinates), triangle 1 above it.
SceneObject quad(const std::string& name, float z, float opacity = 1.0f, float x0 = -1.0f,
                 float x1 = 1.0f, float y0 = -1.0f, float y1 = 1.0f) {
  SceneObject o;
  o.name = name;
  o.opacity = opacity;
  o.mesh.vertices = {{x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y1, z}};
  o.mesh.triangles = {{0, 1, 2}, {0, 2, 3}};
  return o;
}

// Six triangles fanned around a centre vertex at (0, 0, z).
SceneObject hexagonFan(const std::string& name, float z, float opacity) {
  SceneObject o;
  o.name = name;
  o.opacity = opacity;
  o.mesh.vertices.push_back({0.0f, 0.0f, z});
  for (int i = 0; i < 6; ++i) {
    const double a = i * std::acos(-1.0) / 3.0;
    o.mesh.vertices.push_back(
        {static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), z});
  }
  for (std::uint32_t i = 0; i < 6; ++i) o.mesh.triangles.push_back({0, 1 + i, 1 + (i + 1) % 6});
  return o;
}

using test::ray;

// Towards (0.3, -0.2, 1): inside triangle 0 of quad(), away from its diagonal.
Ray upward() {
  return ray(0.0, 0.0, 0.0, 0.3f, -0.2f, 1.0f);
}

void build(Tracer& tracer, std::vector<SceneObject> objects) {
  std::string error;
  ASSERT_TRUE(tracer.build(std::move(objects), &error)) << error;
}

TEST(TracerTransmittance, OpaqueQuadBlocksOnlyWithinTheRaySegment) {
  Tracer tracer;
  build(tracer, {quad("q", 1.0f)});
  EXPECT_EQ(tracer.transmittance(upward()), 0.0f);

  EXPECT_EQ(tracer.transmittance(ray(0, 0, 0, 2.0f, 0.0f, 1.0f)), 1.0f) << "passes beside it";
  EXPECT_EQ(tracer.transmittance(ray(0, 0, 0, 0.3f, -0.2f, -1.0f)), 1.0f) << "points away";

  Ray r = upward();
  r.tmax = 0.9;
  EXPECT_EQ(tracer.transmittance(r), 1.0f) << "ends before it";
  r.tmax = 1.1;
  EXPECT_EQ(tracer.transmittance(r), 0.0f);
  r.tmin = 1.1;
  r.tmax = 1e30;
  EXPECT_EQ(tracer.transmittance(r), 1.0f) << "starts behind it";
}

TEST(TracerTransmittance, TransparentSurfacesMultiply) {
  Tracer tracer;
  build(tracer, {quad("near", 1.0f, 0.5f), quad("far", 2.0f, 0.5f)});
  EXPECT_FLOAT_EQ(tracer.transmittance(upward()), 0.25f);
  Ray r = upward();
  r.tmax = 1.5;
  EXPECT_FLOAT_EQ(tracer.transmittance(r), 0.5f);

  build(tracer, {quad("q", 1.0f, 0.3f)});
  EXPECT_FLOAT_EQ(tracer.transmittance(upward()), 0.7f);
}

TEST(TracerTransmittance, AnOpaqueSurfaceAnywhereOnTheRayBlocksIt) {
  Tracer tracer;
  build(tracer, {quad("glass", 1.0f, 0.5f), quad("wall", 2.0f)});
  EXPECT_EQ(tracer.transmittance(upward()), 0.0f);
  build(tracer, {quad("wall", 1.0f), quad("glass", 2.0f, 0.5f)});
  EXPECT_EQ(tracer.transmittance(upward()), 0.0f);
}

TEST(TracerTransmittance, OpacityOutsideTheUnitRangeIsClamped) {
  Tracer tracer;
  build(tracer, {quad("invisible", 1.0f, 0.0f), quad("negative", 2.0f, -0.5f)});
  EXPECT_EQ(tracer.transmittance(upward()), 1.0f);
  build(tracer, {quad("beyond", 1.0f, 1.5f)});
  EXPECT_EQ(tracer.transmittance(upward()), 0.0f);
}

TEST(TracerTransmittance, SharedEdgesAndVerticesAreCrossedOnce) {
  Tracer tracer;
  build(tracer, {quad("q", 1.0f, 0.5f)});
  // Through the diagonal that both triangles share.
  EXPECT_FLOAT_EQ(tracer.transmittance(ray(0, 0, 0, 0.25f, 0.25f, 1.0f)), 0.5f);

  build(tracer, {hexagonFan("fan", 1.0f, 0.5f)});
  EXPECT_FLOAT_EQ(tracer.transmittance(ray(0, 0, 0, 0.0f, 0.0f, 1.0f)), 0.5f) << "centre vertex";
  EXPECT_FLOAT_EQ(tracer.transmittance(ray(0, 0, 0, 0.5f, 0.0f, 1.0f)), 0.5f) << "spoke";
}

TEST(TracerTransmittance, CloseLayersOfOneObjectAreStillCrossedSeparately) {
  SceneObject two = quad("two", 1.0f, 0.5f);
  const SceneObject upper = quad("", 1.001f);
  for (const auto& t : upper.mesh.triangles) {
    two.mesh.triangles.push_back({t[0] + 4, t[1] + 4, t[2] + 4});
  }
  two.mesh.vertices.insert(two.mesh.vertices.end(), upper.mesh.vertices.begin(),
                           upper.mesh.vertices.end());
  Tracer tracer;
  build(tracer, {two});
  EXPECT_FLOAT_EQ(tracer.transmittance(upward()), 0.25f);
  EXPECT_FLOAT_EQ(tracer.transmittance(ray(0, 0, 0, 0.25f, 0.25f, 1.0f)), 0.25f);
}

TEST(TracerTransmittance, TheSkippedTriangleIsTheOnlyOneIgnored) {
  Tracer tracer;
  build(tracer, {quad("a", 1.0f), quad("b", 2.0f)});
  Ray r = upward();
  r.tmax = 1.5;  // sees only quad a, through its triangle 0
  const SurfaceId hitOne{0, 0};
  const SurfaceId otherTriangle{0, 1};
  const SurfaceId otherObject{1, 0};
  r.skip = &hitOne;
  EXPECT_EQ(tracer.transmittance(r), 1.0f);
  r.skip = &otherTriangle;
  EXPECT_EQ(tracer.transmittance(r), 0.0f);
  r.skip = &otherObject;
  EXPECT_EQ(tracer.transmittance(r), 0.0f);

  r.skip = &hitOne;
  r.tmax = 1e30;
  EXPECT_EQ(tracer.transmittance(r), 0.0f) << "quad b is still behind";
}

TEST(TracerTransmittance, ARayLeavingASurfaceDoesNotFindItWithoutSkip) {
  Tracer tracer;
  build(tracer, {quad("floor", 1.0f), quad("ceiling", 2.0f)});
  EXPECT_EQ(tracer.transmittance(ray(0.3, -0.2, 1.0, 0.0f, 0.0f, -1.0f)), 1.0f);
  EXPECT_EQ(tracer.transmittance(ray(0.3, -0.2, 1.0, 0.2f, 0.1f, -1.0f)), 1.0f);
  EXPECT_EQ(tracer.transmittance(ray(0.3, -0.2, 1.0, 0.0f, 0.0f, 1.0f)), 0.0f) << "the ceiling";
  // The margin is small: a surface a millimetre away still counts.
  EXPECT_EQ(tracer.transmittance(ray(0.3, -0.2, 0.999, 0.0f, 0.0f, 1.0f)), 0.0f);
}

TEST(TracerTransmittance, TheMarginGrowsWithDistanceFromTheWorldOrigin) {
  // The slope z = x / 2 + 500 far from the world origin. Points on it in
  // double round to float on either side of it, as far as 1e-4 away.
  SceneObject slope;
  slope.name = "slope";
  slope.mesh.vertices = {
      {990.0f, 990.0f, 995.0f}, {1010.0f, 990.0f, 1005.0f}, {1010.0f, 1010.0f, 1005.0f}};
  slope.mesh.triangles = {{0, 1, 2}};
  Tracer tracer;
  build(tracer, {slope});
  int misses = 0;
  for (int i = 0; i < 200; ++i) {
    const double x = 1005.0 + i * 0.012345678901;
    const double y = 991.0 + i * 0.0456789;
    const double z = x / 2.0 + 500.0;
    for (const float d : {1.0f, -1.0f}) {
      const float dir[3] = {-0.5f * d, 0.1f, d};
      misses += tracer.transmittance(ray(x, y, z, dir[0], dir[1], dir[2])) == 1.0f;
      misses += !tracer.intersect(ray(x, y, z, dir[0], dir[1], dir[2]));
    }
  }
  EXPECT_EQ(misses, 800);
  EXPECT_EQ(tracer.transmittance(ray(1005.0, 995.0, 1002.0, 0.0f, 0.0f, 1.0f)), 0.0f);
}

TEST(TracerTransmittance, ARayInThePlaneOfASurfaceGrazesPastIt) {
  Tracer tracer;
  build(tracer, {quad("q", 1.0f)});
  EXPECT_EQ(tracer.transmittance(ray(-2.0, 0.3, 1.0, 1.0f, 0.0f, 0.0f)), 1.0f);
}

TEST(TracerTransmittance, RaySegmentIsMeasuredInDirectionLengths) {
  Tracer tracer;
  build(tracer, {quad("q", 1.0f)});
  Ray r = ray(0, 0, 0, 0.0f, 0.0f, 4.0f);  // reaches the quad at t = 0.25
  r.tmax = 0.24;
  EXPECT_EQ(tracer.transmittance(r), 1.0f);
  r.tmax = 0.26;
  EXPECT_EQ(tracer.transmittance(r), 0.0f);
  r.tmin = 0.26;
  r.tmax = 1e30;
  EXPECT_EQ(tracer.transmittance(r), 1.0f);

  r = ray(0, 0, 0, 0.0f, 0.0f, 0.25f);  // reaches it at t = 4
  r.tmax = 3.9;
  EXPECT_EQ(tracer.transmittance(r), 1.0f);
  r.tmax = 4.1;
  EXPECT_EQ(tracer.transmittance(r), 0.0f);
  ASSERT_TRUE(tracer.intersect(r));
  EXPECT_NEAR(tracer.intersect(r)->distance, 4.0, 1e-5);
}

TEST(TracerTransmittance, RaysThatCannotHitAnythingSeeEverything) {
  Tracer tracer;
  build(tracer, {quad("q", 1.0f)});
  EXPECT_EQ(tracer.transmittance(ray(0, 0, 0, 0.0f, 0.0f, 0.0f)), 1.0f) << "no direction";
  Ray r = upward();
  r.tmin = 2.0;
  r.tmax = 1.0;
  EXPECT_EQ(tracer.transmittance(r), 1.0f) << "empty segment";
  EXPECT_EQ(tracer.transmittance(ray(0, 0, std::numeric_limits<double>::quiet_NaN(), 0, 0, 1)),
            1.0f);
  EXPECT_EQ(tracer.transmittance(ray(0, 0, -1e300, 0, 0, 1)), 1.0f) << "beyond float range";
}

TEST(TracerIntersect, FindsTheNearestSurfaceWithItsDistanceAndNormal) {
  Tracer tracer;
  // The empty object takes index 0 without taking part.
  SceneObject empty;
  empty.name = "empty";
  build(tracer, {empty, quad("far", 2.0f), quad("near", 1.0f, 0.0f)});
  const std::optional<Hit> hit = tracer.intersect(upward());
  ASSERT_TRUE(hit);
  EXPECT_NEAR(hit->distance, 1.0, 1e-6);
  EXPECT_EQ(hit->surface.object, 2u) << "found whatever its opacity";
  EXPECT_EQ(hit->surface.triangle, 0u);
  EXPECT_FLOAT_EQ(hit->geometricNormal[0], 0.0f);
  EXPECT_FLOAT_EQ(hit->geometricNormal[1], 0.0f);
  EXPECT_FLOAT_EQ(hit->geometricNormal[2], 1.0f);

  Ray r = ray(-0.3, 0.2, 0.0, 0.0f, 0.0f, 1.0f);
  const SurfaceId nearTriangle{2, 1};
  r.skip = &nearTriangle;
  const std::optional<Hit> behind = tracer.intersect(r);
  ASSERT_TRUE(behind);
  EXPECT_EQ(behind->surface.object, 1u);
  EXPECT_EQ(behind->surface.triangle, 1u);
  EXPECT_NEAR(behind->distance, 2.0, 1e-6);

  r.tmax = 1.9;
  EXPECT_FALSE(tracer.intersect(r));
  EXPECT_FALSE(tracer.intersect(ray(0, 0, 0, 0.0f, 0.0f, -1.0f)));
}

TEST(TracerIntersect, NormalFollowsTheWindingOnATiltedTriangle) {
  SceneObject o;
  o.name = "tilted";
  o.mesh.vertices = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
  o.mesh.triangles = {{0, 1, 2}};
  Tracer tracer;
  build(tracer, {o});
  // The plane x + y + z = 1 meets the diagonal at its centroid, t = 1/3.
  std::optional<Hit> hit = tracer.intersect(ray(0, 0, 0, 1.0f, 1.0f, 1.0f));
  ASSERT_TRUE(hit);
  EXPECT_NEAR(hit->distance, 1.0 / 3.0, 1e-6);
  const float c = static_cast<float>(1.0 / std::sqrt(3.0));
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(hit->geometricNormal[k], c, 1e-6f) << k;

  o.mesh.triangles = {{0, 2, 1}};
  build(tracer, {o});
  hit = tracer.intersect(ray(0, 0, 0, 1.0f, 1.0f, 1.0f));
  ASSERT_TRUE(hit);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(hit->geometricNormal[k], -c, 1e-6f) << k;
}

TEST(TracerSurfaceAt, FindsTheTriangleAPointLiesOn) {
  Tracer tracer;
  build(tracer, {quad("a", 1.0f), quad("b", 1.5f)});
  const double belowDiagonal[3] = {0.3, -0.2, 1.0};
  const double aboveDiagonal[3] = {-0.3, 0.2, 1.5};
  std::optional<SurfaceId> s = tracer.surfaceAt(belowDiagonal, 1e-6);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->object, 0u);
  EXPECT_EQ(s->triangle, 0u);
  s = tracer.surfaceAt(aboveDiagonal, 0.0);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->object, 1u);
  EXPECT_EQ(s->triangle, 1u);
}

TEST(TracerSurfaceAt, OnlyWithinTheToleranceAndTheClosestWins) {
  Tracer tracer;
  build(tracer, {quad("a", 1.0f), quad("b", 1.5f)});
  const double between[3] = {0.3, -0.2, 1.2};  // 0.2 from a, 0.3 from b
  EXPECT_FALSE(tracer.surfaceAt(between, 0.19));
  std::optional<SurfaceId> s = tracer.surfaceAt(between, 0.21);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->object, 0u);
  s = tracer.surfaceAt(between, 10.0);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->object, 0u);

  const double nearerB[3] = {0.3, -0.2, 1.3};
  s = tracer.surfaceAt(nearerB, 10.0);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->object, 1u);

  // Beside the edge x = 1, the distance is to the edge, not to the plane.
  const double beside[3] = {1.3, -0.5, 1.0};
  EXPECT_FALSE(tracer.surfaceAt(beside, 0.29));
  s = tracer.surfaceAt(beside, 0.31);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->object, 0u);
  EXPECT_EQ(s->triangle, 0u);

  // Beyond the corner (1, -1), the distance is to the corner: 0.5.
  const double beyondCorner[3] = {1.3, -1.4, 1.0};
  EXPECT_FALSE(tracer.surfaceAt(beyondCorner, 0.49));
  EXPECT_TRUE(tracer.surfaceAt(beyondCorner, 0.51));

  EXPECT_FALSE(tracer.surfaceAt(between, -1.0));
}

TEST(TracerSurfaceAt, TiesGoToTheFirstObjectAndTriangle) {
  Tracer tracer;
  build(tracer, {quad("a", 1.0f, 0.5f, 5.0f, 7.0f), quad("b", 1.0f), quad("twin", 1.0f)});
  const double onDiagonal[3] = {0.5, 0.5, 1.0};
  std::optional<SurfaceId> s = tracer.surfaceAt(onDiagonal, 1e-6);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->object, 1u);
  EXPECT_EQ(s->triangle, 0u);
}

TEST(TracerBuild, RejectsBadMeshesNamingTheObject) {
  Tracer tracer;
  std::string error;
  SceneObject bad = quad("badIndex", 1.0f);
  bad.mesh.triangles[1][2] = 4;
  EXPECT_FALSE(tracer.build({quad("fine", 2.0f), bad}, &error));
  EXPECT_NE(error.find("badIndex"), std::string::npos) << error;
  EXPECT_NE(error.find("4"), std::string::npos) << error;

  for (const float value :
       {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
    SceneObject nonFinite = quad("nonFinite", 1.0f);
    nonFinite.mesh.vertices[3][1] = value;
    error.clear();
    EXPECT_FALSE(tracer.build({nonFinite}, &error));
    EXPECT_NE(error.find("nonFinite"), std::string::npos) << error;
  }

  SceneObject noOpacity = quad("noOpacity", 1.0f, std::numeric_limits<float>::quiet_NaN());
  error.clear();
  EXPECT_FALSE(tracer.build({noOpacity}, &error));
  EXPECT_NE(error.find("noOpacity"), std::string::npos) << error;
}

TEST(TracerBuild, EachBuildReplacesTheScene) {
  Tracer tracer;
  EXPECT_EQ(tracer.transmittance(upward()), 1.0f) << "before any build";
  build(tracer, {quad("q", 1.0f), quad("r", 2.0f)});
  EXPECT_EQ(tracer.triangleCount(), 4u);
  ASSERT_EQ(tracer.objects().size(), 2u);
  EXPECT_EQ(tracer.objects()[1].name, "r");

  build(tracer, {});
  EXPECT_EQ(tracer.triangleCount(), 0u);
  EXPECT_TRUE(tracer.objects().empty());
  EXPECT_EQ(tracer.transmittance(upward()), 1.0f);
  EXPECT_FALSE(tracer.intersect(upward()));
  const double p[3] = {0.3, -0.2, 1.0};
  EXPECT_FALSE(tracer.surfaceAt(p, 1.0));

  SceneObject bad = quad("bad", 1.0f);
  bad.mesh.triangles[0][0] = 99;
  std::string error;
  EXPECT_FALSE(tracer.build({bad}, &error));
  build(tracer, {quad("q", 1.0f)});
  EXPECT_EQ(tracer.transmittance(upward()), 0.0f) << "a failed build leaves no trace";
}

}  // namespace
}  // namespace qv::host

namespace qv::host {
namespace {

// A scene of opaque objects takes a shorter path through the tracer than one
// where anything lets light through. Adding a clear object that no ray
// reaches moves the same rays onto the longer path: every answer, skipping
// or not, must stay the same, and the nearest surface without its normal is
// the intersection's.
TEST(TracerPaths, OpaqueScenesAnswerAsTheGeneralPathDoes) {
  std::vector<SceneObject> objects{quad("a", 1.0f), hexagonFan("fan", 1.5f, 1.0f),
                                   quad("b", 2.0f, 1.0f, -0.5f, 0.5f, -0.5f, 0.5f)};
  Tracer opaque, general;
  build(opaque, objects);
  objects.push_back(quad("clear", -50.0f, 0.0f, 40.0f, 41.0f, 40.0f, 41.0f));
  build(general, objects);
  const SurfaceId skips[] = {{0, 0}, {0, 1}, {1, 3}, {2, 0}};
  int blocked = 0, hits = 0;
  for (int i = 0; i < 400; ++i) {
    const double x = -1.2 + 0.006 * i, y = 0.9 - 0.0045 * i;
    Ray r = ray(x, y, 1.0, static_cast<float>(0.3 * std::sin(i)),
                static_cast<float>(0.2 * std::cos(i)), i % 3 == 0 ? -1.0f : 1.0f);
    r.skip = i % 5 == 4 ? nullptr : &skips[i % 4];
    const float light = opaque.transmittance(r);
    EXPECT_EQ(light, general.transmittance(r)) << "ray " << i;
    blocked += light == 0.0f;
    const std::optional<Hit> hit = opaque.intersect(r), same = general.intersect(r);
    const std::optional<Hit> bare = opaque.nearestSurface(r);
    ASSERT_EQ(hit.has_value(), same.has_value()) << "ray " << i;
    ASSERT_EQ(hit.has_value(), bare.has_value()) << "ray " << i;
    if (!hit) continue;
    ++hits;
    EXPECT_EQ(hit->distance, same->distance);
    EXPECT_EQ(hit->distance, bare->distance);
    EXPECT_EQ(hit->surface.object, bare->surface.object);
    EXPECT_EQ(hit->surface.triangle, bare->surface.triangle);
    EXPECT_EQ(hit->surface.triangle, same->surface.triangle);
    EXPECT_EQ(bare->geometricNormal[2], 0.0f);
  }
  // Both kinds of answer occur often enough to mean something.
  EXPECT_GT(blocked, 50);
  EXPECT_LT(blocked, 350);
  EXPECT_GT(hits, 50);
}

}  // namespace
}  // namespace qv::host
