// qvShotWeave's shading cost: a cache hit against a bare per-thread array
// read, a miss, and a whole batch of points on one and on two render threads.
//
//   shotweave_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "plugin_manager.h"
#include "renderer.h"
#include "scene.h"
#include "shading_driver.h"
#include "vrayhost/parameters.h"
#include "vrscene.h"

// The texture library is linked in, not loaded: its descriptor comes straight
// from the library's own entry point.
extern "C" PluginLibDesc* getLibDesc();

namespace {

using qv::vrayhost::PluginManager;
using qv::vrayhost::Scene;
using qv::vrayhost::ShadingDriver;
using qv::vrayhost::ShadingPoint;
using qv::vrayhost::StandInRenderer;
using VUtils::AColor;

const char* const kScene =
    "qvShotWeave weave {\n"
    "  color_a=AColor(0.9, 0.4, 0.1, 1);\n"
    "  matte_a=Color(0.5, 0.5, 0.5);\n"
    "  color_b=AColor(0.1, 0.2, 0.8, 1);\n"
    "  matte_b=0.25;\n"
    "}\n";

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "shotweave_bench: %s\n", message.c_str());
  std::exit(1);
}

// The linked-in descriptors registered with a manager, as loading the
// library would; the registration lasts for the whole process.
PluginManager& manager() {
  static PluginManager* instance = [] {
    struct Collector final : PluginDescEnumerator {
      void pluginDesc(PluginDesc* desc) override { descs.push_back(desc); }
      std::vector<PluginDesc*> descs;
    } collector;
    auto* m = new PluginManager;
    getLibDesc()->enumPluginDescs(&collector);
    for (PluginDesc* desc : collector.descs) desc->registerPlugin(m);
    return m;
  }();
  return *instance;
}

// The scene with its render and frame hooks run for renderer, ready to shade.
class Weave {
 public:
  explicit Weave(StandInRenderer& renderer) : renderer_(renderer) {
    const qv::vrscene::ParseResult parsed = qv::vrscene::parse(kScene, "bench.vrscene");
    if (!parsed.scene) die(parsed.error);
    std::string error;
    scene_ = Scene::load(*parsed.scene, manager(), &error);
    if (!scene_) die(error);
    qv::vrayhost::TextureOutput out;
    if (!scene_->resolve("weave", &out, &error)) die(error);
    texture_ = out.color();
    scene_->renderBegin(&renderer_);
    scene_->frameBegin(&renderer_);
  }
  ~Weave() {
    scene_->frameEnd(&renderer_);
    scene_->renderEnd(&renderer_);
  }
  Weave(const Weave&) = delete;
  Weave& operator=(const Weave&) = delete;

  VUtils::TextureInterface& texture() const { return *texture_; }

 private:
  StandInRenderer& renderer_;
  std::unique_ptr<Scene> scene_;
  VUtils::TextureInterface* texture_ = nullptr;
};

// A shading context of render thread 0 as the renderer hands it out.
struct Context {
  VUtils::VRayThreadData thread;
  VUtils::VRayContext rc;

  explicit Context(StandInRenderer& renderer) {
    rc.vray = &renderer;
    rc.threadData = &thread;
    rc.frameData = &renderer.frameData();
    rc.rayresult.wpoint = VUtils::TracePoint(1.0, 2.0, 3.0);
    rc.rayresult.normal = VUtils::ShadeVec(0.0f, 0.0f, 1.0f);
    rc.cacheIndex = 2;
    rc.cacheStamp = 7;
  }
};

void BM_TexColorCacheHit(benchmark::State& state) {
  StandInRenderer renderer(1);
  Weave weave(renderer);
  Context context(renderer);
  VUtils::TextureInterface& texture = weave.texture();
  benchmark::DoNotOptimize(texture.texColor(context.rc));  // fills the entry
  for (auto _ : state) {
    benchmark::DoNotOptimize(texture.texColor(context.rc));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TexColorCacheHit);

// The floor for a hit: the same lookup written as a plain read of a
// per-thread entry list, with nothing between the caller and the data.
void BM_BarePerThreadRead(benchmark::State& state) {
  struct Entry {
    int32 stamp;
    AColor color;
  };
  StandInRenderer renderer(1);
  Context context(renderer);
  std::vector<std::vector<Entry>> lists(1, std::vector<Entry>(30, Entry{0, AColor()}));
  lists[0][static_cast<std::size_t>(context.rc.cacheIndex)] = {
      static_cast<int32>(context.rc.cacheStamp), AColor(0.95f, 0.5f, 0.5f, 1.5f)};
  const VUtils::VRayContext* rc = &context.rc;
  for (auto _ : state) {
    // Reloaded every time, as the texture must: nothing may be kept from the
    // previous context.
    benchmark::DoNotOptimize(rc);
    const Entry& entry = lists[static_cast<std::size_t>(rc->threadData->threadIndex)]
                              [static_cast<std::size_t>(rc->cacheIndex)];
    AColor color;
    if (static_cast<uint32>(entry.stamp) == rc->cacheStamp) color = entry.color;
    benchmark::DoNotOptimize(color);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BarePerThreadRead);

// A ray that must not use the cache: every ask evaluates the three inputs.
void BM_TexColorNoCacheRay(benchmark::State& state) {
  StandInRenderer renderer(1);
  Weave weave(renderer);
  Context context(renderer);
  context.rc.rayparams.rayFlags = VUtils::RT_NO_CACHE;
  VUtils::TextureInterface& texture = weave.texture();
  for (auto _ : state) {
    benchmark::DoNotOptimize(texture.texColor(context.rc));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TexColorNoCacheRay);

// A new shading point every time: a failed lookup, the inputs and a store.
void BM_TexColorCacheMiss(benchmark::State& state) {
  StandInRenderer renderer(1);
  Weave weave(renderer);
  Context context(renderer);
  VUtils::TextureInterface& texture = weave.texture();
  uint32 stamp = 1;
  for (auto _ : state) {
    if (++stamp == 0) stamp = 1;
    context.rc.cacheStamp = stamp;
    benchmark::DoNotOptimize(texture.texColor(context.rc));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TexColorCacheMiss);

std::vector<ShadingPoint> batch(std::size_t count) {
  std::vector<ShadingPoint> points(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double x = static_cast<double>(i);
    points[i].p = VUtils::TracePoint(x, 0.5 * x, -x);
    points[i].n = VUtils::ShadeVec(0.0f, 0.0f, 1.0f);
  }
  return points;
}

// A batch shaded the way qvray shades it, every colour kept per point. Wall
// time gives the throughput; the CPU column is the whole process's, so that
// work added by a second thread (contention, shared cache lines) shows even
// where other programs compete for the cores.
void BM_ShadeBatch(benchmark::State& state) {
  StandInRenderer renderer(static_cast<int>(state.range(0)));
  Weave weave(renderer);
  VUtils::TextureInterface& texture = weave.texture();
  const std::vector<ShadingPoint> points = batch(static_cast<std::size_t>(state.range(1)));
  std::vector<AColor> colors(points.size());
  const ShadingDriver driver(renderer);
  for (auto _ : state) {
    driver.run(points, [&](const VUtils::VRayContext& rc, std::size_t i, int) {
      colors[i] = texture.texColor(rc);
    });
    benchmark::DoNotOptimize(colors.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(1));
}
BENCHMARK(BM_ShadeBatch)
    ->ArgNames({"threads", "points"})
    ->Args({1, 100000})
    ->Args({2, 100000})
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);

// The same batch with each thread folding its colours into a slot of its own:
// what the texture and the driver scale to when the consumer's writes do not
// share cache lines between threads (points t, t+N, ... sit side by side).
void BM_ShadeBatchPerThreadSum(benchmark::State& state) {
  struct alignas(64) Slot {
    float sum = 0.0f;
  };
  StandInRenderer renderer(static_cast<int>(state.range(0)));
  Weave weave(renderer);
  VUtils::TextureInterface& texture = weave.texture();
  const std::vector<ShadingPoint> points = batch(static_cast<std::size_t>(state.range(1)));
  std::vector<Slot> slots(static_cast<std::size_t>(renderer.getNumThreads()));
  const ShadingDriver driver(renderer);
  for (auto _ : state) {
    driver.run(points, [&](const VUtils::VRayContext& rc, std::size_t, int) {
      slots[static_cast<std::size_t>(rc.threadData->threadIndex)].sum += texture.texColor(rc).r;
    });
    benchmark::DoNotOptimize(slots.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(1));
}
BENCHMARK(BM_ShadeBatchPerThreadSum)
    ->ArgNames({"threads", "points"})
    ->Args({1, 100000})
    ->Args({2, 100000})
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
