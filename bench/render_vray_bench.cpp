// qvray render's frame, as the command renders it, against bare Embree
// tracing the same rays: a matte-painting set (buildings on a ground, one
// occluder in front of the projection camera), a painting projected through
// qvVeil with occlusion and 24 dilation samples, laid over a fill by
// qvShotWeave. The set comes in four sizes, the first argument of every
// benchmark, so that time, rays per second and memory are seen growing with
// the work:
//
//   size:0  the set on a 2-triangle ground, 98 triangles, at 1280 x 720 (the
//           figures of earlier runs are this size's)
//   size:1  its ground a rolling terrain of 1,000,000 triangles, 1280 x 720
//   size:2  the same with a terrain of 10,000,000 triangles
//   size:3  the set of size 0 at 4096 x 2160
//
// The terrain spans the 80 x 80 ground with its hills flattened so that
// they hide parts of it from both cameras without burying the buildings,
// whose walls reach below its lowest point.
//
//   render_vray_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//   render_vray_bench --benchmark_filter='size:2/'   (one size)
//
// Each size is loaded and built on first use, after the world of the size
// before it is freed; benchmarks run size by size, so each size is built
// once (interleaving sizes at random would rebuild them each time: filter to
// one size for that). Every benchmark reports the triangles and pixels of
// its size and peak_MiB, the peak resident memory of the process so far.
//
// The bare comparison replays the rays of one frame, recorded as
// RecordedRays (a ray's 12-byte direction; its origin and span stored once
// for the rays after it that share them). A frame of up to
// qv::bench::kBandRays rays (sizes 0 to 2) is expanded once and traced
// exactly as before; a larger one (size 3, 233 million rays) is expanded
// band by band, untimed, and the same rays traced in the same order one
// band at a time, each band split among the threads as a whole frame is.
// Size 3 then peaks near 4.2 GB, where its rays alone at 32 bytes each would
// take 7.5 GB.
//
// Rays per second compare between BM_Render and BM_BareEmbree at the same
// size and thread count; shading points per second are BM_Render's alone.
#include <benchmark/benchmark.h>
#include <embree3/rtcore.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "frame_renderer.h"
#include "image_file.h"
#include "plugin_manager.h"
#include "render_settings.h"
#include "renderer.h"
#include "scene.h"
#include "scene_geometry.h"
#include "terrain.h"
#include "tracer.h"

namespace {

namespace fs = std::filesystem;
using qv::vrayhost::TextureOutput;

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "render_vray_bench: %s\n", message.c_str());
  std::exit(1);
}

// The set at one size: a ground of grid * grid * 2 terrain triangles
// (grid 0: the scene's own quad) seen at width x height.
struct SetSize {
  int grid;
  int width, height;
};

const SetSize kSizes[] = {{0, 1280, 720}, {707, 1280, 720}, {2236, 1280, 720}, {0, 4096, 2160}};
constexpr int kSizeCount = static_cast<int>(std::size(kSizes));

// The terrain's heights scaled down from terrainHeight's +-4.5 to +-2.25:
// hills still hide the ground behind them from cameras 9 and 12 above it,
// and the lowest building keeps most of its height above them.
constexpr float kTerrainRelief = 0.5f;
constexpr float kGroundExtent = 40.0f;  // the quad's half side
// On a terrain the buildings start where its lowest valley is, so that none
// of them floats over a dip.
constexpr float kFoundation = -4.5f * kTerrainRelief;

struct Box {
  float x0, y0, z0, x1, y1, z1;
};

// Buildings along two streets, and the occluder between them and the
// projection camera.
const Box kBoxes[] = {
    {-14, 0, -12, -8, 9, -6}, {-6, 0, -14, -1, 12, -8}, {1, 0, -13, 6, 7, -7},
    {8, 0, -12, 14, 10, -5},  {-13, 0, -3, -8, 5, 2},   {9, 0, -2, 13, 6, 3},
    {-4, 0, -4, 0, 3.5f, -1}, {3, 0, 9, 6, 6, 12},
};

std::string vector(double x, double y, double z) {
  char text[96];
  std::snprintf(text, sizeof text, "Vector(%.9g, %.9g, %.9g)", x, y, z);
  return text;
}

// A camera at `from` looking at `to`, +y up.
std::string lookAt(double fx, double fy, double fz, double tx, double ty, double tz) {
  double z[3] = {fx - tx, fy - ty, fz - tz};
  const double lz = std::sqrt(z[0] * z[0] + z[1] * z[1] + z[2] * z[2]);
  for (double& c : z) c /= lz;
  double x[3] = {z[2], 0.0, -z[0]};  // (0, 1, 0) x z
  const double lx = std::sqrt(x[0] * x[0] + x[2] * x[2]);
  x[0] /= lx;
  x[2] /= lx;
  const double y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2],
                       z[0] * x[1] - z[1] * x[0]};
  return "Transform(Matrix(" + vector(x[0], x[1], x[2]) + ", " + vector(y[0], y[1], y[2]) + ", " +
         vector(z[0], z[1], z[2]) + "), " + vector(fx, fy, fz) + ")";
}

// The set's text; a terrain ground is added to the objects afterwards,
// millions of vertices being no text to parse.
std::string sceneText(const SetSize& size) {
  const bool quadGround = size.grid == 0;
  std::string text = quadGround ? "GeomStaticMesh ground_mesh {\n"
                                  "  vertices=ListVector(Vector(-40, 0, -40), Vector(40, 0, -40), "
                                  "Vector(40, 0, 40), Vector(-40, 0, 40));\n"
                                  "  faces=ListInt(0, 2, 1, 0, 3, 2);\n}\n"
                                  "Node ground { geometry=ground_mesh; texture=weave; }\n"
                                : "";
  int index = 0;
  for (const Box& b : kBoxes) {
    const std::string name = "box" + std::to_string(index++);
    const float y0 = quadGround ? b.y0 : kFoundation;
    text += "GeomStaticMesh " + name + "_mesh {\n  vertices=ListVector(";
    for (int i = 0; i < 8; ++i) {
      text += (i ? ", " : "") + vector(i & 1 ? b.x1 : b.x0, i & 2 ? b.y1 : y0, i & 4 ? b.z1 : b.z0);
    }
    text +=
        ");\n  faces=ListInt(0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4, "
        "2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5);\n}\n"
        "Node " +
        name + " { geometry=" + name + "_mesh; texture=weave; }\n";
  }
  const std::string projector = lookAt(0, 12, 30, 0, 2, 0);
  return text + "BitmapBuffer paint { file=\"painting.png\"; }\n" +
         "UVWGenProjection projection { type=8; fov=1.0; camera_transform=" + projector + "; }\n" +
         "TexBitmap painting { bitmap=paint; uvwgen=projection; }\n" +
         "qvVeil seen {\n  color=painting; colorOffset=AColor(0, 0, 0, 0); mask=1;\n" +
         "  placementMatrix=" + projector + ";\n" +
         "  useShadowOcclusion=1; useFacingRatio=1; angleThreshold=85;\n" +
         "  dilate=0.4; samples=24;\n}\n" +
         "qvShotWeave weave { color_a=seen; matte_a=seen::outMatte; "
         "color_b=AColor(0.1, 0.2, 0.8, 1); }\n" +
         "RenderView camera { transform=" + lookAt(26, 9, 20, -2, 2, -4) + "; fov=0.9; }\n" +
         "SettingsOutput output { img_width=" + std::to_string(size.width) +
         "; img_height=" + std::to_string(size.height) + "; }\n";
}

qv::host::SceneObject terrainGround(int grid) {
  qv::host::SceneObject ground = qv::bench::terrain(grid, kGroundExtent);
  ground.name = "ground";
  for (auto& v : ground.mesh.vertices) v[1] *= kTerrainRelief;
  return ground;
}

// The rays of one frame in Embree's terms, recorded by a renderer that
// traces them as the stand-in does.
struct RecordedRay {
  float org[3], dir[3];
  float tnear, tfar;
};

// A band of a frame's rays, or all of them.
struct FrameRays {
  std::vector<RecordedRay> camera, shadow;
};

struct FrameRecording {
  qv::bench::RecordedRays camera, shadow;
};

struct World;
FrameRecording recordFrame(World& w);

// The set loaded as qvray render loads it.
struct World {
  explicit World(const SetSize& size) {
    folder = fs::temp_directory_path() / ("qv_render_vray_bench_" + std::to_string(size.grid) +
                                          "_" + std::to_string(size.width));
    fs::create_directories(folder);
    qv::image::Rgba painting(960, 540);
    for (int y = 0; y < painting.height; ++y) {
      for (int x = 0; x < painting.width; ++x) {
        float* p = painting.at(x, y);
        p[0] = static_cast<float>(x) / painting.width;
        p[1] = static_cast<float>(y) / painting.height;
        p[2] = 0.5f + 0.5f * std::sin(0.05f * static_cast<float>(x + y));
        p[3] = 1.0f;
      }
    }
    std::string error;
    if (!qv::image::write((folder / "painting.png").string(), painting, &error)) die(error);
    const std::string scenePath = (folder / "set.vrscene").string();
    std::ofstream(scenePath) << sceneText(size);

    if (!manager.loadDirectory(QV_PLUGIN_DIR, &error) || !manager.addHostPlugins(&error)) {
      die(error);
    }
    qv::vrscene::ParseResult parsed = qv::vrscene::parseFile(scenePath);
    if (!parsed.scene) die(parsed.error);
    description = std::move(*parsed.scene);
    scene = qv::vrayhost::Scene::load(description, manager, &error);
    if (!scene || !qv::vrayhost::readRenderSettings(description, &settings, &error)) die(error);
    std::vector<qv::vrayhost::NodeTexture> shown;
    std::vector<qv::host::SceneObject> objects;
    if (!qv::vrayhost::collectSceneObjects(description, folder.string(), &objects, &error,
                                           &shown)) {
      die(error);
    }
    for (const qv::vrayhost::NodeTexture& node : shown) {
      TextureOutput texture;
      if (!scene->resolve(*node.texture, &texture, &error)) die(error);
      content.objectTextures.push_back(texture);
    }
    if (size.grid > 0) {
      // First, where the quad's Node stands in the scene; it shows what
      // every building shows.
      objects.insert(objects.begin(), terrainGround(size.grid));
      content.objectTextures.insert(content.objectTextures.begin(), content.objectTextures.front());
    }
    if (!tracer.build(std::move(objects), &error)) die(error);
    for (const auto& object : tracer.objects()) triangles += object.mesh.triangles.size();
    pixels = static_cast<std::size_t>(settings.width) * static_cast<std::size_t>(settings.height);
  }
  ~World() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }

  // The same triangles as one mesh, without the tracer's filters; built
  // when first asked for.
  const qv::bench::BareEmbreeScene& bare() {
    if (!bareScene) {
      qv::host::TriangleMesh merged;
      for (const auto& object : tracer.objects()) {
        const auto base = static_cast<std::uint32_t>(merged.vertices.size());
        merged.vertices.insert(merged.vertices.end(), object.mesh.vertices.begin(),
                               object.mesh.vertices.end());
        for (const auto& t : object.mesh.triangles) {
          merged.triangles.push_back({t[0] + base, t[1] + base, t[2] + base});
        }
      }
      bareScene = std::make_unique<qv::bench::BareEmbreeScene>(merged);
    }
    return *bareScene;
  }

  // The bands the frame's rays are replayed in; records them first.
  std::size_t bands() {
    if (bandTotal == 0) {
      recording = std::make_unique<FrameRecording>(recordFrame(*this));
      rays = recording->camera.size() + recording->shadow.size();
      bandTotal = qv::bench::bandCount(rays);
    }
    return bandTotal;
  }

  // Band b of bands(): the share b / bands of the camera rays and of the
  // shadow rays, in recorded order. A frame of one band is expanded once and
  // its recording dropped.
  const FrameRays& band(std::size_t b) {
    const std::size_t n = bands();
    if (b == expandedBand) return expanded;
    const auto expand = [&](const qv::bench::RecordedRays& from, std::vector<RecordedRay>* to) {
      const std::size_t first = from.size() * b / n, last = from.size() * (b + 1) / n;
      to->clear();
      to->reserve(last - first);
      from.forEach(first, last, [to](const float* org, const float* dir, float tnear, float tfar) {
        to->push_back({{org[0], org[1], org[2]}, {dir[0], dir[1], dir[2]}, tnear, tfar});
      });
    };
    expand(recording->camera, &expanded.camera);
    expand(recording->shadow, &expanded.shadow);
    expandedBand = b;
    if (n == 1) recording.reset();
    return expanded;
  }

  fs::path folder;
  qv::vrayhost::PluginManager manager;
  qv::vrscene::Scene description;
  std::unique_ptr<qv::vrayhost::Scene> scene;
  qv::vrayhost::RenderSettings settings;
  qv::vrayhost::FrameContent content;
  qv::host::Tracer tracer;
  std::size_t triangles = 0;
  std::size_t pixels = 0;
  std::unique_ptr<qv::bench::BareEmbreeScene> bareScene;
  std::unique_ptr<FrameRecording> recording;
  std::size_t rays = 0;  // camera and shadow rays of one frame
  std::size_t bandTotal = 0;
  std::size_t expandedBand = static_cast<std::size_t>(-1);
  FrameRays expanded;
};

World& world(const benchmark::State& state) {
  return qv::bench::worldOfSize<World, kSizeCount>(static_cast<int>(state.range(0)), [](int size) {
    return std::make_unique<World>(kSizes[size]);
  });
}

// What every benchmark reports of its size and of the memory held.
void describeSize(benchmark::State& state, const World& w) {
  state.counters["triangles"] = static_cast<double>(w.triangles);
  state.counters["pixels"] = static_cast<double>(w.pixels);
  state.counters["peak_MiB"] = qv::bench::processMemoryMiB("VmHWM");
}

// Arguments: size, render threads.
void BM_Render(benchmark::State& state) {
  World& w = world(state);
  qv::vrayhost::StandInRenderer renderer(static_cast<int>(state.range(1)));
  renderer.setTracer(&w.tracer);
  qv::vrayhost::FrameOptions options;
  qv::image::Rgba beauty;
  std::vector<qv::image::Rgba> outputs;
  qv::vrayhost::FrameStats total;
  for (auto _ : state) {
    const qv::vrayhost::FrameStats stats = qv::vrayhost::renderFrame(
        *w.scene, renderer, w.tracer, w.settings, w.content, options, &beauty, &outputs);
    total.shadingPoints += stats.shadingPoints;
    total.cameraRays += stats.cameraRays;
    total.shaderRays += stats.shaderRays;
    total.occlusionNotices += stats.occlusionNotices;
    benchmark::DoNotOptimize(beauty.pixels.data());
  }
  state.counters["shading_points/s"] =
      benchmark::Counter(static_cast<double>(total.shadingPoints), benchmark::Counter::kIsRate);
  state.counters["rays/s"] = benchmark::Counter(
      static_cast<double>(total.cameraRays + total.shaderRays), benchmark::Counter::kIsRate);
  state.counters["rays/point"] = static_cast<double>(total.cameraRays + total.shaderRays) /
                                 static_cast<double>(total.shadingPoints ? total.shadingPoints : 1);
  state.counters["occlusion_tests/point"] =
      static_cast<double>(total.occlusionNotices) /
      static_cast<double>(total.shadingPoints ? total.shadingPoints : 1);
  state.counters["rays/frame"] = static_cast<double>(total.cameraRays + total.shaderRays) /
                                 static_cast<double>(state.iterations());
  describeSize(state, w);
}

RecordedRay recorded(const qv::host::Ray& ray) {
  const double scale =
      std::fmax(1.0, std::fmax(std::fabs(ray.origin[0]),
                               std::fmax(std::fabs(ray.origin[1]), std::fabs(ray.origin[2]))));
  // The tracer's own start margin keeps a ray off the surface it leaves.
  const double tnear = std::fmax(ray.tmin, 1e-5 * scale);
  return {{static_cast<float>(ray.origin[0]), static_cast<float>(ray.origin[1]),
           static_cast<float>(ray.origin[2])},
          {ray.direction[0], ray.direction[1], ray.direction[2]},
          static_cast<float>(tnear),
          ray.tmax > 3e38 ? INFINITY : static_cast<float>(ray.tmax)};
}

class RecordingRenderer final : public VUtils::VRayRenderer {
 public:
  explicit RecordingRenderer(const qv::host::Tracer& tracer) : tracer_(tracer) {}
  int getNumThreads() const override { return 1; }
  void traceRay(VUtils::VRayContext& rc) override {
    const qv::host::Ray ray = qv::vrayhost::shadowRay(rc);
    const float light = tracer_.transmittance(ray);
    rc.mtlresult.color = VUtils::Color(light, light, light);
    const RecordedRay r = recorded(ray);
    shadowRays.add(r.org, r.dir, r.tnear, r.tfar);
  }
  qv::bench::RecordedRays shadowRays;

 private:
  const qv::host::Tracer& tracer_;
};

FrameRecording recordFrame(World& w) {
  RecordingRenderer renderer(w.tracer);
  FrameRecording result;
  w.scene->renderBegin(&renderer);
  w.scene->frameBegin(&renderer);
  qv::vrayhost::ShadingLane lane(renderer, nullptr, 0, 4);
  for (int y = 0; y < w.settings.height; ++y) {
    for (int x = 0; x < w.settings.width; ++x) {
      const qv::host::Ray ray = qv::vrayhost::cameraRay(w.settings, x + 0.5, y + 0.5);
      const RecordedRay r = recorded(ray);
      result.camera.add(r.org, r.dir, r.tnear, r.tfar);
      const auto hit = w.tracer.intersect(ray);
      if (!hit) continue;
      const qv::vrayhost::ShadingPoint point = qv::vrayhost::shadingPointOf(ray, *hit);
      const TextureOutput& texture = w.content.objectTextures[hit->surface.object];
      texture.color()->texColor(lane.next(point));
    }
  }
  w.scene->frameEnd(&renderer);
  w.scene->renderEnd(&renderer);
  result.shadow = std::move(renderer.shadowRays);
  return result;
}

// Runs trace(rays) once per iteration on each band of the frame. Expanding
// a band is not timed; a frame of one band is expanded before the loop.
template <typename Trace>
void replayFrame(benchmark::State& state, World& w, Trace trace) {
  const std::size_t bands = w.bands();
  if (bands == 1) {
    const FrameRays& rays = w.band(0);
    for (auto _ : state) trace(rays);
    return;
  }
  for (auto _ : state) {
    for (std::size_t b = 0; b < bands; ++b) {
      state.PauseTiming();
      const FrameRays& rays = w.band(b);
      state.ResumeTiming();
      trace(rays);
    }
  }
}

RTCRay embreeRay(const RecordedRay& r) {
  return qv::bench::embreeRay(r.org, r.dir, r.tnear, r.tfar);
}

// Share [begin, end) of the frame's rays: camera rays through
// rtcIntersect1, shadow rays through rtcOccluded1.
unsigned traceShare(RTCScene scene, const FrameRays& rays, int share, int shares) {
  unsigned found = 0;
  RTCIntersectContext context;
  rtcInitIntersectContext(&context);
  const std::size_t nc = rays.camera.size(), ns = rays.shadow.size();
  for (std::size_t i = nc * share / shares; i < nc * (share + 1) / shares; ++i) {
    RTCRayHit rh;
    rh.ray = embreeRay(rays.camera[i]);
    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(scene, &context, &rh);
    found += rh.hit.geomID != RTC_INVALID_GEOMETRY_ID;
  }
  for (std::size_t i = ns * share / shares; i < ns * (share + 1) / shares; ++i) {
    RTCRay ray = embreeRay(rays.shadow[i]);
    rtcOccluded1(scene, &context, &ray);
    found += ray.tfar < 0.0f;
  }
  return found;
}

// Arguments: size, threads.
void BM_BareEmbree(benchmark::State& state) {
  World& w = world(state);
  const qv::bench::BareEmbreeScene& bare = w.bare();
  const int threads = static_cast<int>(state.range(1));
  replayFrame(state, w, [&](const FrameRays& rays) {
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) {
      pool.emplace_back(
          [&, t] { benchmark::DoNotOptimize(traceShare(bare.scene(), rays, t, threads)); });
    }
    benchmark::DoNotOptimize(traceShare(bare.scene(), rays, 0, threads));
    for (std::thread& thread : pool) thread.join();
  });
  const double perFrame = static_cast<double>(w.rays);
  state.counters["rays/s"] = benchmark::Counter(perFrame * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
  state.counters["rays/frame"] = perFrame;
  describeSize(state, w);
}

// The same rays through the stand-in's tracer, one thread, without shading:
// what the host's own ray handling costs over Embree's. Argument: size.
void BM_HostTracer(benchmark::State& state) {
  World& w = world(state);
  const auto hostRay = [](const RecordedRay& r) {
    qv::host::Ray ray;
    for (int k = 0; k < 3; ++k) {
      ray.origin[k] = r.org[k];
      ray.direction[k] = r.dir[k];
    }
    ray.tmin = r.tnear;
    ray.tmax = r.tfar;
    return ray;
  };
  replayFrame(state, w, [&](const FrameRays& rays) {
    float sum = 0.0f;
    for (const RecordedRay& r : rays.camera) sum += w.tracer.intersect(hostRay(r)) ? 1.0f : 0.0f;
    for (const RecordedRay& r : rays.shadow) sum += w.tracer.transmittance(hostRay(r));
    benchmark::DoNotOptimize(sum);
  });
  const double perFrame = static_cast<double>(w.rays);
  state.counters["rays/s"] = benchmark::Counter(perFrame * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
  describeSize(state, w);
}

// Size by size, so that each world is built once; within a size alternating
// so that each pair runs close in time.
[[maybe_unused]] const bool kRegistered = [] {
  const auto timed = [](benchmark::internal::Benchmark* b) {
    b->UseRealTime()->Unit(benchmark::kMillisecond);
  };
  for (int size = 0; size < kSizeCount; ++size) {
    for (int threads = 1; threads <= 2; ++threads) {
      timed(benchmark::RegisterBenchmark("BM_Render", BM_Render)
                ->ArgNames({"size", "threads"})
                ->Args({size, threads}));
      timed(benchmark::RegisterBenchmark("BM_BareEmbree", BM_BareEmbree)
                ->ArgNames({"size", "threads"})
                ->Args({size, threads}));
      if (threads == 1) {
        timed(benchmark::RegisterBenchmark("BM_HostTracer", BM_HostTracer)
                  ->ArgNames({"size"})
                  ->Arg(size));
      }
    }
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
