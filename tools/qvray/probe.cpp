// qvray probe: shades points read from standard input with one texture of a
// scene and prints what the texture answers.
#include <cstdio>
#include <istream>
#include <ostream>
#include <sstream>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "plugin_manager.h"
#include "probe.h"
#include "scene.h"
#include "scene_geometry.h"
#include "shading_driver.h"
#include "text_lexer.h"
#include "tracer.h"

namespace qv::qvray {

namespace {

std::string formatNumber(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  return buffer;
}

// One point per line as "px py pz nx ny nz"; blank lines are skipped.
bool readPoints(std::istream& in, std::vector<vrayhost::ShadingPoint>* points, std::string* error) {
  std::string line;
  for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    std::istringstream fields(line);
    double v[6];
    std::string extra;
    bool ok = true;
    for (double& x : v) ok = ok && static_cast<bool>(fields >> x);
    if (!ok || (fields >> extra)) {
      *error = "stdin:" + std::to_string(lineNumber) +
               ": expected six numbers 'px py pz nx ny nz', got '" + host::shown(line) + "'";
      return false;
    }
    vrayhost::ShadingPoint point;
    point.p = VUtils::TracePoint(v[0], v[1], v[2]);
    point.n = VUtils::ShadeVec(static_cast<float>(v[3]), static_cast<float>(v[4]),
                               static_cast<float>(v[5]));
    points->push_back(point);
  }
  return true;
}

// A probe point names no surface, but a point that lies on one must not be
// shadowed by it: find the triangle it sits on, within a tolerance relative
// to the point's magnitude (float geometry is only that exact).
void attachSurfaces(const host::Tracer& tracer, std::vector<vrayhost::ShadingPoint>* points) {
  for (vrayhost::ShadingPoint& point : *points) {
    const double p[3] = {point.p.x, point.p.y, point.p.z};
    const double scale = std::max({1.0, std::fabs(p[0]), std::fabs(p[1]), std::fabs(p[2])});
    if (const auto surface = tracer.surfaceAt(p, 1e-4 * scale)) {
      point.onSurface = true;
      point.surface = *surface;
    }
  }
}

}  // namespace

int probe(const ProbeOptions& options, std::istream& in, std::ostream& out, std::ostream& err) {
  vrayhost::PluginManager manager;
  std::string error;
  if (!manager.loadDirectory(options.pluginDir, &error) || !manager.addHostPlugins(&error)) {
    err << "qvray: " << error << "\n";
    return 1;
  }
  const vrscene::ParseResult parsed = vrscene::parseFile(options.scenePath);
  if (!parsed.scene) {
    err << "qvray: " << parsed.error << "\n";
    return 1;
  }
  std::unique_ptr<vrayhost::Scene> scene = vrayhost::Scene::load(*parsed.scene, manager, &error);
  if (!scene) {
    err << "qvray: " << error << "\n";
    return 1;
  }
  std::vector<host::SceneObject> objects;
  const std::string sceneDir = std::filesystem::path(options.scenePath).parent_path().string();
  if (!vrayhost::collectSceneObjects(*parsed.scene, sceneDir, &objects, &error)) {
    err << "qvray: " << error << "\n";
    return 1;
  }
  host::Tracer tracer;
  if (!tracer.build(std::move(objects), &error)) {
    err << "qvray: " << options.scenePath << ": " << error << "\n";
    return 1;
  }
  vrayhost::TextureOutput texture;
  if (!scene->resolve(options.texture, &texture, &error)) {
    err << "qvray: " << options.scenePath << ": " << error << "\n";
    return 1;
  }
  std::vector<vrayhost::ShadingPoint> points;
  if (!readPoints(in, &points, &error)) {
    err << "qvray: " << error << "\n";
    return 1;
  }

  attachSurfaces(tracer, &points);

  vrayhost::StandInRenderer renderer(options.threads);
  renderer.setTracer(&tracer);
  std::vector<VUtils::AColor> colors(points.size());
  std::vector<float> values(points.size());
  scene->renderBegin(&renderer);
  scene->frameBegin(&renderer);
  vrayhost::ShadingDriver(renderer).run(points,
                                        [&](const VUtils::VRayContext& rc, std::size_t i, int) {
                                          if (auto* color = texture.color()) {
                                            colors[i] = color->texColor(rc);
                                          } else {
                                            values[i] = texture.floatTexture()->texFloat(rc);
                                          }
                                        });
  scene->frameEnd(&renderer);
  scene->renderEnd(&renderer);

  for (std::size_t i = 0; i < points.size(); ++i) {
    if (texture.color()) {
      const VUtils::AColor& c = colors[i];
      out << formatNumber(c.r) << ' ' << formatNumber(c.g) << ' ' << formatNumber(c.b) << ' '
          << formatNumber(c.a) << '\n';
    } else {
      out << formatNumber(values[i]) << '\n';
    }
  }
  return 0;
}

}  // namespace qv::qvray
