#include "mi_render.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

namespace qv::mrhost {

namespace {

constexpr double kGoldenRatioFraction = 0.6180339887498949;

// Where an output's value comes from on an object.
constexpr int kNothing = -1;
constexpr int kFlatColor = -2;  // the object has no material: its own colour

}  // namespace

host::Ray cameraRay(const CameraStatement& camera, double x, double y) {
  const auto& m = camera.transform;
  const double tanHalfWidth = camera.aperture / (2.0 * static_cast<double>(camera.focal));
  const double aspect = camera.aspect > 0.0f ? static_cast<double>(camera.aspect)
                                             : static_cast<double>(camera.width) / camera.height;
  const double cx = (2.0 * x / camera.width - 1.0) * tanHalfWidth;
  const double cy = (1.0 - 2.0 * y / camera.height) * tanHalfWidth / aspect;
  // (cx, cy, -1) in camera space, times the transform's linear part.
  double d[3];
  for (int k = 0; k < 3; ++k) d[k] = cx * m[k] + cy * m[4 + k] - m[8 + k];
  const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  host::Ray ray;
  for (int k = 0; k < 3; ++k) {
    ray.origin[k] = m[12 + k];
    ray.direction[k] = static_cast<float>(d[k] / length);
  }
  return ray;
}

void pixelSample(int k, int n, double* x, double* y) {
  *x = (k + 0.5) / n;
  const double down = 0.5 + k * kGoldenRatioFraction;
  *y = down - std::floor(down);
}

bool isAovName(const Declarations& declarations, const std::string& name, bool* color) {
  const std::shared_ptr<const ShaderDecl> weave = declarations.find(kAovShader);
  const ParamDecl* member = weave ? findResultMember(*weave, name) : nullptr;
  if (member && color) *color = member->kind == ParamKind::Color;
  return member != nullptr;
}

std::string aovNames(const Declarations& declarations) {
  const std::shared_ptr<const ShaderDecl> weave = declarations.find(kAovShader);
  std::string names;
  if (!weave || weave->result.kind != ParamKind::Struct) return names;
  for (const ParamDecl& member : weave->result.members) {
    names += (names.empty() ? "" : ", ") + member.name;
  }
  return names;
}

RenderResult render(RenderSession& session, const MiScene& scene, const host::Tracer& tracer,
                    const RenderOptions& options) {
  const CameraStatement& camera = *scene.camera;
  const int width = camera.width, height = camera.height;
  const int samples = std::max(1, options.samples);
  const std::size_t aovCount = options.aovs.size();

  std::vector<char> aovColor(aovCount);
  for (std::size_t k = 0; k < aovCount; ++k) {
    bool color = false;
    isAovName(scene.declarations, options.aovs[k], &color);
    aovColor[k] = color;
  }
  // Per object and output, the word of the material's result it shows.
  std::vector<int> sources(scene.objects.size() * aovCount, kNothing);
  std::size_t resultWords = 4;
  for (std::size_t o = 0; o < scene.objects.size(); ++o) {
    const long material = scene.objects[o].material;
    const ShaderDecl* decl =
        material >= 0 ? scene.shaders[static_cast<std::size_t>(material)].decl.get() : nullptr;
    if (decl) resultWords = std::max(resultWords, decl->result.size / 4);
    for (std::size_t k = 0; k < aovCount; ++k) {
      int& source = sources[o * aovCount + k];
      const bool isColor = options.aovs[k] == "outColor";
      if (!decl) {
        source = isColor ? kFlatColor : kNothing;
      } else if (const ParamDecl* member = findResultMember(*decl, options.aovs[k])) {
        source = static_cast<int>(member->offset / 4);
      } else if (isColor && connectionOffset(*decl, ParamKind::Color) >= 0) {
        source = connectionOffset(*decl, ParamKind::Color) / 4;
      }
    }
  }

  RenderResult result;
  result.image = image::Rgba(width, height);
  result.aovs.assign(aovCount, image::Rgba(width, height));
  const std::vector<host::SceneObject>& objects = tracer.objects();
  const miVector eye{camera.transform[12], camera.transform[13], camera.transform[14]};
  std::atomic<int> nextRow{0};
  std::mutex mutex;  // guards rowsDone, progress and the totals
  int rowsDone = 0;

  session.run(options.threads, [&](RenderSession::ThreadShading& thread) {
    std::vector<float> values(resultWords);
    // The image's four channels, then each output's.
    std::vector<float> sum(4 * (1 + aovCount));
    std::uint64_t cameraRays = 0, shadingPoints = 0;
    for (int y; (y = nextRow++) < height;) {
      for (int x = 0; x < width; ++x) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (int s = 0; s < samples; ++s) {
          double sx, sy;
          pixelSample(s, samples, &sx, &sy);
          const host::Ray ray = cameraRay(camera, x + sx, y + sy);
          ++cameraRays;
          const std::optional<host::Hit> hit = tracer.intersect(ray);
          if (!hit) continue;
          ++shadingPoints;
          const std::size_t object = hit->surface.object;
          const float* n = hit->geometricNormal;
          const float* d = ray.direction;
          // mental ray turns the normal toward the ray that hit.
          const float facing = n[0] * d[0] + n[1] * d[1] + n[2] * d[2] > 0.0f ? -1.0f : 1.0f;
          miState state = thread.idleState();
          state.point = {static_cast<float>(ray.origin[0] + hit->distance * d[0]),
                         static_cast<float>(ray.origin[1] + hit->distance * d[1]),
                         static_cast<float>(ray.origin[2] + hit->distance * d[2])};
          state.normal = {facing * n[0], facing * n[1], facing * n[2]};
          state.dir = {d[0], d[1], d[2]};
          state.org = eye;
          state.dist = hit->distance;
          state.pri = primitiveOf(&hit->surface);
          state.instance = instanceTag(object);

          const long material = scene.objects[object].material;
          static const float kBlack[4] = {0.0f, 0.0f, 0.0f, 0.0f};
          const float* shown = kBlack;
          float flat[4] = {0.0f, 0.0f, 0.0f, 0.0f};
          if (material >= 0) {
            const auto shader = static_cast<std::size_t>(material);
            if (!thread.shade(shader, &state, values.data())) continue;
            const int colorOffset = connectionOffset(*scene.shaders[shader].decl, ParamKind::Color);
            if (colorOffset >= 0) shown = values.data() + colorOffset / 4;
          } else {
            const host::SceneObject& flatObject = objects[object];
            flat[0] = flatObject.color[0];
            flat[1] = flatObject.color[1];
            flat[2] = flatObject.color[2];
            flat[3] = flatObject.opacity;
            shown = flat;
          }
          for (int c = 0; c < 4; ++c) sum[c] += shown[c];
          for (std::size_t k = 0; k < aovCount; ++k) {
            float* out = &sum[4 * (k + 1)];
            const int source = sources[object * aovCount + k];
            if (source == kFlatColor) {
              for (int c = 0; c < 4; ++c) out[c] += flat[c];
            } else if (aovColor[k]) {
              if (source >= 0) {
                for (int c = 0; c < 4; ++c) out[c] += values[static_cast<std::size_t>(source) + c];
              }
            } else {
              const float v = source >= 0 ? values[static_cast<std::size_t>(source)] : 0.0f;
              out[0] += v;
              out[1] += v;
              out[2] += v;
              out[3] += 1.0f;
            }
          }
        }
        const float scale = 1.0f / static_cast<float>(samples);
        float* pixel = result.image.at(x, y);
        for (int c = 0; c < 4; ++c) pixel[c] = sum[c] * scale;
        for (std::size_t k = 0; k < aovCount; ++k) {
          float* aovPixel = result.aovs[k].at(x, y);
          for (int c = 0; c < 4; ++c) aovPixel[c] = sum[4 * (k + 1) + c] * scale;
        }
      }
      const std::lock_guard<std::mutex> lock(mutex);
      ++rowsDone;
      if (options.progress) options.progress(rowsDone, height);
    }
    const std::lock_guard<std::mutex> lock(mutex);
    result.shadingPoints += shadingPoints;
    result.rays += cameraRays + thread.raysTraced();
  });
  return result;
}

}  // namespace qv::mrhost
