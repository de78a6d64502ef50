// qv_shotWeave loaded from disk and bound to the stand-in mental ray host,
// shading points of a terrain of about 125,000 triangles through 1, 4 and 16
// layers with occlusion off and on, against the bare cost of the rays it has
// the host trace: the same rays through the host's tracer and through a plain
// Embree scene. Every rate counts shading points, so rates compare directly.
//
//   mray_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <embree3/rtcore.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "mi_scene.h"
#include "mrhost/render_context.h"
#include "render_session.h"
#include "shader.h"
#include "shader_library.h"
#include "terrain.h"
#include "tracer.h"
#include "weave_instance.h"

namespace {

using qv::host::SceneObject;
using qv::host::SurfaceId;

constexpr int kGrid = 250;  // quads per side: 2 * 250 * 250 = 125,000 triangles
constexpr float kExtent = 50.0f;
constexpr std::size_t kPointCount = 20000;
constexpr int kMaxLayers = 16;
constexpr float kCamera[3] = {0.0f, 30.0f, 70.0f};

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "mray_bench: %s\n", message.c_str());
  std::exit(1);
}

// ---------------------------------------------------------------------------
// The recording pass binds the library to this executable, whose
// mi_trace_transparent notes each ray and hands it to the host's own; every
// other host function is the host's, found through this executable's
// dependencies. Timed runs stay bound to the host module itself.

struct RecordedRay {
  float org[3];
  float dir[3];
  SurfaceId skip;
  bool hasSkip = false;
};

using TraceFunction = miBoolean (*)(miColor*, miState*);
TraceFunction gHostTrace = nullptr;
std::vector<RecordedRay>* gRecording = nullptr;
std::size_t gRecorderCalls = 0;

}  // namespace

extern "C" __attribute__((visibility("default"))) miBoolean mi_trace_transparent(miColor* result,
                                                                                 miState* state) {
  ++gRecorderCalls;
  const miBoolean traced = gHostTrace ? gHostTrace(result, state) : miFALSE;
  // A trace the host refused never reached its tracer.
  if (traced && gRecording && state) {
    RecordedRay ray;
    ray.org[0] = state->point.x;
    ray.org[1] = state->point.y;
    ray.org[2] = state->point.z;
    ray.dir[0] = state->dir.x;
    ray.dir[1] = state->dir.y;
    ray.dir[2] = state->dir.z;
    if (state->pri) {
      ray.skip = *qv::mrhost::surfaceOf(state);
      ray.hasSkip = true;
    }
    gRecording->push_back(ray);
  }
  return traced;
}

namespace {

miVector unit(double x, double y, double z) {
  const double l = std::sqrt(x * x + y * y + z * z);
  return {static_cast<float>(x / l), static_cast<float>(y / l), static_cast<float>(z / l)};
}

// A point the camera's ray met at a triangle's centroid, with that triangle,
// which mental ray hands shaders as the primitive shaded.
struct Point {
  qv::mrhost::ShadingPoint shading;
  SurfaceId surface;
};

std::vector<Point> shadingPoints(const SceneObject& object, std::size_t count) {
  std::vector<Point> points;
  const auto& mesh = object.mesh;
  const std::size_t stride = mesh.triangles.size() / count;
  for (std::size_t t = 0; t < mesh.triangles.size() && points.size() < count; t += stride) {
    const qv::bench::TriangleFrame f = qv::bench::triangleFrame(mesh, t);
    Point p;
    p.shading.normal = unit(f.normal[0], f.normal[1], f.normal[2]);
    p.shading.point = {static_cast<float>(f.centroid[0]), static_cast<float>(f.centroid[1]),
                       static_cast<float>(f.centroid[2])};
    p.shading.dir = unit(p.shading.point.x - kCamera[0], p.shading.point.y - kCamera[1],
                         p.shading.point.z - kCamera[2]);
    p.surface = {0, static_cast<std::uint32_t>(t)};
    points.push_back(p);
  }
  return points;
}

// Projectors over the terrain at heights of 15 to 45, from near its middle
// out to its edges: the lower and further out, the more the hills hide.
std::vector<miVector> projectors() {
  std::vector<miVector> out;
  for (int i = 0; i < kMaxLayers; ++i) {
    const double angle = 2.39996 * i;  // the golden angle spreads them round
    const double radius = 8.0 + 42.0 * ((i * 7) % kMaxLayers) / (kMaxLayers - 1.0);
    const double height = 15.0 + 30.0 * ((i * 5) % kMaxLayers) / (kMaxLayers - 1.0);
    out.push_back({static_cast<float>(radius * std::cos(angle)), static_cast<float>(height),
                   static_cast<float>(radius * std::sin(angle))});
  }
  return out;
}

// The layers of a configuration are spread over all the projectors.
std::vector<miVector> layerProjectors(int layers) {
  const std::vector<miVector> all = projectors();
  std::vector<miVector> out;
  for (int i = 0; i < layers; ++i)
    out.push_back(all[static_cast<std::size_t>(i * kMaxLayers / layers)]);
  return out;
}

std::string miText(int layers, bool occlusion) {
  std::string text = "shader \"weave\" \"qv_shotWeave\" (\n  \"layers\" [\n";
  const std::vector<miVector> places = layerProjectors(layers);
  for (int i = 0; i < layers; ++i) {
    const miVector& p = places[static_cast<std::size_t>(i)];
    char layer[640];
    std::snprintf(layer, sizeof layer,
                  "    { \"color\" %g %g %g, \"mask\" 1, "
                  "\"placementMatrix\" 1 0 0 0 0 1 0 0 0 0 1 0 %.9g %.9g %.9g 1, "
                  "\"useShadowOcclusion\" %s, \"dilate\" 1.5, \"samples\" 8, "
                  "\"softEdge\" 0.5, \"power\" 1, \"angleThreshold\" 90, \"premult\" off }%s\n",
                  0.2 + 0.05 * i, 0.9 - 0.05 * i, 0.5, p.x, p.y, p.z, occlusion ? "on" : "off",
                  i + 1 < layers ? "," : "");
    text += layer;
  }
  return text + "  ] )\n";
}

// The library as the host loads it; the recorder hands each ray on to the
// host's own mi_trace_transparent.
struct Library : qv::bench::ReboundShaderLibrary {
  Library()
      : ReboundShaderLibrary(QV_SHADER_LIBRARY, QV_MENTALRAY_HOST_LIBRARY,
                             reinterpret_cast<const void*>(&mi_trace_transparent)) {
    gHostTrace = hostTrace;
  }
};

struct World {
  World() {
    std::vector<SceneObject> objects{qv::bench::terrain(kGrid, kExtent)};
    triangles = objects[0].mesh.triangles.size();
    points = shadingPoints(objects[0], kPointCount);
    for (const Point& p : points) sessionPoints.push_back(p.shading);
    bare = std::make_unique<qv::bench::BareEmbreeScene>(objects[0].mesh);
    std::string error;
    if (!tracer.build(std::move(objects), &error)) die(error);
  }

  Library library;
  qv::host::Tracer tracer;
  std::unique_ptr<qv::bench::BareEmbreeScene> bare;
  std::size_t triangles = 0;
  std::vector<Point> points;
  std::vector<qv::mrhost::ShadingPoint> sessionPoints;
};

World& world() {
  static World instance;
  return instance;
}

constexpr std::size_t kResultWords = 132 / 4;
constexpr std::size_t kAlphaWord = 12;

// The instance of a layer count and occlusion setting.
class Weave {
 public:
  Weave(int layers, bool occlusion)
      : instance_(miText(layers, occlusion), "bench.mi", world().library.shaders, world().tracer) {}

  bool shade(const Point& point, std::uint32_t* result) {
    return instance_.shade(point.shading, point.surface, result, kResultWords);
  }
  const qv::mrhost::MiScene& scene() const { return instance_.scene(); }

 private:
  qv::bench::WeaveInstance instance_;
};

// Every point shaded once; the whole result records, for comparing runs.
std::vector<std::uint32_t> shadeAll(Weave& weave) {
  const std::vector<Point>& points = world().points;
  std::vector<std::uint32_t> results(points.size() * kResultWords);
  for (std::size_t i = 0; i < points.size(); ++i)
    weave.shade(points[i], &results[i * kResultWords]);
  return results;
}

// The rays one shading of every point had the host trace, as Embree takes
// them too: the start margin is the one the host's tracer applies.
struct Recording {
  std::vector<RecordedRay> rays;
  std::vector<RTCRay> bare;
  double centralBlocked = 0.0;  // share of point and projector pairs the terrain parts
  double shaderBlocked = 0.0;   // share of straight rays the shader took as blocked
};

bool sameDirection(const float a[3], const miVector& b) {
  return std::fabs(a[0] - b.x) < 1e-5f && std::fabs(a[1] - b.y) < 1e-5f &&
         std::fabs(a[2] - b.z) < 1e-5f;
}

bool sameOrigin(const RecordedRay& a, const RecordedRay& b) {
  return std::memcmp(a.org, b.org, sizeof a.org) == 0;
}

// Where the shader took a layer's straight ray as blocked, no soft samples
// follow it. Layers run last to first, each opening with its straight ray,
// which tells where the previous layer's samples end.
double shaderBlockedShare(const std::vector<RecordedRay>& rays, int layers) {
  const std::vector<miVector> places = layerProjectors(layers);
  const std::vector<Point>& points = world().points;
  std::size_t k = 0, alone = 0;
  for (const Point& point : points) {
    const miVector& p = point.shading.point;
    std::vector<miVector> straight;
    for (const miVector& place : places) {
      const miVector d{place.x - p.x, place.y - p.y, place.z - p.z};
      const float distance = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
      straight.push_back({d.x / distance, d.y / distance, d.z / distance});
    }
    for (int layer = layers - 1; layer >= 0; --layer) {
      if (k >= rays.size() || !sameDirection(rays[k].dir, straight[layer])) {
        die("the recorded rays do not follow the layers");
      }
      const std::size_t first = k++;
      while (k < rays.size() && sameOrigin(rays[k], rays[first]) &&
             !(layer > 0 && sameDirection(rays[k].dir, straight[layer - 1]))) {
        ++k;
      }
      alone += k == first + 1;
    }
  }
  if (k != rays.size()) die("more rays were recorded than the layers account for");
  return static_cast<double>(alone) / static_cast<double>(points.size() * places.size());
}

double centralBlockedShare(int layers) {
  const World& w = world();
  const std::vector<miVector> places = layerProjectors(layers);
  std::size_t blocked = 0;
  for (const Point& p : w.points) {
    for (const miVector& place : places) {
      qv::host::Ray ray;
      ray.origin[0] = p.shading.point.x;
      ray.origin[1] = p.shading.point.y;
      ray.origin[2] = p.shading.point.z;
      ray.direction[0] = place.x - p.shading.point.x;
      ray.direction[1] = place.y - p.shading.point.y;
      ray.direction[2] = place.z - p.shading.point.z;
      ray.tmax = 1.0;  // the projector itself
      ray.skip = &p.surface;
      blocked += w.tracer.transmittance(ray) == 0.0f;
    }
  }
  return static_cast<double>(blocked) / static_cast<double>(w.points.size() * places.size());
}

RTCRay bareRay(const RecordedRay& r) {
  const double length = std::sqrt(static_cast<double>(r.dir[0]) * r.dir[0] +
                                  static_cast<double>(r.dir[1]) * r.dir[1] +
                                  static_cast<double>(r.dir[2]) * r.dir[2]);
  const double scale = std::max({1.0, std::fabs(static_cast<double>(r.org[0])),
                                 std::fabs(static_cast<double>(r.org[1])),
                                 std::fabs(static_cast<double>(r.org[2]))});
  return qv::bench::embreeRay(r.org, r.dir, static_cast<float>(1e-5 * scale / length),
                              std::numeric_limits<float>::infinity());
}

const Recording& recording(int layers, bool occlusion) {
  static std::map<std::pair<int, bool>, Recording> cache;
  const auto key = std::make_pair(layers, occlusion);
  if (const auto it = cache.find(key); it != cache.end()) return it->second;
  Library& library = world().library;
  Recording r;
  Weave weave(layers, occlusion);
  library.bind(library.self);
  gRecording = &r.rays;
  const std::vector<std::uint32_t> recorded = shadeAll(weave);
  gRecording = nullptr;
  library.bind(library.host);
  // The recorder must be invisible to the shader, and out of the way once
  // the library is bound to the host again.
  const std::size_t calls = gRecorderCalls;
  if (shadeAll(weave) != recorded) die("recording changed what the shader answers");
  if (gRecorderCalls != calls) die("the library still reaches the recorder");
  for (const RecordedRay& ray : r.rays) r.bare.push_back(bareRay(ray));
  if (occlusion) {
    r.centralBlocked = centralBlockedShare(layers);
    r.shaderBlocked = shaderBlockedShare(r.rays, layers);
  }
  return cache.emplace(key, std::move(r)).first->second;
}

void setCounters(benchmark::State& state, const Recording& r) {
  const double points = static_cast<double>(world().points.size());
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(world().points.size()));
  state.counters["rays_per_point"] = static_cast<double>(r.rays.size()) / points;
  state.counters["central_blocked"] = r.centralBlocked;
  state.counters["shader_blocked"] = r.shaderBlocked;
}

// Arguments: {layers, occlusion}.
void BM_ShotWeave(benchmark::State& state) {
  const int layers = static_cast<int>(state.range(0));
  const bool occlusion = state.range(1) != 0;
  const Recording& r = recording(layers, occlusion);
  const std::vector<Point>& points = world().points;
  Weave weave(layers, occlusion);
  std::uint32_t result[kResultWords];
  const std::size_t calls = gRecorderCalls;
  for (auto _ : state) {
    std::uint32_t sum = 0;
    for (const Point& p : points) {
      weave.shade(p, result);
      sum += result[kAlphaWord];
    }
    benchmark::DoNotOptimize(sum);
  }
  if (gRecorderCalls != calls) state.SkipWithError("the library was bound to the recorder");
  setCounters(state, r);
  state.counters["triangles"] = static_cast<double>(world().triangles);
}

// The same through the host's RenderSession, which first finds each point's
// triangle from its position, as the stand-in's probe does.
void BM_SessionShade(benchmark::State& state) {
  const int layers = static_cast<int>(state.range(0));
  const bool occlusion = state.range(1) != 0;
  const Recording& r = recording(layers, occlusion);
  Weave weave(layers, occlusion);
  qv::mrhost::RenderSession session(weave.scene(), world().tracer, world().library.shaders);
  std::string error;
  if (!session.prepare("weave", &error)) die(error);
  qv::mrhost::ShadingOptions options;
  options.threads = 1;
  for (auto _ : state) {
    const qv::mrhost::ShadingResults results = session.shade(world().sessionPoints, options);
    benchmark::DoNotOptimize(results.values.data());
  }
  setCounters(state, r);
}

// The recorded rays through the host's tracer, as mi_trace_transparent
// hands them over: what tracing alone costs, with the host's filter that
// skips the surface a ray leaves.
void BM_HostTracer(benchmark::State& state) {
  const Recording& r = recording(static_cast<int>(state.range(0)), state.range(1) != 0);
  const qv::host::Tracer& tracer = world().tracer;
  std::size_t hits = 0;
  for (auto _ : state) {
    hits = 0;
    for (const RecordedRay& recorded : r.rays) {
      qv::host::Ray ray;
      for (int k = 0; k < 3; ++k) {
        ray.origin[k] = recorded.org[k];
        ray.direction[k] = recorded.dir[k];
      }
      ray.skip = recorded.hasSkip ? &recorded.skip : nullptr;
      hits += tracer.intersect(ray).has_value();
    }
    benchmark::DoNotOptimize(hits);
  }
  setCounters(state, r);
  state.counters["hit_share"] = r.rays.empty() ? 0.0 : static_cast<double>(hits) / r.rays.size();
}

// The recorded rays through rtcIntersect1 on a scene without filters.
void BM_BareEmbree(benchmark::State& state) {
  const Recording& r = recording(static_cast<int>(state.range(0)), state.range(1) != 0);
  const RTCScene scene = world().bare->scene();
  std::size_t hits = 0;
  for (auto _ : state) {
    hits = 0;
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    for (const RTCRay& ray : r.bare) {
      RTCRayHit rh;
      rh.ray = ray;
      rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
      rh.hit.primID = RTC_INVALID_GEOMETRY_ID;
      rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
      rtcIntersect1(scene, &context, &rh);
      hits += rh.hit.geomID != RTC_INVALID_GEOMETRY_ID;
    }
    benchmark::DoNotOptimize(hits);
  }
  setCounters(state, r);
  state.counters["hit_share"] = r.rays.empty() ? 0.0 : static_cast<double>(hits) / r.rays.size();
}

BENCHMARK(BM_ShotWeave)
    ->ArgNames({"layers", "occlusion"})
    ->ArgsProduct({{1, 4, 16}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SessionShade)
    ->ArgNames({"layers", "occlusion"})
    ->ArgsProduct({{1, 4, 16}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
// With occlusion off the shader traces nothing.
BENCHMARK(BM_HostTracer)
    ->ArgNames({"layers", "occlusion"})
    ->ArgsProduct({{1, 4, 16}, {1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareEmbree)
    ->ArgNames({"layers", "occlusion"})
    ->ArgsProduct({{1, 4, 16}, {1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
