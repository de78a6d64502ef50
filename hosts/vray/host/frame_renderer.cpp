#include "frame_renderer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace qv::vrayhost {

namespace {

constexpr int kTileSize = 16;
constexpr int kCacheSlots = 4;
// Tells whoever reads the extension's ID that it is the stand-in's.
constexpr PluginID kFrameExtensionID = 0x51560100;

// The context extension of a render thread's camera-ray hits. The veil tells
// it before it sends occlusion rays; it keeps count.
class FrameExtension final : public VUtils::VRayContextExtension {
 public:
  PluginID getExtensionID() override { return kFrameExtensionID; }
  int notify(int) override {
    ++notices;
    return 1;
  }
  std::uint64_t notices = 0;
};

struct ThreadCounts {
  std::uint64_t cameraRays = 0;
  std::uint64_t shadingPoints = 0;
  std::uint64_t notices = 0;
};

VUtils::AColor shade(const TextureOutput& texture, const VUtils::VRayContext& rc) {
  if (VUtils::TextureInterface* color = texture.color()) return color->texColor(rc);
  if (VUtils::TextureFloatInterface* value = texture.floatTexture()) {
    const float f = value->texFloat(rc);
    return VUtils::AColor(f, f, f, 1.0f);
  }
  return VUtils::AColor(0.0f, 0.0f, 0.0f, 1.0f);
}

// Everything the threads of one frame share.
class Frame {
 public:
  Frame(StandInRenderer& renderer, const host::Tracer& tracer, const RenderSettings& settings,
        const FrameContent& content, int samples, image::Rgba* beauty,
        std::vector<image::Rgba>* outputs)
      : renderer_(renderer),
        tracer_(tracer),
        settings_(settings),
        content_(content),
        tanHalfFov_(std::tan(0.5 * settings.fov)),
        samples_(pixelSamples(samples)),
        beauty_(*beauty),
        outputs_(*outputs),
        tilesX_((settings.width + kTileSize - 1) / kTileSize),
        tileCount_(tilesX_ * ((settings.height + kTileSize - 1) / kTileSize)) {}

  int tileCount() const { return tileCount_; }
  int tilesDone() const { return tilesDone_.load(std::memory_order_relaxed); }

  // Renders tiles until none is left; after each, calls afterTile (if any).
  ThreadCounts run(int threadIndex, const std::function<void()>& afterTile) {
    ShadingLane lane(renderer_, &renderer_.frameData(), threadIndex, kCacheSlots);
    FrameExtension extension;
    ThreadCounts counts;
    const std::size_t outputCount = content_.outputs.size();
    std::vector<double> sums(4 * (1 + outputCount));
    for (int tile = nextTile_.fetch_add(1); tile < tileCount_; tile = nextTile_.fetch_add(1)) {
      const int x0 = tile % tilesX_ * kTileSize, y0 = tile / tilesX_ * kTileSize;
      const int x1 = std::min(x0 + kTileSize, settings_.width);
      const int y1 = std::min(y0 + kTileSize, settings_.height);
      lane.reserve(static_cast<std::size_t>((x1 - x0) * (y1 - y0)) * samples_.size());
      for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
          std::fill(sums.begin(), sums.end(), 0.0);
          for (const auto& offset : samples_) {
            const host::Ray ray = cameraRay(settings_, tanHalfFov_, x + offset[0], y + offset[1]);
            ++counts.cameraRays;
            const std::optional<host::Hit> hit = tracer_.intersect(ray);
            if (!hit) continue;
            ++counts.shadingPoints;
            const ShadingPoint point = shadingPointOf(ray, *hit);
            VUtils::VRayContext& rc = lane.next(point);
            aimCameraRay(rc, ray, hit->distance);
            rc.extension = &extension;
            add(&sums[0], shade(objectTexture(hit->surface.object), rc));
            for (std::size_t k = 0; k < outputCount; ++k) {
              add(&sums[4 * (k + 1)], shade(content_.outputs[k], rc));
            }
          }
          store(beauty_, x, y, &sums[0]);
          for (std::size_t k = 0; k < outputCount; ++k)
            store(outputs_[k], x, y, &sums[4 * (k + 1)]);
        }
      }
      tilesDone_.fetch_add(1, std::memory_order_relaxed);
      if (afterTile) afterTile();
    }
    counts.notices = extension.notices;
    return counts;
  }

 private:
  const TextureOutput& objectTexture(std::uint32_t object) const {
    static const TextureOutput none;
    return object < content_.objectTextures.size() ? content_.objectTextures[object] : none;
  }

  // What V-Ray's context holds about the camera ray that found the point.
  static void aimCameraRay(VUtils::VRayContext& rc, const host::Ray& ray, double distance) {
    VUtils::VRayRayParams& params = rc.rayparams;
    params = VUtils::VRayRayParams();
    params.viewDir = VUtils::ShadeVec(ray.direction[0], ray.direction[1], ray.direction[2]);
    params.rayOrigin = VUtils::TracePoint(ray.origin[0], ray.origin[1], ray.origin[2]);
    params.tracedRay.p = params.rayOrigin;
    params.tracedRay.dir = params.viewDir;
    params.mint = 0.0;
    params.maxt = distance;
    rc.rayType = 0;
  }

  static void add(double* sum, const VUtils::AColor& c) {
    sum[0] += c.r;
    sum[1] += c.g;
    sum[2] += c.b;
    sum[3] += c.a;
  }

  void store(image::Rgba& image, int x, int y, const double* sum) const {
    const double n = static_cast<double>(samples_.size());
    float* pixel = image.at(x, y);
    for (int k = 0; k < 4; ++k) pixel[k] = static_cast<float>(sum[k] / n);
  }

  StandInRenderer& renderer_;
  const host::Tracer& tracer_;
  const RenderSettings& settings_;
  const FrameContent& content_;
  const double tanHalfFov_;  // the same for every camera ray of the frame
  const std::vector<std::array<double, 2>> samples_;
  image::Rgba& beauty_;
  std::vector<image::Rgba>& outputs_;
  const int tilesX_;
  const int tileCount_;
  std::atomic<int> nextTile_{0};
  std::atomic<int> tilesDone_{0};
};

}  // namespace

host::Ray cameraRay(const RenderSettings& view, double x, double y) {
  return cameraRay(view, std::tan(0.5 * view.fov), x, y);
}

host::Ray cameraRay(const RenderSettings& view, double tanHalf, double x, double y) {
  const double w = view.width, h = view.height;
  const double cx = (2.0 * x / w - 1.0) * tanHalf;
  const double cy = (1.0 - 2.0 * y / h) * tanHalf * h / w;
  const VUtils::Vector* c = view.camera.m.f;
  double d[3] = {c[0].x * cx + c[1].x * cy - c[2].x, c[0].y * cx + c[1].y * cy - c[2].y,
                 c[0].z * cx + c[1].z * cy - c[2].z};
  const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  host::Ray ray;
  ray.origin[0] = view.camera.offs.x;
  ray.origin[1] = view.camera.offs.y;
  ray.origin[2] = view.camera.offs.z;
  for (int k = 0; k < 3; ++k) ray.direction[k] = static_cast<float>(d[k] / length);
  return ray;
}

std::vector<std::array<double, 2>> pixelSamples(int count) {
  // The fractional part of the golden ratio: consecutive samples land far
  // apart vertically, for any count.
  constexpr double kGoldenRatioFraction = 0.6180339887498949;
  std::vector<std::array<double, 2>> samples;
  for (int k = 0; k < count; ++k) {
    const double down = 0.5 + k * kGoldenRatioFraction;
    samples.push_back({(k + 0.5) / count, down - std::floor(down)});
  }
  return samples;
}

ShadingPoint shadingPointOf(const host::Ray& ray, const host::Hit& hit) {
  ShadingPoint point;
  point.p = VUtils::TracePoint(ray.origin[0] + hit.distance * ray.direction[0],
                               ray.origin[1] + hit.distance * ray.direction[1],
                               ray.origin[2] + hit.distance * ray.direction[2]);
  const float* n = hit.geometricNormal;
  const double facing = static_cast<double>(n[0]) * ray.direction[0] +
                        static_cast<double>(n[1]) * ray.direction[1] +
                        static_cast<double>(n[2]) * ray.direction[2];
  const float sign = facing > 0.0 ? -1.0f : 1.0f;
  point.n = VUtils::ShadeVec(sign * n[0], sign * n[1], sign * n[2]);
  point.onSurface = true;
  point.surface = hit.surface;
  return point;
}

FrameStats renderFrame(Scene& scene, StandInRenderer& renderer, const host::Tracer& tracer,
                       const RenderSettings& settings, const FrameContent& content,
                       const FrameOptions& options, image::Rgba* beauty,
                       std::vector<image::Rgba>* outputs) {
  const auto start = std::chrono::steady_clock::now();
  *beauty = image::Rgba(settings.width, settings.height);
  outputs->assign(content.outputs.size(), image::Rgba(settings.width, settings.height));
  const std::uint64_t raysBefore = renderer.tracedRays();

  scene.renderBegin(&renderer);
  scene.frameBegin(&renderer);
  Frame frame(renderer, tracer, settings, content, options.samples, beauty, outputs);
  int shown = -1;
  const auto report = [&] {
    const int percent = static_cast<int>(100LL * frame.tilesDone() / frame.tileCount());
    if (percent != shown && options.progress) options.progress(percent);
    shown = percent;
  };
  report();
  const int threadCount = renderer.getNumThreads();
  std::vector<ThreadCounts> counts(static_cast<std::size_t>(threadCount));
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(threadCount - 1));
  for (int t = 1; t < threadCount; ++t) {
    threads.emplace_back([&frame, &counts, t] { counts[t] = frame.run(t, nullptr); });
  }
  // The calling thread renders too, and is the one that reports progress.
  counts[0] = frame.run(0, report);
  for (std::thread& thread : threads) thread.join();
  report();
  scene.frameEnd(&renderer);
  scene.renderEnd(&renderer);

  FrameStats stats;
  for (const ThreadCounts& c : counts) {
    stats.cameraRays += c.cameraRays;
    stats.shadingPoints += c.shadingPoints;
    stats.occlusionNotices += c.notices;
  }
  stats.shaderRays = renderer.tracedRays() - raysBefore;
  stats.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return stats;
}

}  // namespace qv::vrayhost
