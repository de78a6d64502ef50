// qvVeil's matte output with occlusion on, against the bare cost of the rays
// it traces: the same rays through rtcOccluded1 on a plain Embree scene, and
// through the stand-in's tracer, on a terrain of about 125,000 triangles.
//
//   veil_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <embree3/rtcore.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "plugin_manager.h"
#include "renderer.h"
#include "shading_driver.h"
#include "terrain.h"
#include "tracer.h"
#include "vrayhost/parameters.h"

extern "C" PluginLibDesc* getLibDesc();

namespace {

using qv::host::SceneObject;
using qv::vrayhost::ShadingPoint;
using VUtils::AColor;

constexpr int kGrid = 250;  // quads per side: 2 * 250 * 250 = 125,000 triangles
constexpr float kExtent = 50.0f;
const VUtils::Vector kCamera(0.0f, 30.0f, 70.0f);

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "veil_bench: %s\n", message.c_str());
  std::exit(1);
}

// Shading points at the centroids of a spread of triangles, with their
// surface, so that rays leaving them skip the triangle they lie on.
std::vector<ShadingPoint> shadingPoints(const SceneObject& object, std::size_t count) {
  std::vector<ShadingPoint> points;
  const std::size_t stride = object.mesh.triangles.size() / count;
  for (std::size_t t = 0; t < object.mesh.triangles.size() && points.size() < count; t += stride) {
    const qv::bench::TriangleFrame f = qv::bench::triangleFrame(object.mesh, t);
    ShadingPoint p;
    p.p = VUtils::TracePoint(f.centroid[0], f.centroid[1], f.centroid[2]);
    p.n = VUtils::ShadeVec(static_cast<float>(f.normal[0]), static_cast<float>(f.normal[1]),
                           static_cast<float>(f.normal[2]));
    p.onSurface = true;
    p.surface = {0, static_cast<std::uint32_t>(t)};
    points.push_back(p);
  }
  return points;
}

struct World {
  World() {
    std::vector<SceneObject> objects{qv::bench::terrain(kGrid, kExtent)};
    triangles = objects[0].mesh.triangles.size();
    points = shadingPoints(objects[0], 20000);
    std::string error;
    if (!tracer.build(objects, &error)) die(error);
    bare = std::make_unique<qv::bench::BareEmbreeScene>(objects[0].mesh);
  }
  qv::host::Tracer tracer;
  std::unique_ptr<qv::bench::BareEmbreeScene> bare;
  std::size_t triangles = 0;
  std::vector<ShadingPoint> points;
};

World& world() {
  static World instance;
  return instance;
}

// The rays a shading run traced, recorded by a renderer that traces them
// exactly as the stand-in does.
struct RecordedRay {
  float org[3], dir[3];
  float tnear, tfar;
};

class RecordingRenderer final : public VUtils::VRayRenderer {
 public:
  explicit RecordingRenderer(const qv::host::Tracer& tracer) : tracer_(tracer) {}
  int getNumThreads() const override { return 1; }
  void traceRay(VUtils::VRayContext& rc) override {
    const qv::host::Ray ray = qv::vrayhost::shadowRay(rc);
    const float light = tracer_.transmittance(ray);
    rc.mtlresult.color = VUtils::Color(light, light, light);
    // The same self-intersection margin as the tracer applies.
    const double scale =
        std::fmax(1.0, std::fmax(std::fabs(ray.origin[0]),
                                 std::fmax(std::fabs(ray.origin[1]), std::fabs(ray.origin[2]))));
    rays.push_back({{static_cast<float>(ray.origin[0]), static_cast<float>(ray.origin[1]),
                     static_cast<float>(ray.origin[2])},
                    {ray.direction[0], ray.direction[1], ray.direction[2]},
                    static_cast<float>(std::fmax(ray.tmin, 1e-5 * scale)),
                    static_cast<float>(ray.tmax)});
  }
  std::vector<RecordedRay> rays;

 private:
  const qv::host::Tracer& tracer_;
};

// A veil with occlusion on, from the linked-in library, ready to shade.
class Veil {
 public:
  Veil(VUtils::VRayRenderer& renderer, float dilate, int samples) : renderer_(renderer) {
    PluginDesc* desc = nullptr;
    struct Collector final : PluginDescEnumerator {
      void pluginDesc(PluginDesc* d) override { found = d; }
      PluginDesc* found = nullptr;
    } collector;
    getLibDesc()->enumPluginDescs(&collector);
    desc = collector.found;
    desc->registerPlugin(&host_);
    plugin_ = std::unique_ptr<qv::vrayhost::PluginInstance>(
        new qv::vrayhost::PluginInstance(desc, desc->newPlugin(&host_)));
    vray_ = static_cast<VUtils::VRayPluginInterface*>(
        plugin_->plugin()->getInterface(VUtils::EXT_VRAY_PLUGIN));
    auto& list = vray_->getParameterList()->impl();
    VUtils::Transform camera{};
    camera.offs = kCamera;
    std::string error;
    bool ok = list.setConstant("placementMatrix", camera, &error) &&
              list.setConstant("useShadowOcclusion", 1, &error) &&
              list.setConstant("dilate", dilate, &error) &&
              list.setConstant("samples", samples, &error);
    if (!ok) die(error);
    matte_ = static_cast<VUtils::TextureInterface*>(list.findOutput("outMatte")->iface);
    vray_->renderBegin(&renderer_);
    vray_->frameBegin(&renderer_);
  }
  ~Veil() {
    vray_->frameEnd(&renderer_);
    vray_->renderEnd(&renderer_);
  }
  VUtils::TextureInterface* matte() const { return matte_; }

 private:
  struct NullHost final : PluginHost {
    int registerPlugin(PluginDesc*) override { return 1; }
    int unregisterPlugin(PluginDesc*) override { return 1; }
  } host_;
  VUtils::VRayRenderer& renderer_;
  std::unique_ptr<qv::vrayhost::PluginInstance> plugin_;
  VUtils::VRayPluginInterface* vray_ = nullptr;
  VUtils::TextureInterface* matte_ = nullptr;
};

// Dilation off, or 24 jittered rays per point that the straight ray leaves lit.
float dilateOf(int64_t variant) {
  return variant == 0 ? -1.0f : 1.5f;
}
int samplesOf(int64_t variant) {
  return variant == 0 ? 1 : 24;
}

void BM_VeilMatte(benchmark::State& state) {
  World& w = world();
  const int threads = static_cast<int>(state.range(1));
  qv::vrayhost::StandInRenderer renderer(threads);
  renderer.setTracer(&w.tracer);
  Veil veil(renderer, dilateOf(state.range(0)), samplesOf(state.range(0)));
  qv::vrayhost::ShadingOptions options;
  options.asksPerPoint = 1;
  qv::vrayhost::ShadingDriver driver(renderer, options);
  std::vector<float> out(w.points.size());
  for (auto _ : state) {
    driver.run(w.points, [&](const VUtils::VRayContext& rc, std::size_t i, int) {
      out[i] = veil.matte()->texColor(rc).r;
    });
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(w.points.size()));
  state.counters["triangles"] = static_cast<double>(w.triangles);
}

std::vector<RecordedRay>& recordedRays(int64_t variant) {
  static std::vector<RecordedRay> rays[2];
  std::vector<RecordedRay>& r = rays[variant];
  if (r.empty()) {
    World& w = world();
    RecordingRenderer renderer(w.tracer);
    Veil veil(renderer, dilateOf(variant), samplesOf(variant));
    qv::vrayhost::ShadingOptions options;
    options.asksPerPoint = 1;
    qv::vrayhost::ShadingDriver(renderer, nullptr, options)
        .run(w.points,
             [&](const VUtils::VRayContext& rc, std::size_t, int) { veil.matte()->texColor(rc); });
    r = std::move(renderer.rays);
  }
  return r;
}

// Traces rays [begin, end) with rtcOccluded1, ignoring the surface each ray
// leaves only through its start margin.
int traceBare(RTCScene scene, const std::vector<RecordedRay>& rays, std::size_t begin,
              std::size_t end) {
  int blocked = 0;
  RTCIntersectContext context;
  rtcInitIntersectContext(&context);
  for (std::size_t i = begin; i < end; ++i) {
    const RecordedRay& r = rays[i];
    RTCRay ray = qv::bench::embreeRay(r.org, r.dir, r.tnear, r.tfar);
    rtcOccluded1(scene, &context, &ray);
    blocked += ray.tfar < 0.0f;
  }
  return blocked;
}

void BM_BareEmbree(benchmark::State& state) {
  World& w = world();
  const std::vector<RecordedRay>& rays = recordedRays(state.range(0));
  const int threads = static_cast<int>(state.range(1));
  for (auto _ : state) {
    if (threads == 1) {
      benchmark::DoNotOptimize(traceBare(w.bare->scene(), rays, 0, rays.size()));
    } else {
      std::vector<std::thread> pool;
      for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
          const std::size_t n = rays.size();
          benchmark::DoNotOptimize(
              traceBare(w.bare->scene(), rays, n * t / threads, n * (t + 1) / threads));
        });
      }
      for (std::thread& thread : pool) thread.join();
    }
  }
  // Items are shading points, so that rates compare with the texture's.
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(w.points.size()));
  state.counters["rays_per_point"] =
      static_cast<double>(rays.size()) / static_cast<double>(w.points.size());
}

// The same rays through the stand-in's tracer, one thread: what the host's
// own ray handling (skipping the start surface, transparency) costs.
void BM_HostTracer(benchmark::State& state) {
  World& w = world();
  const std::vector<RecordedRay>& rays = recordedRays(state.range(0));
  for (auto _ : state) {
    float sum = 0.0f;
    for (const RecordedRay& r : rays) {
      qv::host::Ray ray;
      for (int k = 0; k < 3; ++k) {
        ray.origin[k] = r.org[k];
        ray.direction[k] = r.dir[k];
      }
      ray.tmin = r.tnear;
      ray.tmax = r.tfar;
      sum += w.tracer.transmittance(ray);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(w.points.size()));
}

// Arguments: {0 dilation off | 1 24 samples, threads}.
BENCHMARK(BM_VeilMatte)
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HostTracer)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareEmbree)
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
