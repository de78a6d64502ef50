#include "scene_geometry.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <utility>

#include "obj_reader.h"
#include "text_lexer.h"

namespace qv::vrayhost {

using host::shown;
namespace {

// Thrown inside this file only; collectSceneObjects() turns it into the one
// message.
struct Failure {
  int line;
  std::string what;
};

std::string describe(const vrscene::PluginBlock& block) {
  return shown(block.type) + " '" + shown(block.name) + "'";
}

std::string describe(const vrscene::Param& param, const vrscene::PluginBlock& block) {
  return "'" + shown(param.name) + "' of " + describe(block);
}

void checkParams(const vrscene::PluginBlock& block, std::initializer_list<const char*> known) {
  for (const vrscene::Param& p : block.params) {
    bool found = false;
    for (const char* name : known) found = found || p.name == name;
    if (!found)
      throw Failure{p.line, describe(block) + " has no parameter '" + shown(p.name) + "'"};
  }
}

const vrscene::Param& required(const vrscene::PluginBlock& block, const char* name) {
  const vrscene::Param* p = block.find(name);
  if (p == nullptr) throw Failure{block.line, describe(block) + " needs '" + name + "'"};
  return *p;
}

std::string withArticle(const char* noun) {
  const bool vowel = std::string("aeiouAEIOU").find(noun[0]) != std::string::npos;
  return (vowel ? "an " : "a ") + std::string(noun);
}

template <typename T>
const T& valueOf(const vrscene::Param& param, const vrscene::PluginBlock& block,
                 const char* expected) {
  const T* v = std::get_if<T>(&param.value);
  if (v == nullptr) {
    throw Failure{param.line, describe(param, block) + " must be " + expected + ", not " +
                                  withArticle(vrscene::kindName(param.value))};
  }
  return *v;
}

std::string validRange(std::size_t vertexCount) {
  if (vertexCount == 0) return "but there are no vertices";
  return "outside 0 to " + std::to_string(vertexCount - 1);
}

host::TriangleMesh staticMesh(const vrscene::PluginBlock& block) {
  checkParams(block, {"vertices", "faces"});
  const vrscene::Param& verticesParam = required(block, "vertices");
  const vrscene::Param& facesParam = required(block, "faces");
  const auto& vertices = valueOf<vrscene::ListVector>(verticesParam, block, "a ListVector").values;
  const auto& faces = valueOf<vrscene::ListInt>(facesParam, block, "a ListInt").values;
  if (faces.size() % 3 != 0) {
    throw Failure{facesParam.line, describe(facesParam, block) + " has " +
                                       std::to_string(faces.size()) +
                                       " indices, which is not a whole number of triangles"};
  }
  host::TriangleMesh mesh;
  for (const VUtils::Vector& v : vertices) mesh.vertices.push_back({v.x, v.y, v.z});
  for (std::size_t i = 0; i < faces.size(); i += 3) {
    std::array<std::uint32_t, 3> triangle;
    for (std::size_t k = 0; k < 3; ++k) {
      const int index = faces[i + k];
      if (index < 0 || static_cast<std::size_t>(index) >= vertices.size()) {
        throw Failure{facesParam.line, describe(facesParam, block) + ": triangle " +
                                           std::to_string(i / 3) + " uses vertex " +
                                           std::to_string(index) + ", " +
                                           validRange(vertices.size())};
      }
      triangle[k] = static_cast<std::uint32_t>(index);
    }
    mesh.triangles.push_back(triangle);
  }
  return mesh;
}

host::TriangleMesh meshFile(const vrscene::PluginBlock& block, const std::string& sceneDir) {
  checkParams(block, {"file"});
  const vrscene::Param& fileParam = required(block, "file");
  const auto& file = valueOf<std::string>(fileParam, block, "a string");
  if (file.empty()) throw Failure{fileParam.line, describe(fileParam, block) + " is empty"};
  const std::filesystem::path path = std::filesystem::path(sceneDir) / file;
  host::TriangleMesh mesh;
  std::string error;
  if (!host::readObj(path.string(), &mesh, &error)) {
    throw Failure{fileParam.line, describe(block) + ": " + error};
  }
  return mesh;
}

NodeTexture nodeTexture(const vrscene::PluginBlock& block) {
  NodeTexture shown;
  shown.line = block.line;
  if (const vrscene::Param* p = block.find("texture")) {
    shown.line = p->line;
    shown.texture = valueOf<vrscene::PluginRef>(*p, block, "a texture (PLUGIN or PLUGIN::OUTPUT)");
  }
  return shown;
}

host::SceneObject node(const vrscene::PluginBlock& block, const vrscene::Scene& scene,
                       const std::map<std::string, host::TriangleMesh>& meshes) {
  checkParams(block, {"geometry", "transform", "opacity", "texture"});
  host::SceneObject object;
  object.name = block.name;

  const vrscene::Param& geometryParam = required(block, "geometry");
  const auto& ref = valueOf<vrscene::PluginRef>(geometryParam, block, "a plug-in reference");
  if (!ref.output.empty()) {
    throw Failure{geometryParam.line, describe(geometryParam, block) +
                                          " must name a whole plug-in, not its output '" +
                                          shown(ref.plugin) + "::" + shown(ref.output) + "'"};
  }
  const auto mesh = meshes.find(ref.plugin);
  if (mesh == meshes.end()) {
    const vrscene::PluginBlock* target = scene.find(ref.plugin);
    throw Failure{
        geometryParam.line,
        describe(geometryParam, block) +
            (target == nullptr ? " refers to '" + shown(ref.plugin) + "', which is not defined"
                               : " refers to " + describe(*target) +
                                     ", which is not a GeomStaticMesh or GeomMeshFile")};
  }
  object.mesh = mesh->second;

  if (const vrscene::Param* p = block.find("transform")) {
    const auto& tm = valueOf<VUtils::Transform>(*p, block, "a Transform");
    const VUtils::Vector* c = tm.m.f;
    for (host::Vec3f& v : object.mesh.vertices) {
      const double x = v[0], y = v[1], z = v[2];
      const double world[3] = {c[0].x * x + c[1].x * y + c[2].x * z + tm.offs.x,
                               c[0].y * x + c[1].y * y + c[2].y * z + tm.offs.y,
                               c[0].z * x + c[1].z * y + c[2].z * z + tm.offs.z};
      for (int k = 0; k < 3; ++k) {
        if (!(std::fabs(world[k]) <= FLT_MAX)) {
          throw Failure{p->line,
                        describe(*p, block) + " moves the mesh beyond the range of floats"};
        }
        v[k] = static_cast<float>(world[k]);
      }
    }
  }

  if (const vrscene::Param* p = block.find("opacity")) {
    double opacity = 0.0;
    if (const auto* i = std::get_if<std::int64_t>(&p->value)) {
      opacity = static_cast<double>(*i);
    } else {
      opacity = valueOf<double>(*p, block, "a number");
    }
    if (!(opacity >= 0.0 && opacity <= 1.0)) {
      char shown[32];
      std::snprintf(shown, sizeof shown, "%g", opacity);
      throw Failure{p->line, describe(*p, block) + " must be within [0, 1], got " + shown};
    }
    object.opacity = static_cast<float>(opacity);
  }
  return object;
}

}  // namespace

bool isGeometryType(const std::string& type) {
  return type == "GeomStaticMesh" || type == "GeomMeshFile" || type == "Node";
}

bool collectSceneObjects(const vrscene::Scene& scene, const std::string& sceneDir,
                         std::vector<host::SceneObject>* objects, std::string* error,
                         std::vector<NodeTexture>* textures) {
  try {
    // Meshes first: Nodes may refer to geometry defined further down.
    std::map<std::string, host::TriangleMesh> meshes;
    for (const vrscene::PluginBlock& block : scene.plugins) {
      if (block.type == "GeomStaticMesh") meshes.emplace(block.name, staticMesh(block));
      if (block.type == "GeomMeshFile") meshes.emplace(block.name, meshFile(block, sceneDir));
    }
    std::vector<host::SceneObject> result;
    std::vector<NodeTexture> shown;
    for (const vrscene::PluginBlock& block : scene.plugins) {
      if (block.type != "Node") continue;
      result.push_back(node(block, scene, meshes));
      shown.push_back(nodeTexture(block));
    }
    *objects = std::move(result);
    if (textures) *textures = std::move(shown);
    return true;
  } catch (const Failure& f) {
    *error = scene.file + ":" + std::to_string(f.line) + ": " + f.what;
    return false;
  }
}

}  // namespace qv::vrayhost
