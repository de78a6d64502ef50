// The geometry of a .vrscene, as the world-space objects that rays are traced
// against.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mesh.h"
#include "vrscene.h"

namespace qv::vrayhost {

// Plug-in types that describe geometry, which the renderer reads itself
// rather than instancing as plug-ins: GeomStaticMesh, GeomMeshFile, Node.
bool isGeometryType(const std::string& type);

// What a Node shows in a render: the texture (or texture output) its
// `texture` parameter names, a stand-in extension where real V-Ray nodes
// take a material.
struct NodeTexture {
  int line = 0;  // of the parameter, or of the Node when it has none
  std::optional<vrscene::PluginRef> texture;
};

// One object per Node, in scene order, named after the Node, its mesh moved
// by the Node's transform. GeomMeshFile paths that are relative are taken
// from sceneDir. Every geometry plug-in is checked, used or not. False, with
// one "FILE:LINE: what" message, on the first problem. textures, when given,
// receives what each object shows, in the same order.
bool collectSceneObjects(const vrscene::Scene& scene, const std::string& sceneDir,
                         std::vector<host::SceneObject>* objects, std::string* error,
                         std::vector<NodeTexture>* textures = nullptr);

}  // namespace qv::vrayhost
