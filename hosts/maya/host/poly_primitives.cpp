#include "poly_primitives.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <utility>

namespace qv::maya {

namespace {

constexpr double kPi = 3.14159265358979323846;
// More faces than any preview needs; a file asking for more is refused
// rather than allowed to claim memory it did not pay for in bytes.
constexpr long long kMaxFaces = 1LL << 20;  // a 1024 x 1024 plane

bool fail(std::string* error, const std::string& node, const std::string& attribute,
          const std::string& what) {
  if (error) *error = node + "." + attribute + ": " + what;
  return false;
}

// The attributes a creator reads, by short name, as the file set them.
struct Attributes {
  std::map<std::string, double> numbers;
  std::map<std::string, long long> integers;
  std::map<std::string, bool> flags;
  std::array<double, 3> axis{0.0, 1.0, 0.0};
};

enum class Kind { kNumber, kInteger, kFlag };

struct AttributeName {
  const char* longName;
  const char* shortName;
  Kind kind;
};

const std::vector<AttributeName>& attributeNames(const std::string& type) {
  static const std::map<std::string, std::vector<AttributeName>> kNames = {
      {"polyPlane",
       {{"width", "w", Kind::kNumber},
        {"height", "h", Kind::kNumber},
        {"subdivisionsWidth", "sw", Kind::kInteger},
        {"subdivisionsHeight", "sh", Kind::kInteger},
        {"createUVs", "cuv", Kind::kInteger}}},
      {"polyCube",
       {{"width", "w", Kind::kNumber},
        {"height", "h", Kind::kNumber},
        {"depth", "d", Kind::kNumber},
        {"subdivisionsWidth", "sw", Kind::kInteger},
        {"subdivisionsHeight", "sh", Kind::kInteger},
        {"subdivisionsDepth", "sd", Kind::kInteger},
        {"createUVs", "cuv", Kind::kInteger}}},
      {"polySphere",
       {{"radius", "r", Kind::kNumber},
        {"subdivisionsAxis", "sa", Kind::kInteger},
        {"subdivisionsHeight", "sh", Kind::kInteger},
        {"createUVs", "cuv", Kind::kInteger}}},
      {"polyCylinder",
       {{"radius", "r", Kind::kNumber},
        {"height", "h", Kind::kNumber},
        {"subdivisionsAxis", "sa", Kind::kInteger},
        {"subdivisionsHeight", "sh", Kind::kInteger},
        {"subdivisionsCaps", "sc", Kind::kInteger},
        {"roundCap", "rcp", Kind::kFlag},
        {"createUVs", "cuv", Kind::kInteger}}}};
  static const std::vector<AttributeName> kNone;
  auto found = kNames.find(type);
  return found == kNames.end() ? kNone : found->second;
}

bool readAttributes(const std::string& type, const std::string& node,
                    const std::vector<SavedValue>& values, Attributes* attributes,
                    std::string* error) {
  for (const auto& value : values) {
    std::vector<saved::PlugElement> path;
    std::string attribute = value.plug.empty() ? value.plug : value.plug.substr(1);
    if (!saved::splitPlug(value.plug, &path)) return fail(error, node, attribute, "malformed plug");
    if (path.size() != 1 || path[0].indexed) continue;
    const std::string& name = path[0].name;
    auto number = [&](double* out) {
      return value.words.size() == 1 && saved::parseDouble(value.words[0], out);
    };
    if (name == "axis" || name == "ax") {
      if (value.words.size() != 3) return fail(error, node, attribute, "three numbers expected");
      for (int i = 0; i < 3; ++i)
        if (!saved::parseDouble(value.words[static_cast<size_t>(i)], &attributes->axis[i]))
          return fail(error, node, attribute,
                      "\"" + value.words[static_cast<size_t>(i)] + "\" is not a number");
      continue;
    }
    static const std::map<std::string, int> kAxisChildren = {
        {"axisX", 0}, {"axx", 0}, {"axisY", 1}, {"axy", 1}, {"axisZ", 2}, {"axz", 2}};
    if (auto child = kAxisChildren.find(name); child != kAxisChildren.end()) {
      if (!number(&attributes->axis[child->second]))
        return fail(error, node, attribute, "one number expected");
      continue;
    }
    for (const auto& known : attributeNames(type)) {
      if (name != known.longName && name != known.shortName) continue;
      const std::string key = known.shortName;
      if (known.kind == Kind::kNumber) {
        double parsed = 0.0;
        if (!number(&parsed)) return fail(error, node, attribute, "one number expected");
        attributes->numbers[key] = parsed;
      } else if (known.kind == Kind::kInteger) {
        long long parsed = 0;
        if (value.words.size() != 1 || !saved::parseInt(value.words[0], &parsed))
          return fail(error, node, attribute, "one integer expected");
        attributes->integers[key] = parsed;
      } else {
        bool parsed = false;
        if (value.words.size() != 1 || !saved::parseBool(value.words[0], &parsed))
          return fail(error, node, attribute, "a boolean expected");
        attributes->flags[key] = parsed;
      }
    }
  }
  return true;
}

double number(const Attributes& attributes, const std::string& key, double fallback) {
  auto found = attributes.numbers.find(key);
  return found == attributes.numbers.end() ? fallback : found->second;
}

long long integer(const Attributes& attributes, const std::string& key, long long fallback) {
  auto found = attributes.integers.find(key);
  return found == attributes.integers.end() ? fallback : found->second;
}

bool nonNegative(const std::string& node, const std::string& key, double value,
                 std::string* error) {
  if (value < 0.0) return fail(error, node, key, "must not be negative");
  return true;
}

bool atLeast(const std::string& node, const std::string& key, long long value, long long least,
             std::string* error) {
  if (value < least)
    return fail(error, node, key, std::to_string(value) + " is below " + std::to_string(least));
  if (value > kMaxFaces) return fail(error, node, key, "too many subdivisions");
  return true;
}

bool createUVs(const std::string& node, const Attributes& attributes, long long fallback,
               long long most, long long* mode, std::string* error) {
  *mode = integer(attributes, "cuv", fallback);
  if (*mode < 0 || *mode > most)
    return fail(error, node, "cuv", std::to_string(*mode) + " is not 0 to " + std::to_string(most));
  return true;
}

bool faceBudget(const std::string& node, const std::string& key, double faces, std::string* error) {
  if (faces > static_cast<double>(kMaxFaces))
    return fail(error, node, key, "the subdivisions make more faces than a preview draws");
  return true;
}

// Points and UVs added once each, found again by a key the builder chooses
// (a lattice position, a UV position), so that faces meeting along an edge
// share them as Maya's primitives do.
class Builder {
 public:
  int point(const std::tuple<long long, long long, long long>& key,
            const std::array<double, 3>& position) {
    auto [it, added] = points_.try_emplace(key, static_cast<int>(mesh.points.size()));
    if (added) mesh.points.push_back(position);
    return it->second;
  }
  int addPoint(const std::array<double, 3>& position) {
    mesh.points.push_back(position);
    return static_cast<int>(mesh.points.size()) - 1;
  }
  int uv(int group, float u, float v) {
    auto [it, added] =
        uvs_.try_emplace(std::make_tuple(group, u, v), static_cast<int>(mesh.uvs.size()));
    if (added) mesh.uvs.push_back({u, v});
    return it->second;
  }
  void face(std::vector<int> vertices, std::vector<int> uvs) {
    mesh.faces.push_back({std::move(vertices), std::move(uvs)});
  }

  PolyMesh mesh;

 private:
  std::map<std::tuple<long long, long long, long long>, int> points_;
  std::map<std::tuple<int, float, float>, int> uvs_;
};

// Turns the shape built about +Y so that +Y follows `axis`, along the
// shortest arc; straight down turns it half a turn about X.
bool orient(const std::string& node, const std::array<double, 3>& axis, PolyMesh* mesh,
            std::string* error) {
  double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
  if (!(length > 0.0) || !std::isfinite(length)) return fail(error, node, "ax", "has no direction");
  std::array<double, 3> a{axis[0] / length, axis[1] / length, axis[2] / length};
  double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  double c = a[1];
  if (c < -1.0 + 1e-12) {
    m[1][1] = -1.0;
    m[2][2] = -1.0;
  } else {
    // Rodrigues about v = Y x a = (a.z, 0, -a.x): R = I + [v] + [v]^2 / (1 + c).
    double vx = a[2];
    double vz = -a[0];
    double k = 1.0 / (1.0 + c);
    double vv[3][3] = {{0, -vz, 0}, {vz, 0, -vx}, {0, vx, 0}};
    double square[3][3] = {};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        for (int l = 0; l < 3; ++l) square[i][j] += vv[i][l] * vv[l][j];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) m[i][j] += vv[i][j] + square[i][j] * k;
  }
  for (auto& p : mesh->points) {
    std::array<double, 3> q{};
    for (int i = 0; i < 3; ++i) q[i] = m[i][0] * p[0] + m[i][1] * p[1] + m[i][2] * p[2];
    p = q;
  }
  return true;
}

// The plane lies in XZ facing +Y: u runs along +X, v along -Z, so a texture
// reads upright from above.
bool plane(const std::string& node, const Attributes& at, PolyMesh* mesh, std::string* error) {
  double w = number(at, "w", 1.0);
  double h = number(at, "h", 1.0);
  long long sw = integer(at, "sw", 10);
  long long sh = integer(at, "sh", 10);
  long long cuv = 0;
  if (!nonNegative(node, "w", w, error) || !nonNegative(node, "h", h, error) ||
      !atLeast(node, "sw", sw, 1, error) || !atLeast(node, "sh", sh, 1, error) ||
      !faceBudget(node, "sw", static_cast<double>(sw) * static_cast<double>(sh), error) ||
      !createUVs(node, at, 1, 2, &cuv, error))
    return false;
  // Preserving the aspect ratio fits the longer side to 0..1 and centres the
  // shorter one.
  double su = 1.0;
  double sv = 1.0;
  if (cuv == 2 && w > 0.0 && h > 0.0) {
    su = w / std::max(w, h);
    sv = h / std::max(w, h);
  }
  Builder b;
  auto index = [&](long long i, long long j) {
    return b.point({i, j, 0}, {-w / 2 + w * static_cast<double>(i) / static_cast<double>(sw), 0.0,
                               h / 2 - h * static_cast<double>(j) / static_cast<double>(sh)});
  };
  auto uv = [&](long long i, long long j) {
    return b.uv(0, static_cast<float>(0.5 + su * (static_cast<double>(i) / sw - 0.5)),
                static_cast<float>(0.5 + sv * (static_cast<double>(j) / sh - 0.5)));
  };
  // Points in Maya's order, row by row from the corner at -X +Z, so that
  // tweaks downstream (a polyTweak's) land on the vertices they name.
  for (long long j = 0; j <= sh; ++j)
    for (long long i = 0; i <= sw; ++i) index(i, j);
  for (long long j = 0; j < sh; ++j)
    for (long long i = 0; i < sw; ++i) {
      std::vector<int> uvs;
      if (cuv != 0) uvs = std::vector<int>{uv(i, j), uv(i + 1, j), uv(i + 1, j + 1), uv(i, j + 1)};
      b.face({index(i, j), index(i + 1, j), index(i + 1, j + 1), index(i, j + 1)}, uvs);
    }
  *mesh = std::move(b.mesh);
  return true;
}

// The cube's six sides are grids on a lattice of (sw, sh, sd) steps, each
// laid out in UV space as Maya's cross: front, top, back, bottom up the
// column u 0.375..0.625, the right and left sides either side of the front.
bool cube(const std::string& node, const Attributes& at, PolyMesh* mesh, std::string* error) {
  double w = number(at, "w", 1.0);
  double h = number(at, "h", 1.0);
  double d = number(at, "d", 1.0);
  long long sw = integer(at, "sw", 1);
  long long sh = integer(at, "sh", 1);
  long long sd = integer(at, "sd", 1);
  long long cuv = 0;
  if (!nonNegative(node, "w", w, error) || !nonNegative(node, "h", h, error) ||
      !nonNegative(node, "d", d, error) || !atLeast(node, "sw", sw, 1, error) ||
      !atLeast(node, "sh", sh, 1, error) || !atLeast(node, "sd", sd, 1, error) ||
      !faceBudget(node, "sw",
                  2.0 * (static_cast<double>(sw) * sh + static_cast<double>(sw) * sd +
                         static_cast<double>(sh) * sd),
                  error) ||
      !createUVs(node, at, 3, 4, &cuv, error))
    return false;
  using Lattice = std::array<long long, 3>;
  struct Side {
    Lattice origin, uStep, vStep;
    long long nu, nv;
    float u0, v0;
  };
  const Side sides[6] = {{{0, 0, sd}, {1, 0, 0}, {0, 1, 0}, sw, sh, 0.375f, 0.0f},     // +Z
                         {{0, sh, sd}, {1, 0, 0}, {0, 0, -1}, sw, sd, 0.375f, 0.25f},  // +Y
                         {{0, sh, 0}, {1, 0, 0}, {0, -1, 0}, sw, sh, 0.375f, 0.5f},    // -Z
                         {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, sw, sd, 0.375f, 0.75f},     // -Y
                         {{sw, 0, sd}, {0, 0, -1}, {0, 1, 0}, sd, sh, 0.625f, 0.0f},   // +X
                         {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, sd, sh, 0.125f, 0.0f}};     // -X
  Builder b;
  for (int s = 0; s < 6; ++s) {
    const Side& side = sides[s];
    auto vertex = [&](long long i, long long j) {
      Lattice l;
      for (int k = 0; k < 3; ++k) l[k] = side.origin[k] + side.uStep[k] * i + side.vStep[k] * j;
      return b.point({l[0], l[1], l[2]},
                     {-w / 2 + w * static_cast<double>(l[0]) / static_cast<double>(sw),
                      -h / 2 + h * static_cast<double>(l[1]) / static_cast<double>(sh),
                      -d / 2 + d * static_cast<double>(l[2]) / static_cast<double>(sd)});
    };
    auto uv = [&](long long i, long long j) {
      double fu = static_cast<double>(i) / static_cast<double>(side.nu);
      double fv = static_cast<double>(j) / static_cast<double>(side.nv);
      if (cuv == 2) return b.uv(s + 1, static_cast<float>(fu), static_cast<float>(fv));
      return b.uv(0, static_cast<float>(side.u0 + 0.25 * fu),
                  static_cast<float>(side.v0 + 0.25 * fv));
    };
    for (long long j = 0; j < side.nv; ++j)
      for (long long i = 0; i < side.nu; ++i) {
        std::vector<int> uvs;
        if (cuv != 0)
          uvs = std::vector<int>{uv(i, j), uv(i + 1, j), uv(i + 1, j + 1), uv(i, j + 1)};
        b.face({vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1), vertex(i, j + 1)}, uvs);
      }
  }
  *mesh = std::move(b.mesh);
  return true;
}

// Maya numbers a ring's points from one step past +X: point k sits at
// angle 2 pi (k + 1) / count from +X towards -Z, and takes the k-th of the
// ring's count + 1 u columns, so the seam (columns 0 and count) runs through
// point 0. Seen from outside, u runs left to right as v runs up.
std::array<double, 3> around(double radius, double y, long long k, long long count) {
  double angle = 2.0 * kPi * static_cast<double>(k % count + 1) / static_cast<double>(count);
  return {radius * std::cos(angle), y, -radius * std::sin(angle)};
}

// Rings from the lower pole to the upper, u around and v from pole (0) to
// pole (1); each pole triangle has its own pole UV at the middle of its u
// span (Maya's sawtooth).
bool sphere(const std::string& node, const Attributes& at, PolyMesh* mesh, std::string* error) {
  double r = number(at, "r", 1.0);
  long long sa = integer(at, "sa", 20);
  long long sh = integer(at, "sh", 20);
  long long cuv = 0;
  if (!nonNegative(node, "r", r, error) || !atLeast(node, "sa", sa, 3, error) ||
      !atLeast(node, "sh", sh, 2, error) ||
      !faceBudget(node, "sa", static_cast<double>(sa) * static_cast<double>(sh), error) ||
      !createUVs(node, at, 2, 2, &cuv, error))
    return false;
  Builder b;
  int bottom = b.addPoint({0.0, -r, 0.0});
  int top = b.addPoint({0.0, r, 0.0});
  auto vertex = [&](long long ring, long long k) {
    double polar = kPi * static_cast<double>(ring) / static_cast<double>(sh);
    return b.point({ring, k % sa, 0}, around(r * std::sin(polar), -r * std::cos(polar), k, sa));
  };
  auto uv = [&](long long ring, long long k) {
    return b.uv(0, static_cast<float>(static_cast<double>(k) / sa),
                static_cast<float>(static_cast<double>(ring) / sh));
  };
  auto poleUv = [&](long long ring, long long k) {
    return b.uv(0, static_cast<float>((static_cast<double>(k) + 0.5) / sa),
                static_cast<float>(static_cast<double>(ring) / sh));
  };
  for (long long ring = 0; ring < sh; ++ring)
    for (long long k = 0; k < sa; ++k) {
      std::vector<int> vertices;
      std::vector<int> uvs;
      if (ring == 0) {
        vertices = std::vector<int>{bottom, vertex(1, k + 1), vertex(1, k)};
        uvs = std::vector<int>{poleUv(0, k), uv(1, k + 1), uv(1, k)};
      } else if (ring == sh - 1) {
        vertices = std::vector<int>{vertex(ring, k), vertex(ring, k + 1), top};
        uvs = std::vector<int>{uv(ring, k), uv(ring, k + 1), poleUv(sh, k)};
      } else {
        vertices = std::vector<int>{vertex(ring, k), vertex(ring, k + 1), vertex(ring + 1, k + 1),
                                    vertex(ring + 1, k)};
        uvs = std::vector<int>{uv(ring, k), uv(ring, k + 1), uv(ring + 1, k + 1), uv(ring + 1, k)};
      }
      if (cuv == 0) uvs.clear();
      b.face(std::move(vertices), std::move(uvs));
    }
  *mesh = std::move(b.mesh);
  return true;
}

// Maya 2016's layout, whatever the radius and height: the side is the
// column u 0.375..0.625 standing on v 0.3125 and 0.5 / 1.33 tall (Maya
// 2016's figure; later versions make it 0.375), the caps circles of radius
// 0.15625 below and above it, centred on (0.5, 0.15625) and (0.5, 0.84375),
// each read unmirrored from outside. The cap centres' own UVs sit 0.00625
// below their circles' centres, as Maya 2016 puts them. Cap rings step in
// evenly; a round cap lifts them onto a quarter circle of the radius.
constexpr double kSideBottom = 0.3125;
constexpr double kSideHeight = 0.5 / 1.33;
constexpr double kCapRadius = 0.15625;
constexpr double kCapCentre[2] = {0.15625, 0.84375};
constexpr double kCapMiddle[2] = {0.15, 0.8375};

bool cylinder(const std::string& node, const Attributes& at, PolyMesh* mesh, std::string* error) {
  double r = number(at, "r", 1.0);
  double h = number(at, "h", 2.0);
  long long sa = integer(at, "sa", 20);
  long long sh = integer(at, "sh", 1);
  long long sc = integer(at, "sc", 0);
  bool round = at.flags.count("rcp") ? at.flags.at("rcp") : false;
  long long cuv = 0;
  if (!nonNegative(node, "r", r, error) || !nonNegative(node, "h", h, error) ||
      !atLeast(node, "sa", sa, 3, error) || !atLeast(node, "sh", sh, 1, error) ||
      !atLeast(node, "sc", sc, 0, error) ||
      !faceBudget(node, "sa", static_cast<double>(sa) * static_cast<double>(sh + 2 * sc), error) ||
      !createUVs(node, at, 2, 3, &cuv, error))
    return false;
  Builder b;
  auto side = [&](long long level, long long k) {
    return b.point({0, level, k % sa},
                   around(r, -h / 2 + h * static_cast<double>(level) / sh, k, sa));
  };
  auto sideUv = [&](long long level, long long k) {
    return b.uv(0, static_cast<float>(0.375 + 0.25 * static_cast<double>(k) / sa),
                static_cast<float>(kSideBottom + kSideHeight * static_cast<double>(level) / sh));
  };
  for (long long level = 0; level < sh; ++level)
    for (long long k = 0; k < sa; ++k) {
      std::vector<int> uvs;
      if (cuv != 0)
        uvs = std::vector<int>{sideUv(level, k), sideUv(level, k + 1), sideUv(level + 1, k + 1),
                               sideUv(level + 1, k)};
      b.face({side(level, k), side(level, k + 1), side(level + 1, k + 1), side(level + 1, k)}, uvs);
    }
  for (int cap = 0; cap < 2; ++cap) {
    bool upper = cap == 1;
    double sign = upper ? 1.0 : -1.0;
    // Ring 0 is the side's edge; ring sc is the centre.
    auto ringPoint = [&](long long ring, long long k) {
      if (ring == 0) return side(upper ? sh : 0, k);
      double t = static_cast<double>(ring) / static_cast<double>(sc);
      double radius = r * (1.0 - t);
      double lift = 0.0;
      if (round) {
        radius = r * std::cos(t * kPi / 2);
        lift = r * std::sin(t * kPi / 2);
      }
      double y = sign * (h / 2 + lift);
      if (ring == sc) return b.point({cap + 1, sc, 0}, {0.0, y, 0.0});
      return b.point({cap + 1, ring, k % sa}, around(radius, y, k, sa));
    };
    // u follows x; v follows z on the bottom and -z on the top, so both
    // read unmirrored from outside.
    auto ringUv = [&](long long ring, long long k) {
      if (sc > 0 && ring == sc) return b.uv(cap + 1, 0.5f, static_cast<float>(kCapMiddle[cap]));
      double scale = sc == 0 ? 1.0 : 1.0 - static_cast<double>(ring) / static_cast<double>(sc);
      std::array<double, 3> unit = around(1.0, 0.0, k, sa);
      return b.uv(cap + 1, static_cast<float>(0.5 + kCapRadius * scale * unit[0]),
                  static_cast<float>(kCapCentre[cap] - sign * kCapRadius * scale * unit[2]));
    };
    // Seen from outside each cap runs anticlockwise: the top with the angle,
    // the bottom against it.
    auto wind = [&](std::vector<int>* vertices, std::vector<int>* uvs) {
      if (!upper) {
        std::reverse(vertices->begin(), vertices->end());
        std::reverse(uvs->begin(), uvs->end());
      }
      if (cuv == 0) uvs->clear();
      b.face(std::move(*vertices), std::move(*uvs));
    };
    if (sc == 0) {
      std::vector<int> vertices;
      std::vector<int> uvs;
      for (long long k = 0; k < sa; ++k) {
        vertices.push_back(ringPoint(0, k));
        uvs.push_back(ringUv(0, k));
      }
      wind(&vertices, &uvs);
      continue;
    }
    for (long long ring = 0; ring < sc; ++ring)
      for (long long k = 0; k < sa; ++k) {
        std::vector<int> vertices{ringPoint(ring, k), ringPoint(ring, k + 1)};
        std::vector<int> uvs{ringUv(ring, k), ringUv(ring, k + 1)};
        if (ring + 1 == sc) {
          vertices.push_back(ringPoint(sc, 0));
          uvs.push_back(ringUv(sc, 0));
        } else {
          vertices.insert(vertices.end(), {ringPoint(ring + 1, k + 1), ringPoint(ring + 1, k)});
          uvs.insert(uvs.end(), {ringUv(ring + 1, k + 1), ringUv(ring + 1, k)});
        }
        wind(&vertices, &uvs);
      }
  }
  *mesh = std::move(b.mesh);
  return true;
}

}  // namespace

bool isPolyPrimitive(const std::string& type) {
  return type == "polyPlane" || type == "polyCube" || type == "polySphere" ||
         type == "polyCylinder";
}

bool polyPrimitive(const std::string& type, const std::string& node,
                   const std::vector<SavedValue>& values, PolyMesh* mesh, std::string* error) {
  if (!isPolyPrimitive(type)) {
    if (error) *error = node + ": " + type + " is not a primitive this host builds";
    return false;
  }
  Attributes attributes;
  if (!readAttributes(type, node, values, &attributes, error)) return false;
  PolyMesh built;
  bool ok = type == "polyPlane"    ? plane(node, attributes, &built, error)
            : type == "polyCube"   ? cube(node, attributes, &built, error)
            : type == "polySphere" ? sphere(node, attributes, &built, error)
                                   : cylinder(node, attributes, &built, error);
  if (!ok || !orient(node, attributes.axis, &built, error)) return false;
  *mesh = std::move(built);
  return true;
}

}  // namespace qv::maya
