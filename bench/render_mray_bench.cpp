// qvmray's renderer on a matte-painting set: buildings on rolling ground, a
// painting projected from a camera above it with shadow occlusion and 24
// dilation samples, a fill below, seen from a camera elsewhere, on 1 and 2
// threads; against the same rays (the camera's and every one the shaders
// had the host trace) through a plain Embree scene on as many threads. The
// set comes in four sizes, the first argument of every benchmark, so that
// time, rays per second and memory are seen growing with the work:
//
//   size:0  ground of 80,000 triangles at 1280 x 720 (the figures of earlier
//           runs are this size's)
//   size:1  the same ground, finer: 1,000,000 triangles, 1280 x 720
//   size:2  10,000,000 triangles, 1280 x 720
//   size:3  the set of size 0 at 4096 x 2160
//
//   render_mray_bench --benchmark_filter='size:0/' --benchmark_repetitions=5
//     --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
//
// Each size is loaded, built and its rays recorded on first use, after the
// world of the size before it is freed; benchmarks run size by size, so each
// is built once. Interleaving at random across sizes would rebuild them
// each time: interleave within one size, as above. Every benchmark reports
// the triangles and pixels of its size and peak_MiB, the peak resident
// memory of the process so far.
//
// The rays are recorded as RecordedRays (a ray's 12-byte direction; its
// origin and start stored once for the rays after it that share them). A
// frame of up to qv::bench::kBandRays rays (sizes 0 to 2) is expanded once
// into Embree's rays and traced exactly as before; a larger one (size 3, 138
// million rays) is expanded band by band, untimed, and the same rays traced
// in the same order and runs one band at a time. Size 3 then peaks near
// 3.4 GB, where its rays alone as 48-byte RTCRays would take 6.6 GB.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <embree3/rtcore.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
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

// The set at one size: 2 * grid * grid ground triangles seen at
// width x height.
struct SetSize {
  int grid;
  int width, height;
};

const SetSize kSizes[] = {{200, 1280, 720}, {707, 1280, 720}, {2236, 1280, 720}, {200, 4096, 2160}};
constexpr int kSizeCount = static_cast<int>(std::size(kSizes));
constexpr float kExtent = 40.0f;
// The painting keeps its size whatever the frame's.
constexpr int kPaintingWidth = 1280, kPaintingHeight = 720;

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "render_mray_bench: %s\n", message.c_str());
  std::exit(1);
}

// ---------------------------------------------------------------------------
// The recording pass binds the library to this executable, whose
// mi_trace_transparent notes each ray and hands it to the host's own; timed
// runs stay bound to the host module itself.

using TraceFunction = miBoolean (*)(miColor*, miState*);
TraceFunction gHostTrace = nullptr;
qv::bench::RecordedRays* gRecording = nullptr;

// The start margin the host's tracer gives a shader's ray.
float shaderRayStart(const float org[3]) {
  const double scale =
      std::max({1.0, std::fabs(static_cast<double>(org[0])), std::fabs(static_cast<double>(org[1])),
                std::fabs(static_cast<double>(org[2]))});
  return static_cast<float>(1e-5 * scale);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) miBoolean mi_trace_transparent(miColor* result,
                                                                                 miState* state) {
  const miBoolean traced = gHostTrace ? gHostTrace(result, state) : miFALSE;
  if (traced && gRecording && state) {
    // The directions are unit length.
    const float org[3] = {state->point.x, state->point.y, state->point.z};
    const float dir[3] = {state->dir.x, state->dir.y, state->dir.z};
    gRecording->add(org, dir, shaderRayStart(org), std::numeric_limits<float>::infinity());
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

std::string sceneText(const SetSize& size) {
  float projector[16], view[16];
  const float projectorEye[3] = {0, 25, 45}, viewEye[3] = {38, 18, -30}, origin[3] = {0, 0, 0};
  lookAt(projectorEye, origin, projector);
  lookAt(viewEye, origin, view);
  const std::string placement = matrixText(projector);
  std::string text =
      "color texture \"painting\" \"in-memory\"\n"
      "camera \"view\" transform " +
      matrixText(view) + "focal 35 aperture 36 resolution " + std::to_string(size.width) + " " +
      std::to_string(size.height) +
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
  explicit World(const SetSize& size) {
    std::string loadError;
    if (!library.load(QV_SHADER_LIBRARY, &loadError)) die(loadError);
    qv::mrhost::MiReadOptions reading;
    reading.declarations = &library.declarations();
    const qv::mrhost::MiParseResult parsed =
        qv::mrhost::parseMi(sceneText(size), "bench.mi", reading);
    if (!parsed.scene) die(parsed.error);
    scene = *parsed.scene;
    std::vector<SceneObject> objects{qv::bench::terrain(size.grid, kExtent)};
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
    pixels = static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height);
    bare = std::make_unique<qv::bench::BareEmbreeScene>(all);
    std::string error;
    if (!tracer.build(std::move(objects), &error)) die(error);

    qv::image::Rgba painting(kPaintingWidth, kPaintingHeight);
    for (int y = 0; y < kPaintingHeight; ++y) {
      for (int x = 0; x < kPaintingWidth; ++x) {
        float* p = painting.at(x, y);
        p[0] = static_cast<float>(x) / kPaintingWidth;
        p[1] = static_cast<float>(y) / kPaintingHeight;
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
    record(size);
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

  // Every ray of one render: the camera's from the eye, then the shaders'
  // with the start margin the host's tracer gives them.
  void record(const SetSize& size) {
    for (int y = 0; y < size.height; ++y) {
      for (int x = 0; x < size.width; ++x) {
        const qv::host::Ray ray = qv::mrhost::cameraRay(*scene.camera, x + 0.5, y + 0.5);
        const float org[3] = {static_cast<float>(ray.origin[0]), static_cast<float>(ray.origin[1]),
                              static_cast<float>(ray.origin[2])};
        recording.add(org, ray.direction, 0.0f, std::numeric_limits<float>::infinity());
      }
    }
    bind(self);
    gRecording = &recording;
    const qv::mrhost::RenderResult recorded = render(1);
    gRecording = nullptr;
    bind(host);
    if (render(1).image.pixels != recorded.image.pixels) die("recording changed the image");
    if (recording.size() != recorded.rays) die("rays went unrecorded");
    rayCount = recording.size();
    bands = qv::bench::bandCount(rayCount);
    shadingPoints = recorded.shadingPoints;
  }

  // Band b of bands, in Embree's terms. A frame of one band is expanded once
  // and its recording dropped.
  const std::vector<RTCRay>& band(std::size_t b) {
    if (b == expandedBand) return rays;
    const std::size_t first = rayCount * b / bands, last = rayCount * (b + 1) / bands;
    rays.clear();
    rays.reserve(last - first);
    recording.forEach(first, last,
                      [this](const float* org, const float* dir, float tnear, float tfar) {
                        rays.push_back(qv::bench::embreeRay(org, dir, tnear, tfar));
                      });
    expandedBand = b;
    if (bands == 1) recording.release();
    return rays;
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
  std::size_t pixels = 0;
  qv::bench::RecordedRays recording;
  std::size_t rayCount = 0;
  std::size_t bands = 1;
  std::size_t expandedBand = static_cast<std::size_t>(-1);
  std::vector<RTCRay> rays;  // band expandedBand
  std::uint64_t shadingPoints = 0;
};

World& world(const benchmark::State& state) {
  return qv::bench::worldOfSize<World, kSizeCount>(static_cast<int>(state.range(0)), [](int size) {
    return std::make_unique<World>(kSizes[size]);
  });
}

void setRates(benchmark::State& state, const World& w, double shadingPoints, double rays) {
  using benchmark::Counter;
  state.counters["shading_points/s"] = Counter(shadingPoints, Counter::kIsIterationInvariantRate);
  state.counters["rays/s"] = Counter(rays, Counter::kIsIterationInvariantRate);
  state.counters["rays_per_pixel"] = rays / static_cast<double>(w.pixels);
  state.counters["triangles"] = static_cast<double>(w.triangles);
  state.counters["pixels"] = static_cast<double>(w.pixels);
  state.counters["peak_MiB"] = qv::bench::processMemoryMiB("VmHWM");
}

// Arguments: size, threads.
void BM_Render(benchmark::State& state) {
  World& w = world(state);
  const int threads = static_cast<int>(state.range(1));
  qv::mrhost::RenderResult last;
  for (auto _ : state) {
    last = w.render(threads);
    benchmark::DoNotOptimize(last.image.pixels.data());
  }
  setRates(state, w, static_cast<double>(last.shadingPoints), static_cast<double>(last.rays));
}

// The recorded rays through rtcIntersect1 on a scene without filters, handed
// out to the threads in runs of consecutive rays as the renderer hands out
// rows; a frame of several bands, band after band, each expanded untimed.
// Arguments: size, threads.
void BM_BareEmbree(benchmark::State& state) {
  World& w = world(state);
  const auto threads = static_cast<std::size_t>(state.range(1));
  const RTCScene scene = w.bare->scene();
  constexpr std::size_t kRun = 4096;
  std::vector<std::size_t> hits(threads);
  const auto traceBand = [&](const std::vector<RTCRay>& rays) {
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
  };
  if (w.bands == 1) {
    const std::vector<RTCRay>& rays = w.band(0);
    for (auto _ : state) traceBand(rays);
  } else {
    for (auto _ : state) {
      for (std::size_t b = 0; b < w.bands; ++b) {
        state.PauseTiming();
        const std::vector<RTCRay>& rays = w.band(b);
        state.ResumeTiming();
        traceBand(rays);
      }
    }
  }
  setRates(state, w, static_cast<double>(w.shadingPoints), static_cast<double>(w.rayCount));
}

// Size by size, so that each world is built once; within a size the render
// and its bare rays alternate, so that each pair runs close in time.
[[maybe_unused]] const bool kRegistered = [] {
  for (int size = 0; size < kSizeCount; ++size) {
    for (int threads = 1; threads <= 2; ++threads) {
      benchmark::RegisterBenchmark("BM_Render", BM_Render)
          ->ArgNames({"size", "threads"})
          ->Args({size, threads})
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
      benchmark::RegisterBenchmark("BM_BareEmbree", BM_BareEmbree)
          ->ArgNames({"size", "threads"})
          ->Args({size, threads})
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
