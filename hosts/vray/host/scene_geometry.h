// The geometry of a .vrscene, as the world-space objects that rays are traced
// against.
#pragma once

#include <string>
#include <vector>

#include "mesh.h"
#include "vrscene.h"

namespace qv::vrayhost {

// Plug-in types that describe geometry, which the renderer reads itself
// rather than instancing as plug-ins: GeomStaticMesh, GeomMeshFile, Node.
bool isGeometryType(const std::string& type);

// One object per Node, in scene order, named after the Node, its mesh moved
// by the Node's transform. GeomMeshFile paths that are relative are taken
// from sceneDir. Every geometry plug-in is checked, used or not. False, with
// one "FILE:LINE: what" message, on the first problem.
bool collectSceneObjects(const vrscene::Scene& scene, const std::string& sceneDir,
                         std::vector<host::SceneObject>* objects, std::string* error);

}  // namespace qv::vrayhost
