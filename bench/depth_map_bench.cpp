// What an occlusion update costs the viewport: qv_vpProjector's depth map,
// rasterised on the CPU for the bundled set and for a million-triangle
// terrain at 1024 and 4096 texels across, against tracing the same map
// with Embree as the renders trace their shadow rays (one ray through each
// texel centre on as many threads as the rasteriser uses; with the
// acceleration structure already built, and built afresh as an update
// after a mesh moved would need). And what the occlusion test adds to one
// pixel of the preview: the fragment's CPU reference with the tests off,
// with occlusion, and with the render's dilation.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "depth_map.h"
#include "fragment_reference.h"
#include "image_file.h"
#include "obj_reader.h"
#include "terrain.h"
#include "text_file.h"
#include "tracer.h"

namespace {

using qv::vpProjector::DepthMap;
using qv::vpProjector::DepthMapBuilder;
using qv::vpProjector::DepthProjection;
using Vec3 = std::array<double, 3>;

Vec3 normalized(const Vec3& v) {
  const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  return {v[0] / length, v[1] / length, v[2] / length};
}

Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// A camera at `eye` looking at `target`, y up, with the horizontal field of
// view given and a 16:9 frame.
struct View {
  Vec3 eye, x, y, z;  // z points back from the view
  DepthProjection projection;
};

View lookAt(const Vec3& eye, const Vec3& target, double fovDegrees) {
  View view;
  view.eye = eye;
  view.z = normalized({eye[0] - target[0], eye[1] - target[1], eye[2] - target[2]});
  view.x = normalized(cross({0.0, 1.0, 0.0}, view.z));
  view.y = cross(view.z, view.x);
  auto& m = view.projection.worldToCamera;
  const Vec3* axes[3] = {&view.x, &view.y, &view.z};
  for (int c = 0; c < 3; ++c) {
    const Vec3& axis = *axes[c];
    for (int r = 0; r < 3; ++r) m[r][c] = axis[r];
    m[3][c] = -(axis[0] * eye[0] + axis[1] * eye[1] + axis[2] * eye[2]);
  }
  m[3][3] = 1.0;
  view.projection.tanHalfWidth = std::tan(fovDegrees * M_PI / 360.0);
  view.projection.tanHalfHeight = view.projection.tanHalfWidth * 9.0 / 16.0;
  return view;
}

struct Scene {
  std::vector<qv::host::SceneObject> objects;
  View view;
};

// The bundled example's set as its OBJ files hold it, seen from its
// projection camera.
const Scene& bundledSet() {
  static const Scene scene = [] {
    Scene s;
    for (const char* name : {"ground", "hall", "shed", "tower", "pole"}) {
      const std::string path = std::string(QV_EXAMPLE_DIR) + "/" + name + ".obj";
      std::string text, error;
      qv::host::SceneObject object;
      object.name = name;
      if (!qv::host::readTextFile(path, &text, &error) ||
          !qv::host::parseObj(text, path, &object.mesh, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
      }
      s.objects.push_back(std::move(object));
    }
    s.view = lookAt({0.0, 3.5, 14.0}, {0.0, 2.5, -4.0}, 54.0);
    return s;
  }();
  return scene;
}

// 2 * 708 * 708 = 1,002,528 triangles, seen from above one edge.
const Scene& terrainScene() {
  static const Scene scene = [] {
    Scene s;
    s.objects.push_back(qv::bench::terrain(708, 60.0f));
    s.view = lookAt({0.0, 25.0, 70.0}, {0.0, 0.0, 0.0}, 60.0);
    return s;
  }();
  return scene;
}

DepthMapBuilder builderFor(const Scene& scene) {
  DepthMapBuilder builder(scene.view.projection);
  for (const qv::host::SceneObject& object : scene.objects) {
    std::vector<std::array<double, 3>> points;
    points.reserve(object.mesh.vertices.size());
    for (const auto& v : object.mesh.vertices) points.push_back({v[0], v[1], v[2]});
    std::vector<std::array<int, 3>> triangles;
    triangles.reserve(object.mesh.triangles.size());
    for (const auto& t : object.mesh.triangles) {
      triangles.push_back({static_cast<int>(t[0]), static_cast<int>(t[1]), static_cast<int>(t[2])});
    }
    std::string why;
    builder.addMesh(points, triangles, &why);
  }
  return builder;
}

// The build, meshes to map, as compute does it when something changed.
void rasterise(benchmark::State& state, const Scene& scene) {
  const int width = static_cast<int>(state.range(0));
  const auto size = qv::vpProjector::depthMapSize(scene.view.projection, width);
  std::size_t covered = 0;
  for (auto _ : state) {
    const DepthMapBuilder builder = builderFor(scene);
    const DepthMap map = builder.build(size[0], size[1]);
    covered = 0;
    for (float depth : map.depths) covered += depth < DepthMap::kNothing ? 1 : 0;
    benchmark::DoNotOptimize(map.depths.data());
  }
  state.counters["texels"] = static_cast<double>(size[0]) * size[1];
  state.counters["covered"] = static_cast<double>(covered);
}

// One ray through each texel centre to the nearest surface, rows split
// among the threads as the rasteriser splits them. With `rebuild`, each
// pass also builds the acceleration structure, as an update after a mesh
// moved would have to.
void trace(benchmark::State& state, const Scene& scene, bool rebuild) {
  const int width = static_cast<int>(state.range(0));
  const auto size = qv::vpProjector::depthMapSize(scene.view.projection, width);
  auto tracer = std::make_unique<qv::host::Tracer>();
  std::string error;
  if (!tracer->build(scene.objects, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const View& view = scene.view;
  std::vector<float> depths(static_cast<std::size_t>(size[0]) * size[1]);
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::size_t covered = 0;
  for (auto _ : state) {
    if (rebuild) {
      tracer = std::make_unique<qv::host::Tracer>();
      tracer->build(scene.objects, &error);
    }
    const auto rows = [&](int first, int end) {
      for (int j = first; j < end; ++j) {
        const double sy = (1.0 - 2.0 * (j + 0.5) / size[1]) * view.projection.tanHalfHeight;
        for (int i = 0; i < size[0]; ++i) {
          const double sx = (2.0 * (i + 0.5) / size[0] - 1.0) * view.projection.tanHalfWidth;
          qv::host::Ray ray;
          for (int c = 0; c < 3; ++c) {
            ray.origin[c] = view.eye[c];
            ray.direction[c] = static_cast<float>(sx * view.x[c] + sy * view.y[c] - view.z[c]);
          }
          const auto hit = tracer->nearestSurface(ray);
          depths[static_cast<std::size_t>(j) * size[0] + i] =
              hit ? static_cast<float>(hit->distance) : DepthMap::kNothing;
        }
      }
    };
    std::vector<std::thread> workers;
    for (unsigned b = 0; b < threads; ++b) {
      workers.emplace_back(rows, static_cast<int>(static_cast<long long>(size[1]) * b / threads),
                           static_cast<int>(static_cast<long long>(size[1]) * (b + 1) / threads));
    }
    for (std::thread& worker : workers) worker.join();
    covered = 0;
    for (float depth : depths) covered += depth < DepthMap::kNothing ? 1 : 0;
    benchmark::DoNotOptimize(depths.data());
  }
  state.counters["texels"] = static_cast<double>(size[0]) * size[1];
  state.counters["covered"] = static_cast<double>(covered);
}

void BM_RasteriseBundledSet(benchmark::State& state) {
  rasterise(state, bundledSet());
}
void BM_EmbreeBundledSet(benchmark::State& state) {
  trace(state, bundledSet(), false);
}
void BM_RasteriseTerrain(benchmark::State& state) {
  rasterise(state, terrainScene());
}
void BM_EmbreeTerrain(benchmark::State& state) {
  trace(state, terrainScene(), false);
}
void BM_EmbreeTerrainWithBuild(benchmark::State& state) {
  trace(state, terrainScene(), true);
}
BENCHMARK(BM_RasteriseBundledSet)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmbreeBundledSet)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasteriseTerrain)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmbreeTerrain)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmbreeTerrainWithBuild)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);

// One pixel of the preview through the fragment's CPU reference: a point
// the camera projection paints, with the tests off (0), occlusion against a
// 1024 x 576 map (1), and with the render's dilation looking over the map's
// disc (2).
void BM_PreviewPixel(benchmark::State& state) {
  using qv::maya::reference::Argument;
  const auto* reference = qv::maya::reference::find("qv_vpProjectorFragment");
  std::vector<Argument> a(reference->parameterTypes.size());
  qv::image::Rgba paint(64, 36);
  for (float& value : paint.pixels) value = 0.5f;
  qv::image::Rgba depths(1024, 576);
  for (int y = 0; y < depths.height; ++y) {
    for (int x = 0; x < depths.width; ++x) depths.at(x, y)[0] = x < 600 ? 30.0f : 8.0f;
  }
  const auto paintPicture = qv::image::Picture::fromFloats(paint);
  const auto depthPicture = qv::image::Picture::fromFloats(depths);
  a[1].v[0] = 2;
  for (int k = 2; k <= 5; ++k) a[k].v[0] = 1;
  a[12].v[0] = 2.0f * std::atan(0.5f);
  a[16].v[0] = 90.0f;
  for (int k : {0, 5, 10, 15}) a[21].v[k] = a[24].v[k] = 1.0f;
  a[23].v = {0.5f, 0.2f, -20.0f};
  a[22].v = a[23].v;
  a[25].image = &paintPicture;
  a[27].v = {0.0f, 0.0f, 1.0f};
  a[29].v[0] = 80.0f;  // angleThreshold
  a[30].v[0] = -1.0f;  // distanceThreshold
  a[34].v[0] = 2.0f;   // power
  a[35].v[0] = 0.01f;  // occlusionBias
  const int mode = static_cast<int>(state.range(0));
  if (mode >= 1) {
    a[28].v[0] = 1.0f;  // useFacingRatio
    a[31].v[0] = 1.0f;  // useShadowOcclusion
    a[36].v = {1024.0f, 576.0f, 8.0f};
    a[37].image = &depthPicture;
    a[38].sampler = {qv::gpu::Filter::kNearest, qv::gpu::Address::kClamp, 16.0f};
  }
  if (mode >= 2) a[32].v[0] = 0.15f;  // dilate
  for (auto _ : state) benchmark::DoNotOptimize(reference->evaluate(a.data()));
}
BENCHMARK(BM_PreviewPixel)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
