// qvmray's renderer on a matte-painting set: buildings on rolling ground of
// about 80,000 triangles, a painting projected from a camera above it with
// shadow occlusion and 24 dilation samples, a fill below, seen at 1280x720
// from a camera elsewhere, on 1 and 2 threads; against the same rays (the
// camera's and every one the shaders had the host trace) through a plain
// Embree scene on as many threads.
//
//   render_mray_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
//     --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <embree3/rtcore.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mi_render.h"
#include "mi_scene.h"
#include "render_session.h"
#include "shader.h"
#include "shader_library.h"
#include "terrain.h"
#include "tracer.h"

namespace {

using qv::host::SceneObject;

constexpr int kGrid = 200;  // 2 * 200 * 200 = 80,000 ground triangles
constexpr float kExtent = 40.0f;
constexpr int kWidth = 1280, kHeight = 720;

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "render_mray_bench: %s\n", message.c_str());
  std::exit(1);
}

// ---------------------------------------------------------------------------
// The recording pass binds the library to this executable, whose
// mi_trace_transparent notes each ray and hands it to the host's own; timed
// runs stay bound to the host module itself.

struct RecordedRay {
  float org[3];
  float dir[3];
};

using TraceFunction = miBoolean (*)(miColor*, miState*);
TraceFunction gHostTrace = nullptr;
std::vector<RecordedRay>* gRecording = nullptr;

}  // namespace

extern "C" __attribute__((visibility("default"))) miBoolean mi_trace_transparent(miColor* result,
                                                                                 miState* state) {
  const miBoolean traced = gHostTrace ? gHostTrace(result, state) : miFALSE;
  if (traced && gRecording && state) {
    gRecording->push_back({{state->point.x, state->point.y, state->point.z},
                           {state->dir.x, state->dir.y, state->dir.z}});
  }
  return traced;
}

namespace {

// A building: a closed box standing on the ground at (x, z).
SceneObject building(const std::string& name, float x, float z, float halfWidth, float height) {
  SceneObject object;
  object.name = name;
  const float base = qv::bench::terrainHeight(x, z) - 1.0f;
  for (int i = 0; i < 8; ++i) {
    object.mesh.vertices.push_back({x + (i & 1 ? halfWidth : -halfWidth),
                                    i & 2 ? base + height : base,
                                    z + (i & 4 ? halfWidth : -halfWidth)});
  }
  const std::uint32_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                     {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& q : quads) {
    object.mesh.triangles.push_back({q[0], q[1], q[2]});
    object.mesh.triangles.push_back({q[0], q[2], q[3]});
  }
  return object;
}

struct Placed {
  const char* name;
  float x, z, halfWidth, height;
};
const Placed kBuildings[] = {
    {"hall", -6, -4, 3, 9}, {"tower", 5, -2, 2, 16}, {"shed", 12, 6, 2.5f, 5},
    {"mill", -14, 8, 3, 7}, {"block", 2, -16, 4, 8}, {"occluder", -2, 10, 1.5f, 6},
};

std::string matrixText(const float m[16]) {
  std::string text;
  for (int i = 0; i < 16; ++i) {
    char number[32];
    std::snprintf(number, sizeof number, "%.9g ", m[i]);
    text += number;
  }
  return text;
}

// Camera to world, row vectors: looking from eye at target, +y up.
void lookAt(const float eye[3], const float target[3], float m[16]) {
  double z[3] = {eye[0] - target[0], eye[1] - target[1], eye[2] - target[2]};
  const double zl = std::sqrt(z[0] * z[0] + z[1] * z[1] + z[2] * z[2]);
  for (double& c : z) c /= zl;
  double x[3] = {z[2], 0.0, -z[0]};  // up x z
  const double xl = std::sqrt(x[0] * x[0] + x[2] * x[2]);
  for (double& c : x) c /= xl;
  const double y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2],
                       z[0] * x[1] - z[1] * x[0]};
  for (int k = 0; k < 3; ++k) {
    m[k] = static_cast<float>(x[k]);
    m[4 + k] = static_cast<float>(y[k]);
    m[8 + k] = static_cast<float>(z[k]);
    m[12 + k] = eye[k];
  }
  m[3] = m[7] = m[11] = 0.0f;
  m[15] = 1.0f;
}

std::string sceneText() {
  float projector[16], view[16];
  const float projectorEye[3] = {0, 25, 45}, viewEye[3] = {38, 18, -30}, origin[3] = {0, 0, 0};
  lookAt(projectorEye, origin, projector);
  lookAt(viewEye, origin, view);
  const std::string placement = matrixText(projector);
  std::string text =
      "color texture \"painting\" \"in-memory\"\n"
      "camera \"view\" transform " +
      matrixText(view) + "focal 35 aperture 36 resolution " + std::to_string(kWidth) + " " +
      std::to_string(kHeight) +
      " end camera\n"
      "shader \"paint\" \"mib_texture_projection\" ( \"tex\" \"painting\", \"placementMatrix\" " +
      placement +
      ", \"focal\" 35, \"aperture\" 36 )\n"
      "shader \"fill\" \"qv_const\" ( \"color\" 0.1 0.2 0.8, \"opacity\" 1 )\n"
      "shader \"weave\" \"qv_shotWeave\" ( \"layers\" [\n"
      "  { \"color\" = \"paint\", \"mask\" = \"paint\", \"placementMatrix\" " +
      placement +
      ", \"useShadowOcclusion\" on, \"dilate\" 1.5, \"samples\" 24, \"softEdge\" 1,\n"
      "    \"power\" 1, \"angleThreshold\" 85, \"premult\" off },\n"
      "  { \"color\" = \"fill\", \"mask\" 1, \"premult\" off } ] )\n"
      "object \"ground\" file \"in-memory\" material \"weave\" end object\n";
  for (const Placed& b : kBuildings) {
    text +=
        std::string("object \"") + b.name + "\" file \"in-memory\" material \"weave\" end object\n";
  }
  return text;
}

struct World {
  World() {
    std::string loadError;
    if (!library.load(QV_SHADER_LIBRARY, &loadError)) die(loadError);
    qv::mrhost::MiReadOptions reading;
    reading.declarations = &library.declarations();
    const qv::mrhost::MiParseResult parsed = qv::mrhost::parseMi(sceneText(), "bench.mi", reading);
    if (!parsed.scene) die(parsed.error);
    scene = *parsed.scene;
    std::vector<SceneObject> objects{qv::bench::terrain(kGrid, kExtent)};
    for (const Placed& b : kBuildings) {
      objects.push_back(building(b.name, b.x, b.z, b.halfWidth, b.height));
    }
    // The bare scene holds the same triangles as one mesh.
    qv::host::TriangleMesh all;
    for (const SceneObject& object : objects) {
      const auto first = static_cast<std::uint32_t>(all.vertices.size());
      all.vertices.insert(all.vertices.end(), object.mesh.vertices.begin(),
                          object.mesh.vertices.end());
      for (const auto& t : object.mesh.triangles) {
        all.triangles.push_back({first + t[0], first + t[1], first + t[2]});
      }
    }
    triangles = all.triangles.size();
    bare = std::make_unique<qv::bench::BareEmbreeScene>(all);
    std::string error;
    if (!tracer.build(std::move(objects), &error)) die(error);

    qv::image::Rgba painting(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        float* p = painting.at(x, y);
        p[0] = static_cast<float>(x) / kWidth;
        p[1] = static_cast<float>(y) / kHeight;
        p[2] = static_cast<float>((x / 32 + y / 32) % 2);
        p[3] = 1.0f;
      }
    }
    textures.push_back(qv::image::Picture::fromFloats(std::move(painting)));

    host = dlopen(QV_MENTALRAY_HOST_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    self = dlopen(nullptr, RTLD_NOW);
    shaderLibrary = dlopen(QV_SHADER_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (!host || !self || !shaderLibrary) die("cannot reopen the loaded modules");
    bind = reinterpret_cast<void (*)(void*)>(dlsym(shaderLibrary, "miSetModuleHandle"));
    gHostTrace = reinterpret_cast<TraceFunction>(dlsym(host, "mi_trace_transparent"));
    if (!bind || !gHostTrace || gHostTrace == &mi_trace_transparent) {
      die("the library or the host lacks its entry points");
    }
    session = std::make_unique<qv::mrhost::RenderSession>(scene, tracer, library, &textures);
    if (!session->prepareMaterials(&error)) die(error);
    record();
  }
  ~World() {
    session.reset();
    dlclose(shaderLibrary);
    dlclose(self);
    dlclose(host);
  }

  qv::mrhost::RenderResult render(int threads) {
    qv::mrhost::RenderOptions options;
    options.threads = threads;
    return qv::mrhost::render(*session, scene, tracer, options);
  }

  // Every ray of one render, in Embree's terms: the camera's from the eye,
  // the shaders' with the start margin the host's tracer gives them.
  void record() {
    std::vector<RecordedRay> traced;
    bind(self);
    gRecording = &traced;
    const qv::mrhost::RenderResult recorded = render(1);
    gRecording = nullptr;
    bind(host);
    if (render(1).image.pixels != recorded.image.pixels) die("recording changed the image");
    if (traced.size() + kWidth * kHeight != recorded.rays) die("rays went unrecorded");
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const qv::host::Ray ray = qv::mrhost::cameraRay(*scene.camera, x + 0.5, y + 0.5);
        rays.push_back(
            embreeRay({{static_cast<float>(ray.origin[0]), static_cast<float>(ray.origin[1]),
                        static_cast<float>(ray.origin[2])},
                       {ray.direction[0], ray.direction[1], ray.direction[2]}},
                      0.0f));
      }
    }
    for (const RecordedRay& r : traced) {
      const double scale = std::max({1.0, std::fabs(static_cast<double>(r.org[0])),
                                     std::fabs(static_cast<double>(r.org[1])),
                                     std::fabs(static_cast<double>(r.org[2]))});
      rays.push_back(embreeRay(r, static_cast<float>(1e-5 * scale)));
    }
    shadingPoints = recorded.shadingPoints;
  }

  // The directions are unit length.
  static RTCRay embreeRay(const RecordedRay& r, float tnear) {
    return qv::bench::embreeRay(r.org, r.dir, tnear, std::numeric_limits<float>::infinity());
  }

  qv::mrhost::MiScene scene;
  qv::host::Tracer tracer;
  std::unique_ptr<qv::bench::BareEmbreeScene> bare;
  std::vector<qv::image::Picture> textures;
  qv::mrhost::ShaderLibraries library;
  std::unique_ptr<qv::mrhost::RenderSession> session;
  void* host = nullptr;
  void* self = nullptr;
  void* shaderLibrary = nullptr;
  void (*bind)(void*) = nullptr;
  std::size_t triangles = 0;
  std::vector<RTCRay> rays;
  std::uint64_t shadingPoints = 0;
};

World& world() {
  static World instance;
  return instance;
}

void setRates(benchmark::State& state, double shadingPoints, double rays) {
  using benchmark::Counter;
  state.counters["shading_points/s"] = Counter(shadingPoints, Counter::kIsIterationInvariantRate);
  state.counters["rays/s"] = Counter(rays, Counter::kIsIterationInvariantRate);
  state.counters["rays_per_pixel"] = rays / (kWidth * kHeight);
  state.counters["triangles"] = static_cast<double>(world().triangles);
}

// Argument: threads.
void BM_Render(benchmark::State& state) {
  World& w = world();
  const int threads = static_cast<int>(state.range(0));
  qv::mrhost::RenderResult last;
  for (auto _ : state) {
    last = w.render(threads);
    benchmark::DoNotOptimize(last.image.pixels.data());
  }
  setRates(state, static_cast<double>(last.shadingPoints), static_cast<double>(last.rays));
}

// The recorded rays through rtcIntersect1 on a scene without filters, handed
// out to the threads in runs of consecutive rays as the renderer hands out
// rows.
void BM_BareEmbree(benchmark::State& state) {
  World& w = world();
  const auto threads = static_cast<std::size_t>(state.range(0));
  const RTCScene scene = w.bare->scene();
  const std::vector<RTCRay>& rays = w.rays;
  constexpr std::size_t kRun = 4096;
  std::vector<std::size_t> hits(threads);
  for (auto _ : state) {
    std::atomic<std::size_t> next{0};
    const auto trace = [&](std::size_t t) {
      RTCIntersectContext context;
      rtcInitIntersectContext(&context);
      std::size_t count = 0;
      for (std::size_t first; (first = kRun * next++) < rays.size();) {
        for (std::size_t i = first; i < std::min(rays.size(), first + kRun); ++i) {
          RTCRayHit rh;
          rh.ray = rays[i];
          rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
          rh.hit.primID = RTC_INVALID_GEOMETRY_ID;
          rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
          rtcIntersect1(scene, &context, &rh);
          count += rh.hit.geomID != RTC_INVALID_GEOMETRY_ID;
        }
      }
      hits[t] = count;
    };
    std::vector<std::thread> workers;
    for (std::size_t t = 1; t < threads; ++t) workers.emplace_back(trace, t);
    trace(0);
    for (std::thread& worker : workers) worker.join();
    benchmark::DoNotOptimize(hits.data());
  }
  setRates(state, static_cast<double>(w.shadingPoints), static_cast<double>(rays.size()));
}

BENCHMARK(BM_Render)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BareEmbree)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
