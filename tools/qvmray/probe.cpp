// qvmray probe: shades points read from standard input with one shader of a
// .mi scene and prints the shader's result record.
#include "probe.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <istream>
#include <ostream>
#include <sstream>
#include <system_error>
#include <vector>

#include "mi_scene.h"
#include "render_session.h"
#include "shader_library.h"
#include "tracer.h"

namespace qv::qvmray {

namespace {

std::string formatNumber(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  return buffer;
}

// A probe value becomes a float of the shading state: it must be one.
bool parseCoordinate(const std::string& text, float* value) {
  double v = 0.0;
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const auto r = std::from_chars(first, last, v);
  if (r.ec != std::errc() || r.ptr != last || !(std::fabs(v) <= FLT_MAX)) return false;
  *value = static_cast<float>(v);
  return true;
}

// Unit length, as the host hands out ray directions; a zero vector stays.
miVector unit(const miVector& v) {
  const double length = std::sqrt(static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y +
                                  static_cast<double>(v.z) * v.z);
  if (!(length > 0.0)) return v;
  return {static_cast<float>(v.x / length), static_cast<float>(v.y / length),
          static_cast<float>(v.z / length)};
}

// One point per line as "px py pz nx ny nz [dx dy dz]"; blank lines are
// skipped.
bool readPoints(std::istream& in, std::vector<mrhost::ShadingPoint>* points, std::string* error) {
  std::string line;
  for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    std::istringstream fields(line);
    std::vector<float> v;
    bool ok = true;
    for (std::string field; ok && fields >> field;) {
      float value = 0.0f;
      ok = v.size() < 9 && parseCoordinate(field, &value);
      v.push_back(value);
    }
    if (!ok || (v.size() != 6 && v.size() != 9)) {
      *error = "stdin:" + std::to_string(lineNumber) +
               ": expected six or nine numbers 'px py pz nx ny nz [dx dy dz]', got '" +
               line.substr(0, 80) + (line.size() > 80 ? "...'" : "'");
      return false;
    }
    mrhost::ShadingPoint point;
    point.point = {v[0], v[1], v[2]};
    point.normal = {v[3], v[4], v[5]};
    point.dir = unit(v.size() == 9 ? miVector{v[6], v[7], v[8]} : miVector{-v[3], -v[4], -v[5]});
    points->push_back(point);
  }
  return true;
}

}  // namespace

int probe(const ProbeOptions& options, std::istream& in, std::ostream& out, std::ostream& err) {
  const std::string pluginFolder = std::filesystem::path(options.library).parent_path().string();
  mrhost::ShaderLibraries libraries(pluginFolder, options.binding);
  std::string error;
  if (!libraries.load(options.library, &error)) {
    err << "qvmray: " << error << "\n";
    return 1;
  }
  mrhost::MiReadOptions reading;
  reading.declarations = &libraries.declarations();
  reading.linker = &libraries;
  reading.includeFolders = {pluginFolder};
  const mrhost::MiParseResult parsed = mrhost::readMi(options.scenePath, reading);
  if (!parsed.scene) {
    err << "qvmray: " << parsed.error << "\n";
    return 1;
  }
  const mrhost::MiScene& scene = *parsed.scene;
  std::vector<host::SceneObject> objects;
  std::vector<image::Picture> textures;
  if (!mrhost::loadObjects(scene, &objects, &error) ||
      !mrhost::loadTextures(scene, &textures, &error)) {
    err << "qvmray: " << error << "\n";
    return 1;
  }
  host::Tracer tracer;
  if (!tracer.build(std::move(objects), &error)) {
    err << "qvmray: " << options.scenePath << ": " << error << "\n";
    return 1;
  }
  mrhost::RenderSession session(scene, tracer, libraries, &textures);
  if (!session.prepare(options.shader, &error)) {
    err << "qvmray: " << error << "\n";
    return 1;
  }
  std::vector<mrhost::ShadingPoint> points;
  if (!readPoints(in, &points, &error)) {
    err << "qvmray: " << error << "\n";
    return 1;
  }

  mrhost::ShadingOptions shading;
  shading.rayType = options.rayType;
  shading.threads = options.threads;
  const mrhost::ShadingResults results = session.shade(points, shading);

  const std::size_t perPoint = results.valuesPerPoint;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (!results.shaded[i]) {
      out << "false\n";
      continue;
    }
    std::string line;
    for (std::size_t k = 0; k < perPoint; ++k) {
      if (k > 0) line += ' ';
      line += formatNumber(results.values[i * perPoint + k]);
    }
    out << line << '\n';
  }
  return 0;
}

}  // namespace qv::qvmray
