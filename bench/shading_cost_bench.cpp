// What the plug-ins themselves spend on a shading point and on each ray they
// have the host trace, with tracing taken out: the hosts' trace calls answer
// at once with a constant, so what is left is the plug-ins' own work, the
// host sampler they draw from and the calls into the host. Set against a bare
// floor loop of the arithmetic one jittered ray needs, it shows how much of a
// jittered ray's cost is the plug-in's rather than the recipe's.
//
//   shading_cost_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// BM_VRay/<texture>: V-Ray plug-ins loaded from disk, shaded through the
//   stand-in's ShadingDriver on 20,000 terrain points by a renderer whose
//   traceRay leaves a constant light (light_permille / 1000) and counts the
//   call; its sampler is the host's. A qvVeil has occlusion on and the
//   projection camera above the terrain; dilation:0 is dilation off (one
//   straight ray a point), dilation:1 is dilate 1.5 with 24 samples. The
//   textures: the veil's outMatte, the veil's own colour, and a qvShotWeave
//   over the veil (color_a the veil, matte_a its outMatte, color_b constant),
//   which evaluates the veil's visibility twice a point.
// BM_MentalRay/shotweave: qv_shotWeave loaded from disk by the stand-in
//   mental ray host, one layer with occlusion on, bound to this executable,
//   whose mi_trace_transparent answers "nothing hit" at once and counts the
//   call; every other host function (mi_sample, mi_tri_vectors ...) is the
//   host's. dilation:0 is dilate 0, dilation:1 dilate 1.5 with 24 samples.
// BM_Floor/mray:0 (the veil's recipe), mray:1 (qv_shotWeave's): per jittered
//   ray only what the plug-in's recipe does for it: two draws from an inline
//   xorshift, the angle, one sine and one cosine in single precision, the
//   radius, the disc point and the normalisation (V-Ray: the veil's guarded
//   one; mental ray: qv_shotWeave's), with the results summed so that nothing
//   is thrown away.
//
// Every benchmark times its passes itself (manual time: one pass over all
// points, or over 24 floor rays a point, is one iteration). Counters, all
// averaged over the passes:
//   ns/point, ns/ray       the pass's time per shading point, per traced ray
//   rays/point             traceRay (mi_trace_transparent) calls a point
// and in the dilation:1 runs, from a dilation-off pass and a floor pass run
// right after each timed pass, so that all three see the same machine:
//   jittered/point         rays/point less the dilation-off pass's
//   ns/point_off           the dilation-off pass's time per point
//   ns/jittered_ray        (time with 24 samples - time with dilation off)
//                          / jittered rays: what one jittered ray costs the
//                          plug-in, straight ray and per-point work excluded
//   floor_ns/ray           the host's floor loop over as many rays
//   x_floor                ns/jittered_ray / floor_ns/ray: the figure to read
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "mi_scene.h"
#include "mrhost/render_context.h"
#include "plugin_manager.h"
#include "render_session.h"
#include "renderer.h"
#include "scene.h"
#include "shader.h"
#include "shader_library.h"
#include "shading_driver.h"
#include "terrain.h"
#include "tracer.h"
#include "vrscene.h"
#include "weave_instance.h"

namespace {

using qv::host::SceneObject;
using qv::host::SurfaceId;

constexpr int kGrid = 250;  // quads per side: 2 * 250 * 250 = 125,000 triangles
constexpr float kExtent = 50.0f;
constexpr std::size_t kPointCount = 20000;
// The projection camera (and the mental ray eye), above the terrain.
constexpr float kProjector[3] = {0.0f, 30.0f, 70.0f};
constexpr float kDilate = 1.5f;
constexpr int kSamples = 24;
constexpr double kTwoPi = 6.283185307179586;

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "shading_cost_bench: %s\n", message.c_str());
  std::exit(1);
}

template <typename Pass>
double secondsOf(Pass&& pass) {
  const auto start = std::chrono::steady_clock::now();
  pass();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The trace calls the library made since the mental ray recording began.
std::uint64_t gTraces = 0;
miState gMissed{};  // the child state of a ray that hit nothing

}  // namespace

// The library, bound to this executable, traces here: nothing is ever hit,
// as the host answers a ray that leaves the scene.
extern "C" __attribute__((visibility("default"))) miBoolean mi_trace_transparent(miColor* result,
                                                                                 miState* state) {
  ++gTraces;
  gMissed.dist = -1.0;
  state->child = &gMissed;
  *result = miColor{0.0f, 0.0f, 0.0f, 0.0f};
  return miTRUE;
}

namespace {

// ---------------------------------------------------------------------------
// The floor.

struct V3 {
  float x, y, z;
};

// The trivial sampler: one xorshift step a draw, inlined, no table, no call.
struct Xorshift {
  std::uint64_t s = 0x9e3779b97f4a7c15ULL;
  std::uint64_t next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
  float unitFloat() { return static_cast<float>(next() >> 40) * (1.0f / 16777216.0f); }
  double unitDouble() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
};

// One point's disc: the camera position, the point and the disc's axes.
struct Disc {
  V3 k, p, u, v;
  float dilate, softEdge;
  int samples;
};

Disc floorDisc(float softEdge) {
  Disc d{{kProjector[0], kProjector[1], kProjector[2]},
         {1.25f, 2.5f, -3.75f},
         {0.8f, 0.0f, -0.6f},
         {-0.36f, 0.8f, -0.48f},
         kDilate,
         softEdge,
         kSamples};
  // Nothing of the disc may be folded into the loop: the plug-in reads it.
  benchmark::DoNotOptimize(d);
  return d;
}

// The veil's guarded normalisation.
inline V3 guardedNormalize(const V3& v) {
  const float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  const float ax = std::fabs(v.x), ay = std::fabs(v.y), az = std::fabs(v.z);
  const float m = ax > ay ? (ax > az ? ax : az) : (ay > az ? ay : az);
  if (l * 1e18f > m) return {v.x / l, v.y / l, v.z / l};
  return v;
}

// qv_shotWeave's: a zero vector is left as it is.
inline V3 normalized(const V3& v) {
  const float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return l != 0.0f ? V3{v.x / l, v.y / l, v.z / l} : v;
}

// The veil's jittered rays for `points` points, as its dilation aims them.
float vrayFloor(std::size_t points, const Disc& d) {
  Xorshift sampler;
  float sum = 0.0f;
  for (std::size_t n = 0; n < points; ++n) {
    for (int i = 1; i <= d.samples; ++i) {
      const float u1 = sampler.unitFloat();
      const float u2 = sampler.unitFloat();
      float r = u2;
      if (d.softEdge > 0.0f) r = u2 - (1.0f / static_cast<float>(i)) * u2 * d.softEdge;
      r = r * d.dilate;
      const float theta = static_cast<float>(static_cast<double>(u1) * kTwoPi);
      const float a = r * std::sin(theta);
      const float b = r * std::cos(theta);
      const V3 q{d.k.x + d.u.x * a + d.v.x * b, d.k.y + d.u.y * a + d.v.y * b,
                 d.k.z + d.u.z * a + d.v.z * b};
      const V3 dir = guardedNormalize({q.x - d.p.x, q.y - d.p.y, q.z - d.p.z});
      sum += dir.x + dir.y + dir.z;
    }
    benchmark::DoNotOptimize(sum);
  }
  return sum;
}

// qv_shotWeave's soft samples for `points` points.
float mrayFloor(std::size_t points, const Disc& d) {
  Xorshift sampler;
  float sum = 0.0f;
  for (std::size_t n = 0; n < points; ++n) {
    for (int i = 0; i < d.samples; ++i) {
      const double s0 = sampler.unitDouble();
      const double s1 = sampler.unitDouble();
      const float rho = static_cast<float>(d.dilate * s0);
      const float theta = static_cast<float>(kTwoPi * s1);
      const float a = rho * std::cos(theta);
      const float b = rho * std::sin(theta);
      const V3 target{d.k.x + a * d.u.x + b * d.v.x, d.k.y + a * d.u.y + b * d.v.y,
                      d.k.z + a * d.u.z + b * d.v.z};
      const V3 dir = normalized({target.x - d.p.x, target.y - d.p.y, target.z - d.p.z});
      sum += dir.x + dir.y + dir.z;
    }
    benchmark::DoNotOptimize(sum);
  }
  return sum;
}

enum class Host { VRay, MentalRay };

// The floor over `rays` rays, kSamples a point (a remainder is left out; the
// count done is returned in *done). The veil's soft edge is off, as it is in
// the V-Ray scenes; qv_shotWeave's is 0.5, as in its layer.
double floorSeconds(Host host, std::uint64_t rays, std::uint64_t* done) {
  const std::size_t points = static_cast<std::size_t>(rays / kSamples);
  *done += static_cast<std::uint64_t>(points) * kSamples;
  if (host == Host::VRay) {
    const Disc d = floorDisc(0.0f);
    return secondsOf([&] { benchmark::DoNotOptimize(vrayFloor(points, d)); });
  }
  const Disc d = floorDisc(0.5f);
  return secondsOf([&] { benchmark::DoNotOptimize(mrayFloor(points, d)); });
}

// ---------------------------------------------------------------------------
// What a pass measured, summed over a benchmark's iterations.

struct Tally {
  double seconds = 0.0;
  std::uint64_t rays = 0;
  std::uint64_t points = 0;
};

struct PairTally {
  Tally dilated, off;
  double floorSeconds = 0.0;
  std::uint64_t floorRays = 0;

  // After a dilated pass and a dilation-off pass: the floor over as many
  // rays as the dilated pass jittered.
  void addFloor(Host host, const Tally& dilatedBefore, const Tally& offBefore) {
    const std::uint64_t jittered =
        (dilated.rays - dilatedBefore.rays) - (off.rays - offBefore.rays);
    floorSeconds += ::floorSeconds(host, jittered, &floorRays);
  }
};

double nanos(double seconds, double count) {
  return count > 0.0 ? 1e9 * seconds / count : 0.0;
}

void setPassCounters(benchmark::State& state, const Tally& t) {
  state.counters["ns/point"] = nanos(t.seconds, static_cast<double>(t.points));
  state.counters["ns/ray"] = nanos(t.seconds, static_cast<double>(t.rays));
  state.counters["rays/point"] =
      t.points ? static_cast<double>(t.rays) / static_cast<double>(t.points) : 0.0;
  state.SetItemsProcessed(static_cast<int64_t>(t.points));
}

void setPairCounters(benchmark::State& state, const PairTally& t) {
  setPassCounters(state, t.dilated);
  const double jittered = static_cast<double>(t.dilated.rays) - static_cast<double>(t.off.rays);
  const double points = static_cast<double>(t.dilated.points);
  state.counters["jittered/point"] = points > 0.0 ? jittered / points : 0.0;
  state.counters["ns/point_off"] = nanos(t.off.seconds, static_cast<double>(t.off.points));
  const double perJittered = nanos(t.dilated.seconds - t.off.seconds, jittered);
  const double floor = nanos(t.floorSeconds, static_cast<double>(t.floorRays));
  state.counters["ns/jittered_ray"] = perJittered;
  state.counters["floor_ns/ray"] = floor;
  state.counters["x_floor"] = floor > 0.0 ? perJittered / floor : 0.0;
}

// ---------------------------------------------------------------------------
// The shading points: centroids of a spread of the terrain's triangles.

struct MrayPoint {
  qv::mrhost::ShadingPoint shading;
  SurfaceId surface;
};

miVector unit(double x, double y, double z) {
  const double l = std::sqrt(x * x + y * y + z * z);
  return {static_cast<float>(x / l), static_cast<float>(y / l), static_cast<float>(z / l)};
}

// The library as the host loads it, ready to be bound to this executable.
struct Library : qv::bench::ReboundShaderLibrary {
  Library()
      : ReboundShaderLibrary(QV_SHADER_LIBRARY, QV_MENTALRAY_HOST_LIBRARY,
                             reinterpret_cast<const void*>(&mi_trace_transparent)) {}
};

struct World {
  World() {
    std::vector<SceneObject> objects{qv::bench::terrain(kGrid, kExtent)};
    const auto& mesh = objects[0].mesh;
    const std::size_t stride = mesh.triangles.size() / kPointCount;
    for (std::size_t t = 0; t < mesh.triangles.size() && vrayPoints.size() < kPointCount;
         t += stride) {
      const qv::bench::TriangleFrame f = qv::bench::triangleFrame(mesh, t);
      const SurfaceId surface{0, static_cast<std::uint32_t>(t)};
      qv::vrayhost::ShadingPoint v;
      v.p = VUtils::TracePoint(f.centroid[0], f.centroid[1], f.centroid[2]);
      v.n = VUtils::ShadeVec(static_cast<float>(f.normal[0]), static_cast<float>(f.normal[1]),
                             static_cast<float>(f.normal[2]));
      v.onSurface = true;
      v.surface = surface;
      vrayPoints.push_back(v);
      MrayPoint m;
      m.shading.normal = unit(f.normal[0], f.normal[1], f.normal[2]);
      m.shading.point = {static_cast<float>(f.centroid[0]), static_cast<float>(f.centroid[1]),
                         static_cast<float>(f.centroid[2])};
      m.shading.dir = unit(m.shading.point.x - kProjector[0], m.shading.point.y - kProjector[1],
                           m.shading.point.z - kProjector[2]);
      m.surface = surface;
      mrayPoints.push_back(m);
    }
    // The mental ray host answers the shader's triangle and label queries
    // from the tracer's objects; nothing is traced through it.
    std::string error;
    if (!tracer.build(std::move(objects), &error)) die(error);
    if (!manager.loadDirectory(QV_PLUGIN_DIR, &error)) die(error);
  }

  std::vector<qv::vrayhost::ShadingPoint> vrayPoints;
  std::vector<MrayPoint> mrayPoints;
  qv::host::Tracer tracer;
  Library library;
  qv::vrayhost::PluginManager manager;
};

World& world() {
  static World instance;
  return instance;
}

// ---------------------------------------------------------------------------
// V-Ray.

// Every ray passes at once with the same light; the sampler stays the host's.
class ConstantLightRenderer final : public VUtils::VRayRenderer {
 public:
  explicit ConstantLightRenderer(float light) : light_(light) {}
  int getNumThreads() const override { return 1; }
  void traceRay(VUtils::VRayContext& rc) override {
    ++rays_;
    rc.mtlresult.color = VUtils::Color(light_, light_, light_);
  }
  std::uint64_t rays() const { return rays_; }

 private:
  float light_;
  std::uint64_t rays_ = 0;
};

enum class Texture { Matte, Color, Weave };

std::string vrsceneText(bool dilated) {
  char veil[512];
  std::snprintf(veil, sizeof veil,
                "qvVeil veil {\n"
                "  color=AColor(0.9, 0.6, 0.3, 1); colorOffset=AColor(0, 0, 0, 0); mask=1;\n"
                "  placementMatrix=Transform(Matrix(Vector(1, 0, 0), Vector(0, 1, 0), "
                "Vector(0, 0, 1)), Vector(%.9g, %.9g, %.9g));\n"
                "  useShadowOcclusion=1; dilate=%.9g; samples=%d;\n}\n",
                kProjector[0], kProjector[1], kProjector[2], dilated ? kDilate : -1.0f,
                dilated ? kSamples : 1);
  return std::string(veil) +
         "qvShotWeave weave { color_a=veil; matte_a=veil::outMatte; "
         "color_b=AColor(0.1, 0.2, 0.8, 1); }\n";
}

// A veil and a weave over it, with their render and frame hooks run for the
// renderer, shading one of the three textures.
class VRayShading {
 public:
  VRayShading(ConstantLightRenderer& renderer, bool dilated, Texture texture)
      : renderer_(renderer), driver_(renderer, nullptr, options()) {
    const qv::vrscene::ParseResult parsed =
        qv::vrscene::parse(vrsceneText(dilated), "cost.vrscene");
    if (!parsed.scene) die(parsed.error);
    std::string error;
    scene_ = qv::vrayhost::Scene::load(*parsed.scene, world().manager, &error);
    if (!scene_) die(error);
    const char* name = texture == Texture::Matte   ? "veil::outMatte"
                       : texture == Texture::Color ? "veil"
                                                   : "weave";
    qv::vrayhost::TextureOutput out;
    if (!scene_->resolve(name, &out, &error) || !out.color()) die(error);
    texture_ = out.color();
    scene_->renderBegin(&renderer_);
    scene_->frameBegin(&renderer_);
  }
  ~VRayShading() {
    scene_->frameEnd(&renderer_);
    scene_->renderEnd(&renderer_);
  }
  VRayShading(const VRayShading&) = delete;
  VRayShading& operator=(const VRayShading&) = delete;

  // One pass over every point, timed, its rays counted.
  void pass(Tally* t) {
    const std::vector<qv::vrayhost::ShadingPoint>& points = world().vrayPoints;
    const std::uint64_t before = renderer_.rays();
    float sum = 0.0f;
    t->seconds += secondsOf([&] {
      driver_.run(points, [&](const VUtils::VRayContext& rc, std::size_t, int) {
        sum += texture_->texColor(rc).r;
      });
    });
    benchmark::DoNotOptimize(sum);
    t->rays += renderer_.rays() - before;
    t->points += points.size();
  }

 private:
  static qv::vrayhost::ShadingOptions options() {
    qv::vrayhost::ShadingOptions o;
    o.asksPerPoint = 1;
    return o;
  }

  ConstantLightRenderer& renderer_;
  qv::vrayhost::ShadingDriver driver_;
  std::unique_ptr<qv::vrayhost::Scene> scene_;
  VUtils::TextureInterface* texture_ = nullptr;
};

// Arguments: {dilation, light in thousandths}.
void BM_VRay(benchmark::State& state, Texture texture) {
  const bool dilated = state.range(0) != 0;
  const float light = static_cast<float>(state.range(1)) / 1000.0f;
  ConstantLightRenderer renderer(light), offRenderer(light);
  VRayShading shading(renderer, dilated, texture);
  std::unique_ptr<VRayShading> off;
  if (dilated) off = std::make_unique<VRayShading>(offRenderer, false, texture);
  PairTally t;
  for (auto _ : state) {
    const PairTally before = t;
    shading.pass(&t.dilated);
    state.SetIterationTime(t.dilated.seconds - before.dilated.seconds);
    if (off) {
      off->pass(&t.off);
      t.addFloor(Host::VRay, before.dilated, before.off);
    }
  }
  if (dilated) {
    setPairCounters(state, t);
  } else {
    setPassCounters(state, t.dilated);
  }
}

// ---------------------------------------------------------------------------
// mental ray.

constexpr std::size_t kResultWords = 132 / 4;
constexpr std::size_t kAlphaWord = 12;

std::string miText(bool dilated) {
  char text[768];
  std::snprintf(text, sizeof text,
                "shader \"weave\" \"qv_shotWeave\" (\n  \"layers\" [\n"
                "    { \"color\" 0.2 0.9 0.5, \"mask\" 1, "
                "\"placementMatrix\" 1 0 0 0 0 1 0 0 0 0 1 0 %.9g %.9g %.9g 1, "
                "\"useShadowOcclusion\" on, \"dilate\" %.9g, \"samples\" %d, "
                "\"softEdge\" 0.5, \"power\" 1, \"angleThreshold\" 90, \"premult\" off }\n"
                "  ] )\n",
                kProjector[0], kProjector[1], kProjector[2], dilated ? kDilate : 0.0f, kSamples);
  return text;
}

// One qv_shotWeave instance, dilated or not, shaded pass after pass.
class Weave {
 public:
  explicit Weave(bool dilated)
      : instance_(miText(dilated), "cost.mi", world().library.shaders, world().tracer) {}

  void shade(const MrayPoint& point, std::uint32_t* result) {
    instance_.shade(point.shading, point.surface, result, kResultWords);
  }

  // One pass over every point, timed, its rays counted.
  void pass(Tally* t) {
    const std::vector<MrayPoint>& points = world().mrayPoints;
    std::uint32_t result[kResultWords];
    std::uint32_t sum = 0;
    const std::uint64_t before = gTraces;
    t->seconds += secondsOf([&] {
      for (const MrayPoint& p : points) {
        shade(p, result);
        sum += result[kAlphaWord];
      }
    });
    benchmark::DoNotOptimize(sum);
    t->rays += gTraces - before;
    t->points += points.size();
  }

 private:
  qv::bench::WeaveInstance instance_;
};

// The library traces through this executable for the benchmark's length;
// bound to the host it must not reach it, or the timings would mix the two.
class BoundToSelf {
 public:
  explicit BoundToSelf(Weave& weave) : library_(world().library) {
    std::uint32_t result[kResultWords];
    const std::uint64_t before = gTraces;
    weave.shade(world().mrayPoints.front(), result);
    if (gTraces != before) die("the library reaches this executable while bound to the host");
    library_.bind(library_.self);
    weave.shade(world().mrayPoints.front(), result);
    if (gTraces == before) die("the library does not trace through this executable");
  }
  ~BoundToSelf() { library_.bind(library_.host); }
  BoundToSelf(const BoundToSelf&) = delete;
  BoundToSelf& operator=(const BoundToSelf&) = delete;

 private:
  Library& library_;
};

// Arguments: {dilation}.
void BM_MentalRay(benchmark::State& state) {
  const bool dilated = state.range(0) != 0;
  Weave weave(dilated);
  std::unique_ptr<Weave> off;
  if (dilated) off = std::make_unique<Weave>(false);
  const BoundToSelf bound(weave);
  PairTally t;
  for (auto _ : state) {
    const PairTally before = t;
    weave.pass(&t.dilated);
    state.SetIterationTime(t.dilated.seconds - before.dilated.seconds);
    if (off) {
      off->pass(&t.off);
      t.addFloor(Host::MentalRay, before.dilated, before.off);
    }
  }
  if (dilated) {
    setPairCounters(state, t);
  } else {
    setPassCounters(state, t.dilated);
  }
}

// Arguments: {0 V-Ray's recipe | 1 mental ray's}; kSamples rays a point.
void BM_Floor(benchmark::State& state) {
  const Host host = state.range(0) == 0 ? Host::VRay : Host::MentalRay;
  double seconds = 0.0;
  std::uint64_t rays = 0;
  for (auto _ : state) {
    const double s = floorSeconds(host, std::uint64_t{kPointCount} * kSamples, &rays);
    seconds += s;
    state.SetIterationTime(s);
  }
  state.counters["ns/ray"] = nanos(seconds, static_cast<double>(rays));
  state.SetItemsProcessed(static_cast<int64_t>(rays));
}

BENCHMARK_CAPTURE(BM_VRay, matte, Texture::Matte)
    ->ArgNames({"dilation", "light_permille"})
    ->ArgsProduct({{0, 1}, {1000}})
    ->Args({1, 980})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_VRay, color, Texture::Color)
    ->ArgNames({"dilation", "light_permille"})
    ->ArgsProduct({{0, 1}, {1000}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_VRay, shotweave, Texture::Weave)
    ->ArgNames({"dilation", "light_permille"})
    ->ArgsProduct({{0, 1}, {1000}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MentalRay)
    ->Name("BM_MentalRay/shotweave")
    ->ArgNames({"dilation"})
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor)->ArgNames({"mray"})->Arg(0)->Arg(1)->UseManualTime()->Unit(
    benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
