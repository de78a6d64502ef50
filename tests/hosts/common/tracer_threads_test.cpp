#include "tracer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <thread>
#include <vector>

namespace qv::host {
namespace {

// Scattered triangles, some opaque, most partly transparent, so that rays
// run through the filter many times before they end.
std::vector<SceneObject> scatteredTriangles() {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> position(-5.0f, 5.0f);
  std::uniform_real_distribution<float> offset(-0.8f, 0.8f);
  std::vector<SceneObject> objects;
  for (int o = 0; o < 8; ++o) {
    SceneObject object;
    object.name = "object" + std::to_string(o);
    object.opacity = o == 0 ? 1.0f : 0.1f * static_cast<float>(o);
    for (std::uint32_t t = 0; t < 150; ++t) {
      const Vec3f c = {position(rng), position(rng), position(rng)};
      for (int k = 0; k < 3; ++k) {
        object.mesh.vertices.push_back(
            {c[0] + offset(rng), c[1] + offset(rng), c[2] + offset(rng)});
      }
      object.mesh.triangles.push_back({3 * t, 3 * t + 1, 3 * t + 2});
    }
    objects.push_back(std::move(object));
  }
  return objects;
}

std::vector<Ray> randomRays() {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> origin(-6.0, 6.0);
  std::uniform_real_distribution<float> direction(-1.0f, 1.0f);
  std::vector<Ray> rays(2000);
  for (Ray& r : rays) {
    for (int k = 0; k < 3; ++k) {
      r.origin[k] = origin(rng);
      r.direction[k] = direction(rng);
    }
  }
  return rays;
}

struct Answer {
  float transmittance;
  std::optional<Hit> hit;
  std::optional<SurfaceId> surface;
};

Answer ask(const Tracer& tracer, const Ray& r) {
  return {tracer.transmittance(r), tracer.intersect(r), tracer.surfaceAt(r.origin, 0.5)};
}

TEST(TracerThreads, ConcurrentQueriesAnswerAsOneThreadDoes) {
  Tracer tracer;
  std::string error;
  ASSERT_TRUE(tracer.build(scatteredTriangles(), &error)) << error;
  const std::vector<Ray> rays = randomRays();

  std::vector<Answer> expected;
  int partlyLit = 0;
  int nearSurface = 0;
  for (const Ray& r : rays) {
    expected.push_back(ask(tracer, r));
    partlyLit += expected.back().transmittance > 0.0f && expected.back().transmittance < 1.0f;
    nearSurface += expected.back().surface.has_value();
  }
  ASSERT_GT(partlyLit, 100) << "the scene should make the filter work";
  ASSERT_GT(nearSurface, 100) << "and the point queries find something";

  constexpr int kThreads = 4;
  std::vector<std::vector<Answer>> answers(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Each thread walks the rays from a different start, so that the
      // threads trace different rays at the same moment.
      for (std::size_t i = 0; i < rays.size(); ++i) {
        answers[t].push_back(ask(tracer, rays[(i + t * 500) % rays.size()]));
      }
    });
  }
  for (std::thread& th : threads) th.join();

  for (int t = 0; t < kThreads; ++t) {
    for (std::size_t i = 0; i < rays.size(); ++i) {
      const std::size_t k = (i + t * 500) % rays.size();
      const Answer& got = answers[t][i];
      ASSERT_EQ(got.transmittance, expected[k].transmittance) << "thread " << t << " ray " << k;
      ASSERT_EQ(got.hit.has_value(), expected[k].hit.has_value()) << "thread " << t << " ray " << k;
      if (got.hit) {
        EXPECT_EQ(got.hit->distance, expected[k].hit->distance);
        EXPECT_EQ(got.hit->surface.object, expected[k].hit->surface.object);
        EXPECT_EQ(got.hit->surface.triangle, expected[k].hit->surface.triangle);
      }
      ASSERT_EQ(got.surface.has_value(), expected[k].surface.has_value()) << "ray " << k;
      if (got.surface) {
        EXPECT_EQ(got.surface->object, expected[k].surface->object);
        EXPECT_EQ(got.surface->triangle, expected[k].surface->triangle);
      }
    }
  }
}

}  // namespace
}  // namespace qv::host
