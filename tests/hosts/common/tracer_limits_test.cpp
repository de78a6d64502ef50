// Coordinates beyond what the ray tracer takes: refused when the scene is
// built, naming the object, the value and the limit; and rays Embree would
// abort on (far origins, zero, NaN or huge directions) answered as misses.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "input_limits.h"
#include "test_rays.h"
#include "tracer.h"

namespace qv::host {
namespace {

SceneObject square(const std::string& name, float z, float extent = 1.0f) {
  SceneObject o;
  o.name = name;
  o.mesh.vertices = {
      {-extent, -extent, z}, {extent, -extent, z}, {extent, extent, z}, {-extent, extent, z}};
  o.mesh.triangles = {{0, 1, 2}, {0, 2, 3}};
  return o;
}

using test::ray;

TEST(TracerCoordinateLimits, FarVerticesAreRefusedByObjectValueAndLimit) {
  const struct {
    float value;
    int axis;
    const char* message;
  } cases[] = {
      {2e18f, 0, "far: vertex 2 has x = 2e+18, beyond the 1e+15 the ray tracer takes"},
      {-1.5e16f, 2, "far: vertex 2 has z = -1.5e+16, beyond the 1e+15 the ray tracer takes"},
      {3.0e38f, 1, "far: vertex 2 has y = 3e+38, beyond the 1e+15 the ray tracer takes"},
  };
  for (const auto& c : cases) {
    SceneObject far = square("far", 0.0f);
    far.mesh.vertices[2][c.axis] = c.value;
    Tracer tracer;
    std::string error;
    EXPECT_FALSE(tracer.build({square("near", 1.0f), far}, &error));
    EXPECT_EQ(error, c.message);
    EXPECT_TRUE(tracer.objects().empty());
  }
  SceneObject infinite = square("inf", 0.0f);
  infinite.mesh.vertices[0][1] = std::numeric_limits<float>::infinity();
  Tracer tracer;
  std::string error;
  EXPECT_FALSE(tracer.build({infinite}, &error));
  EXPECT_EQ(error, "inf: vertex 0 is not finite");
}

TEST(TracerCoordinateLimits, GeometryAtTheLimitIsTraced) {
  const float edge = static_cast<float>(kMaxCoordinate) * 0.999f;
  Tracer tracer;
  std::string error;
  ASSERT_TRUE(tracer.build({square("wide", 5.0f, edge)}, &error)) << error;
  const auto hit = tracer.intersect(ray(0.5, 0.25, 0.0, 0.0f, 0.0f, 1.0f));
  ASSERT_TRUE(hit.has_value());
  EXPECT_NEAR(hit->distance, 5.0, 1e-5);
}

TEST(TracerRayLimits, RaysEmbreeWouldRefuseAreMisses) {
  Tracer tracer;
  std::string error;
  ASSERT_TRUE(tracer.build({square("floor", 1.0f)}, &error)) << error;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const float fnan = std::numeric_limits<float>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Ray misses[] = {
      ray(0.0, 0.0, -2e18, 0.0f, 0.0f, 1.0f),  // beyond Embree's range
      ray(1e17, 0.0, 0.0, -1.0f, 0.0f, 0.0f),  // beyond the geometry's
      ray(0.0, 0.0, -FLT_MAX, 0.0f, 0.0f, 1.0f),
      ray(nan, 0.0, 0.0, 0.0f, 0.0f, 1.0f),
      ray(0.0, inf, 0.0, 0.0f, 0.0f, 1.0f),
      ray(0.0, 0.0, 0.0, 0.0f, 0.0f, 0.0f),  // no direction
      ray(0.0, 0.0, 0.0, fnan, 0.0f, 1.0f),
      ray(0.0, 0.0, 0.0, 0.0f, 0.0f, std::numeric_limits<float>::infinity()),
  };
  for (const Ray& r : misses) {
    EXPECT_FALSE(tracer.intersect(r).has_value());
    EXPECT_EQ(tracer.transmittance(r), 1.0f);
  }
  const double far[3] = {0.0, 0.0, 3e18};
  EXPECT_FALSE(tracer.surfaceAt(far, 1e30).has_value());
}

TEST(TracerRayLimits, AHugeDirectionFindsWhatItsUnitDirectionFinds) {
  Tracer tracer;
  std::string error;
  ASSERT_TRUE(tracer.build({square("floor", 1.0f)}, &error)) << error;
  // Towards a camera far away: the direction is the whole way there.
  const Ray unit = ray(0.25, -0.5, 0.0, 0.0f, 0.0f, 1.0f);
  const Ray huge = ray(0.25, -0.5, 0.0, 0.0f, 0.0f, 1e30f);
  const auto a = tracer.intersect(unit);
  const auto b = tracer.intersect(huge);
  ASSERT_TRUE(a.has_value());
  ASSERT_TRUE(b.has_value());
  EXPECT_EQ(a->surface.triangle, b->surface.triangle);
  EXPECT_NEAR(b->distance * 1e30, a->distance, 1e-6);
  EXPECT_EQ(tracer.transmittance(huge), 0.0f);
  Ray shortened = huge;
  shortened.tmax = 0.5e-30;  // stops before the floor
  EXPECT_EQ(tracer.transmittance(shortened), 1.0f);
  EXPECT_FALSE(tracer.intersect(shortened).has_value());
}

}  // namespace
}  // namespace qv::host
