// The surfaces of a scene as Maya saves one: meshes held inline or made by
// their construction-history creator, and what each face shows through the
// shading engine it is a member of.
#pragma once

#include "maya_host.h"
#include "mesh.h"

#include <array>
#include <string>
#include <vector>

namespace qv::maya {

namespace detail {
struct MeshPolygons;
}

// What part of a surface shows: the network rooted at a node's output
// (`node` set: a node with a Viewport 2.0 shader), else a flat colour.
struct SurfaceLook {
  std::string node;
  std::string attribute;  // the output's long name
  std::array<float, 3> flat{0.5f, 0.5f, 0.5f};
};

struct SceneSurface {
  std::string node;                       // the mesh shape
  host::TriangleMesh mesh;                // object space
  std::vector<std::array<float, 2>> uvs;  // three per triangle, in its corners' order
  std::vector<SurfaceLook> looks;
  std::vector<int> lookOfTriangle;  // empty: every triangle shows looks[0]
};

// Whether the preview evaluates nodes of this type where they make or pass
// on a mesh's polygons: the creators, groupParts, polyNormal, polySoftEdge
// and polyTweak.
bool isEvaluatedHistory(const std::string& type);

// The meshes of the scene that hold polygons (inline data, or a polyPlane,
// polyCube, polySphere or polyCylinder through inMesh), that are neither
// intermediate objects nor hidden. A mesh whose data does not add up, or
// whose inMesh comes from a node not evaluated here, draws nothing: `notes`
// says which and why. What shows on each face is its shading engine's
// surfaceShader: a lambert's colour, or the network of a node with a
// Viewport 2.0 shader connected there.
std::vector<SceneSurface> savedSurfaces(Host& host, std::vector<std::string>* notes);

// The polygons a `mesh` node holds, in object space, as its outMesh and
// worldMesh hand them on: from its objFile (a relative name found in
// `folders`, the first that has it, where it is not found as given), else
// from its inline data or history as savedSurfaces reads them. False with
// `error` naming what is wrong.
bool meshPolygons(Host& host, const std::string& mesh, const std::vector<std::string>& folders,
                  detail::MeshPolygons* polygons, std::string* error);

// The meshes whose polygons the node's kept values or connections can
// change: the node itself where it is a mesh, and those its outputs reach.
std::vector<std::string> meshesFedBy(const Host& host, const std::string& node);

}  // namespace qv::maya
