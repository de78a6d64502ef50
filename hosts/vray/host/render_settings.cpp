#include "render_settings.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "input_limits.h"
#include "text_lexer.h"

namespace qv::vrayhost {

using host::shown;

namespace {

constexpr double kPi = 3.14159265358979323846;
// A side alone may be long (a panorama strip); the frame's pixels as a
// whole are what memory bounds, so the product is limited, by
// host::kMaxRenderPixels.
constexpr int kMaxImageSide = 1 << 20;

struct Failure {
  int line;
  std::string what;
};

std::string describe(const vrscene::PluginBlock& block) {
  return shown(block.type) + " '" + shown(block.name) + "'";
}

void checkParams(const vrscene::PluginBlock& block, std::initializer_list<const char*> known) {
  for (const vrscene::Param& p : block.params) {
    bool found = false;
    for (const char* name : known) found = found || p.name == name;
    if (!found)
      throw Failure{p.line, describe(block) + " has no parameter '" + shown(p.name) + "'"};
  }
}

double number(const vrscene::Param& p, const vrscene::PluginBlock& block) {
  if (const auto* i = std::get_if<std::int64_t>(&p.value)) return static_cast<double>(*i);
  if (const auto* d = std::get_if<double>(&p.value)) return *d;
  throw Failure{p.line, "'" + shown(p.name) + "' of " + describe(block) +
                            " must be a number, not " + vrscene::kindName(p.value)};
}

int imageSide(const vrscene::PluginBlock& block, const char* name, int fallback) {
  const vrscene::Param* p = block.find(name);
  if (!p) return fallback;
  const auto* i = std::get_if<std::int64_t>(&p->value);
  if (!i || *i < 1 || *i > kMaxImageSide) {
    throw Failure{p->line, "'" + p->name + "' of " + describe(block) +
                               " must be a whole number from 1 to " +
                               std::to_string(kMaxImageSide)};
  }
  return static_cast<int>(*i);
}

double determinant(const VUtils::Matrix& m) {
  const VUtils::Vector& a = m.f[0];
  const VUtils::Vector& b = m.f[1];
  const VUtils::Vector& c = m.f[2];
  return static_cast<double>(a.x) *
             (static_cast<double>(b.y) * c.z - static_cast<double>(b.z) * c.y) -
         static_cast<double>(b.x) *
             (static_cast<double>(a.y) * c.z - static_cast<double>(a.z) * c.y) +
         static_cast<double>(c.x) *
             (static_cast<double>(a.y) * b.z - static_cast<double>(a.z) * b.y);
}

void renderView(const vrscene::PluginBlock& block, RenderSettings* settings) {
  checkParams(block, {"transform", "fov"});
  const vrscene::Param* transform = block.find("transform");
  if (!transform) throw Failure{block.line, describe(block) + " needs 'transform'"};
  const auto* tm = std::get_if<VUtils::Transform>(&transform->value);
  if (!tm) {
    throw Failure{transform->line, "'transform' of " + describe(block) +
                                       " must be a Transform, not " +
                                       vrscene::kindName(transform->value)};
  }
  const double det = determinant(tm->m);
  if (!(std::fabs(det) > 1e-12) || !std::isfinite(det)) {
    throw Failure{transform->line,
                  "'transform' of " + describe(block) + " has a singular matrix: no camera"};
  }
  // Rays start at the camera; the tracer takes no origin beyond the
  // coordinates it takes for geometry.
  const float position[3] = {tm->offs.x, tm->offs.y, tm->offs.z};
  for (int axis = 0; axis < 3; ++axis) {
    if (!(std::fabs(static_cast<double>(position[axis])) <= host::kMaxCoordinate)) {
      char text[96];
      std::snprintf(text, sizeof text, " puts the camera at %c = %g, beyond the %g", "xyz"[axis],
                    static_cast<double>(position[axis]), host::kMaxCoordinate);
      throw Failure{transform->line, "'transform' of " + describe(block) + text +
                                         " a scene's coordinates may reach"};
    }
  }
  settings->camera = *tm;
  if (const vrscene::Param* fov = block.find("fov")) {
    const double value = number(*fov, block);
    if (!(value > 0.0 && value < kPi)) {
      throw Failure{fov->line, "'fov' of " + describe(block) +
                                   " must lie between 0 and pi radians, exclusive"};
    }
    settings->fov = value;
  }
}

}  // namespace

bool isRenderSettingsType(const std::string& type) {
  return type == "RenderView" || type == "SettingsOutput";
}

bool readRenderSettings(const vrscene::Scene& scene, RenderSettings* settings, std::string* error) {
  RenderSettings result;
  try {
    const vrscene::PluginBlock* view = nullptr;
    const vrscene::PluginBlock* output = nullptr;
    for (const vrscene::PluginBlock& block : scene.plugins) {
      const vrscene::PluginBlock** seen = block.type == "RenderView"       ? &view
                                          : block.type == "SettingsOutput" ? &output
                                                                           : nullptr;
      if (!seen) continue;
      if (*seen) {
        throw Failure{block.line, "a second " + shown(block.type) + " '" + shown(block.name) +
                                      "': the first is '" + shown((*seen)->name) + "' at line " +
                                      std::to_string((*seen)->line)};
      }
      *seen = &block;
    }
    if (!view) {
      *error = scene.file + ": there is no RenderView, the camera to render from";
      return false;
    }
    renderView(*view, &result);
    if (output) {
      checkParams(*output, {"img_width", "img_height"});
      result.width = imageSide(*output, "img_width", result.width);
      result.height = imageSide(*output, "img_height", result.height);
      const std::string over =
          host::pixelLimitMessage(result.width, result.height, host::kMaxRenderPixels, "a render",
                                  "img_width", "img_height");
      if (!over.empty()) {
        const vrscene::Param* side = output->find("img_width");
        throw Failure{side ? side->line : output->line, over};
      }
    }
  } catch (const Failure& f) {
    *error = scene.file + ":" + std::to_string(f.line) + ": " + f.what;
    return false;
  }
  *settings = result;
  return true;
}

}  // namespace qv::vrayhost
