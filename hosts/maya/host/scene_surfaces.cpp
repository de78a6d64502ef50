#include "scene_surfaces.h"

#include "graph.h"
#include "obj_reader.h"
#include "poly_mesh.h"
#include "poly_primitives.h"
#include "text_file.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

namespace qv::maya {
namespace {

// How deep a mesh may take its polygons from another mesh's output.
constexpr int kMaxMeshChain = 64;

// The plug as saved, without a leading dot and with long names made short,
// so that "instObjGroups[0].objectGroups[2]" reads as "iog[0].og[2]".
std::string shortPlug(std::string plug) {
  if (!plug.empty() && plug[0] == '.') plug.erase(0, 1);
  static const std::pair<const char*, const char*> kNames[] = {
      {"instObjGroups", "iog"},
      {"objectGroups", "og"},
      {"objectGroupId", "gid"},
      {"groupComponentList", "gcl"},
      {"dagSetMembers", "dsm"},
      {"inMesh", "i"},
      {"outMesh", "o"},
      {"worldMesh", "w"},
      {"intermediateObject", "io"},
      {"visibility", "v"},
      {"surfaceShader", "ss"},
      {"inputGeometry", "ig"},
      {"inputPolymesh", "ip"},
      {"tweak", "tk"},
  };
  for (const auto& [longName, shortName] : kNames) {
    for (std::string::size_type at = 0; (at = plug.find(longName, at)) != std::string::npos;) {
      const auto end = at + std::string(longName).size();
      const bool whole = (at == 0 || plug[at - 1] == '.') &&
                         (end == plug.size() || plug[end] == '.' || plug[end] == '[');
      if (whole) {
        plug.replace(at, end - at, shortName);
        at += std::string(shortName).size();
      } else {
        at = end;
      }
    }
  }
  // An array named without an index is its element 0: "iog.og[1]".
  if (plug.compare(0, 4, "iog.") == 0) plug.insert(3, "[0]");
  return plug;
}

std::vector<SavedValue> savedValues(const Host& host, const std::string& node) {
  std::vector<SavedValue> values;
  if (const NodeRecord* record = host.findRecord(node)) {
    for (const KeptValue& kept : record->values) {
      if (!kept.words.empty()) values.push_back({kept.plug, kept.type, kept.words});
    }
  }
  return values;
}

// A kept boolean as saved ("yes", "1" ...), or `otherwise` when not set.
bool keptFlag(const Host& host, const std::string& node, const std::string& plug, bool otherwise) {
  const NodeRecord* record = host.findRecord(node);
  if (!record) return otherwise;
  for (const KeptValue& kept : record->values) {
    if (kept.words.size() != 1 || shortPlug(kept.plug) != plug) continue;
    const std::string& word = kept.words[0];
    if (word == "yes" || word == "on" || word == "true") return true;
    if (word == "no" || word == "off" || word == "false") return false;
    return std::strtod(word.c_str(), nullptr) != 0.0;
  }
  return otherwise;
}

bool visible(Host& host, const std::string& mesh) {
  if (!keptFlag(host, mesh, "v", true)) return false;
  for (std::string at = host.parentOf(mesh); !at.empty(); at = host.parentOf(at)) {
    const auto value = host.getAttr(at + ".visibility");
    if (value && value->size() == 1 && (*value)[0] == 0.0) return false;
  }
  return true;
}

const KeptConnection* incoming(const Host& host, const std::string& node, const std::string& plug) {
  for (const KeptConnection& c : host.keptConnections()) {
    if (c.destinationNode == node && shortPlug(c.destinationPlug) == plug) return &c;
  }
  return nullptr;
}

bool polygonsOf(Host& host, const std::string& mesh, int depth, PolyMesh* polygons,
                std::string* why);

// The polygon input a node passes on, as connected into `plug`.
bool inputPolygons(Host& host, const std::string& node, const char* plug, int depth,
                   PolyMesh* polygons, std::string* why);

// The polygons a node's output holds: a creator's mesh, a mesh's own, or
// the input of a node that leaves polygons and UVs as they are (groupParts
// only marks components; polyNormal and polySoftEdge change normals, which
// the preview does not use; polyTweak moves points by its tweaks).
bool outputPolygons(Host& host, const std::string& node, const std::string& output, int depth,
                    PolyMesh* polygons, std::string* why) {
  const std::string type = host.typeOf(node);
  if (depth >= kMaxMeshChain) {
    *why = node + ": its history is more than " + std::to_string(kMaxMeshChain) + " nodes deep";
    return false;
  }
  if (isPolyPrimitive(type))
    return polyPrimitive(type, node, savedValues(host, node), polygons, why);
  if (type == "mesh" && (output == "o" || output == "w" || output == "w[0]")) {
    return polygonsOf(host, node, depth + 1, polygons, why);
  }
  if (type == "groupParts") return inputPolygons(host, node, "ig", depth, polygons, why);
  if (type == "polyNormal" || type == "polySoftEdge") {
    return inputPolygons(host, node, "ip", depth, polygons, why);
  }
  if (type == "polyTweak") {
    PolyMesh input;
    if (!inputPolygons(host, node, "ip", depth, &input, why)) return false;
    // Its tweaks (tk, tweak) move the points as a mesh's own (pt) do.
    std::vector<SavedValue> tweaks;
    for (SavedValue value : savedValues(host, node)) {
      const std::string plug = shortPlug(value.plug);
      const std::string root = plug.substr(0, plug.find('['));
      if (root != "tk" && root != "tweak") continue;
      value.plug = ".pt" + plug.substr(root.size());
      tweaks.push_back(std::move(value));
    }
    return meshFromSavedValues(node, tweaks, &input, polygons, why);
  }
  *why = "its history comes from " + node + ", a " + type + ", which is not evaluated here";
  return false;
}

bool inputPolygons(Host& host, const std::string& node, const char* plug, int depth,
                   PolyMesh* polygons, std::string* why) {
  const KeptConnection* input = incoming(host, node, plug);
  if (!input) {
    *why = node + " has no input polygons";
    return false;
  }
  return outputPolygons(host, input->sourceNode, shortPlug(input->sourcePlug), depth + 1, polygons,
                        why);
}

// The polygons a mesh holds, through its inMesh where connected.
bool polygonsOf(Host& host, const std::string& mesh, int depth, PolyMesh* polygons,
                std::string* why) {
  std::optional<PolyMesh> upstream;
  if (const KeptConnection* input = incoming(host, mesh, "i")) {
    upstream.emplace();
    if (!outputPolygons(host, input->sourceNode, shortPlug(input->sourcePlug), depth + 1,
                        &*upstream, why)) {
      return false;
    }
  }
  return meshFromSavedValues(mesh, savedValues(host, mesh), upstream ? &*upstream : nullptr,
                             polygons, why);
}

// The faces a componentList names, "f[2]", "f[0:5]" or "f[*]", each once.
std::vector<int> facesOf(const std::vector<std::string>& words, int faceCount) {
  std::vector<bool> chosen(static_cast<size_t>(faceCount), false);
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& item = words[i];
    if (item.size() < 4 || item.compare(0, 2, "f[") != 0 || item.back() != ']') continue;
    const std::string range = item.substr(2, item.size() - 3);
    long first = 0, last = faceCount - 1;
    if (range != "*") {
      char* end = nullptr;
      first = std::strtol(range.c_str(), &end, 10);
      last = *end == ':' ? std::strtol(end + 1, &end, 10) : first;
    }
    for (long f = std::max(0L, first); f <= last && f < faceCount; ++f) {
      chosen[static_cast<size_t>(f)] = true;
    }
  }
  std::vector<int> faces;
  for (int f = 0; f < faceCount; ++f) {
    if (chosen[static_cast<size_t>(f)]) faces.push_back(f);
  }
  return faces;
}

// What a shading engine's members show.
SurfaceLook lookOf(Host& host, const std::string& engine) {
  SurfaceLook look;
  detail::Graph& graph = detail::graph();
  detail::Node* node = graph.nodeByName(engine);
  const detail::Attribute* shader = node ? node->type->find("surfaceShader") : nullptr;
  const detail::Connection* material = shader ? graph.incoming({node, shader}) : nullptr;
  if (!material) return look;
  detail::Node* from = material->source.node;
  look.node = from->name;
  look.attribute = material->source.attribute->longName;
  if (from->type->builtin != detail::BuiltinKind::kLambert) return look;
  // A lambert shows its colour: the network feeding it, else its value.
  const auto colour = host.getAttr(from->name + ".color");
  if (colour && colour->size() == 3) {
    for (int c = 0; c < 3; ++c) look.flat[c] = static_cast<float>((*colour)[c]);
  }
  const detail::Attribute* input = from->type->find("color");
  const detail::Connection* feed = graph.incoming({from, input});
  look.node = feed ? feed->source.node->name : "";
  look.attribute = feed ? feed->source.attribute->longName : "";
  return look;
}

// Which faces show what: the engines the mesh's instance is a member of,
// whole ("iog[0]") or by object group ("iog[0].og[k]", its faces listed in
// the mesh's "iog[0].og[k].gcl").
void assignLooks(Host& host, const std::string& mesh, int faceCount, const PolyTriangles& triangles,
                 SceneSurface* surface) {
  std::optional<std::string> whole;
  std::vector<std::pair<std::string, std::string>> groups;  // engine, group plug
  for (const KeptConnection& c : host.keptConnections()) {
    if (c.sourceNode != mesh || host.typeOf(c.destinationNode) != "shadingEngine") continue;
    const std::string destination = shortPlug(c.destinationPlug);
    if (destination.compare(0, 3, "dsm") != 0) continue;
    const std::string source = shortPlug(c.sourcePlug);
    if (source == "iog" || source == "iog[0]") {
      whole = c.destinationNode;
    } else if (source.compare(0, 10, "iog[0].og[") == 0) {
      groups.emplace_back(c.destinationNode, source);
    }
  }
  surface->looks.push_back(whole ? lookOf(host, *whole) : SurfaceLook());
  if (groups.empty()) return;
  std::vector<int> lookOfFace(static_cast<size_t>(faceCount), 0);
  const NodeRecord* record = host.findRecord(mesh);
  for (const auto& [engine, group] : groups) {
    const int look = static_cast<int>(surface->looks.size());
    surface->looks.push_back(lookOf(host, engine));
    if (!record) continue;
    for (const KeptValue& kept : record->values) {
      if (shortPlug(kept.plug) != group + ".gcl") continue;
      for (int face : facesOf(kept.words, faceCount)) lookOfFace[static_cast<size_t>(face)] = look;
    }
  }
  for (int face : triangles.faces) surface->lookOfTriangle.push_back(lookOfFace[face]);
}

}  // namespace

bool isEvaluatedHistory(const std::string& type) {
  return isPolyPrimitive(type) || type == "groupParts" || type == "polyNormal" ||
         type == "polySoftEdge" || type == "polyTweak";
}

std::vector<SceneSurface> savedSurfaces(Host& host, std::vector<std::string>* notes) {
  std::vector<SceneSurface> surfaces;
  for (const std::string& mesh : host.listNodes("mesh")) {
    const auto file = host.getStringAttr(mesh + ".objFile");
    if (file && !file->empty()) continue;  // the stand-in's own geometry
    if (keptFlag(host, mesh, "io", false) || !visible(host, mesh)) continue;
    PolyMesh polygons;
    std::string why;
    if (!polygonsOf(host, mesh, 0, &polygons, &why)) {
      notes->push_back("mesh " + mesh + " is not drawn: " + why);
      continue;
    }
    if (polygons.faces.empty()) continue;
    const PolyTriangles triangles = triangulate(polygons);
    SceneSurface surface;
    surface.node = mesh;
    for (const auto& p : polygons.points) {
      surface.mesh.vertices.push_back(
          {static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])});
    }
    for (size_t t = 0; t < triangles.corners.size(); ++t) {
      const auto& c = triangles.corners[t];
      surface.mesh.triangles.push_back({static_cast<std::uint32_t>(c[0]),
                                        static_cast<std::uint32_t>(c[1]),
                                        static_cast<std::uint32_t>(c[2])});
      for (const auto& uv : triangles.uvs[t]) surface.uvs.push_back(uv);
    }
    assignLooks(host, mesh, static_cast<int>(polygons.faces.size()), triangles, &surface);
    surfaces.push_back(std::move(surface));
  }
  return surfaces;
}

namespace {

// An OBJ file's faces, back from the fans parseObj made of them.
bool objPolygons(const std::string& path, detail::MeshPolygons* polygons, std::string* error) {
  std::string text;
  host::TriangleMesh mesh;
  std::vector<int> sizes;
  if (!host::readTextFile(path, &text, error) ||
      !host::parseObj(text, path, &mesh, error, &sizes)) {
    return false;
  }
  for (const auto& v : mesh.vertices) polygons->points.push_back({v[0], v[1], v[2]});
  size_t triangle = 0;
  for (int size : sizes) {
    polygons->counts.push_back(size);
    const auto& first = mesh.triangles[triangle];
    polygons->vertices.insert(
        polygons->vertices.end(),
        {static_cast<int>(first[0]), static_cast<int>(first[1]), static_cast<int>(first[2])});
    for (int t = 1; t < size - 2; ++t) {
      polygons->vertices.push_back(static_cast<int>(mesh.triangles[triangle + t][2]));
    }
    triangle += static_cast<size_t>(size - 2);
  }
  return true;
}

}  // namespace

bool meshPolygons(Host& host, const std::string& mesh, const std::vector<std::string>& folders,
                  detail::MeshPolygons* polygons, std::string* error) {
  namespace fs = std::filesystem;
  *polygons = detail::MeshPolygons();
  const auto file = host.getStringAttr(mesh + ".objFile");
  if (file && !file->empty()) {
    fs::path path(*file);
    std::error_code ignored;
    if (path.is_relative() && !fs::exists(path, ignored)) {
      for (const std::string& folder : folders) {
        if (fs::exists(fs::path(folder) / path, ignored)) {
          path = fs::path(folder) / path;
          break;
        }
      }
    }
    return objPolygons(path.string(), polygons, error);
  }
  PolyMesh saved;
  if (!polygonsOf(host, mesh, 0, &saved, error)) return false;
  for (const auto& p : saved.points) polygons->points.push_back(p);
  for (const PolyMesh::Face& face : saved.faces) {
    polygons->counts.push_back(static_cast<int>(face.vertices.size()));
    polygons->vertices.insert(polygons->vertices.end(), face.vertices.begin(), face.vertices.end());
  }
  return true;
}

std::vector<std::string> meshesFedBy(const Host& host, const std::string& node) {
  std::vector<std::string> meshes;
  std::set<std::string> seen{node};
  std::vector<std::string> pending{node};
  while (!pending.empty()) {
    const std::string at = pending.back();
    pending.pop_back();
    if (host.typeOf(at) == "mesh") meshes.push_back(at);
    for (const KeptConnection& c : host.keptConnections()) {
      if (c.sourceNode == at && seen.insert(c.destinationNode).second) {
        pending.push_back(c.destinationNode);
      }
    }
  }
  return meshes;
}

}  // namespace qv::maya
