#include "api_support.h"
#include "graph.h"

#include <maya/MFnMesh.h>
#include <maya/MIntArray.h>
#include <maya/MObject.h>
#include <maya/MPointArray.h>

using qv::maya::detail::BuiltinKind;
using qv::maya::detail::graph;
using qv::maya::detail::MeshData;
using qv::maya::detail::MeshPolygons;
using qv::maya::detail::Node;
using qv::maya::detail::report;

// Attaching to nothing is a failure here, unlike for the sets that may be
// detached: a mesh input whose data could not be built is a null object,
// and code tells that from a mesh by the constructor's status.
MFnMesh::MFnMesh() = default;
MFnMesh::~MFnMesh() = default;
MFnMesh::MFnMesh(MObject& object, MStatus* ReturnStatus)
    : MFnMesh(static_cast<const MObject&>(object), ReturnStatus) {}
MFnMesh::MFnMesh(const MObject& object, MStatus* ReturnStatus) {
  const MStatus status = setObject(object);
  report(ReturnStatus, object.isNull() ? MStatus(MS::kInvalidParameter) : status);
}

namespace {

// The polygons behind the attached object: mesh data, or a mesh node's
// outMesh brought up to date. Null with kInvalidParameter otherwise.
const MeshPolygons* polygonsOf(const MFnMesh& fn, MStatus* ReturnStatus) {
  qv::maya::detail::Object* object = qv::maya::detail::get(qv::maya::detail::held(fn));
  const MeshData* data = dynamic_cast<const MeshData*>(object);
  if (auto* node = dynamic_cast<Node*>(object)) {
    if (node->alive && node->type->builtin == BuiltinKind::kMesh) {
      const auto* outMesh = node->type->find("outMesh");
      graph().evaluate(*node, *outMesh);
      data = dynamic_cast<const MeshData*>(graph().data(*node, *outMesh).get());
    }
  }
  report(ReturnStatus, data ? MS::kSuccess : MS::kInvalidParameter);
  return data ? &data->polygons : nullptr;
}

// Where face `polygonId` starts in the vertex list, or -1 for no such face.
long firstCorner(const MeshPolygons& mesh, int polygonId) {
  if (polygonId < 0 || static_cast<size_t>(polygonId) >= mesh.counts.size()) return -1;
  long start = 0;
  for (int f = 0; f < polygonId; ++f) start += mesh.counts[static_cast<size_t>(f)];
  return start;
}

}  // namespace

int MFnMesh::numVertices(MStatus* ReturnStatus) const {
  const MeshPolygons* mesh = polygonsOf(*this, ReturnStatus);
  return mesh ? static_cast<int>(mesh->points.size()) : 0;
}

int MFnMesh::numPolygons(MStatus* ReturnStatus) const {
  const MeshPolygons* mesh = polygonsOf(*this, ReturnStatus);
  return mesh ? static_cast<int>(mesh->counts.size()) : 0;
}

int MFnMesh::polygonVertexCount(int polygonId, MStatus* ReturnStatus) const {
  const MeshPolygons* mesh = polygonsOf(*this, ReturnStatus);
  if (!mesh) return 0;
  if (firstCorner(*mesh, polygonId) < 0) {
    report(ReturnStatus, MS::kInvalidParameter);
    return 0;
  }
  return mesh->counts[static_cast<size_t>(polygonId)];
}

MStatus MFnMesh::getTriangles(MIntArray& triangleCounts, MIntArray& triangleVertices) const {
  MStatus status;
  const MeshPolygons* mesh = polygonsOf(*this, &status);
  if (!mesh) return status;
  triangleCounts.clear();
  triangleVertices.clear();
  size_t start = 0;
  for (int count : mesh->counts) {
    const int triangles = count >= 3 ? count - 2 : 0;
    triangleCounts.append(triangles);
    for (int t = 1; t <= triangles; ++t) {
      for (size_t corner : {start, start + static_cast<size_t>(t), start + t + 1u}) {
        triangleVertices.append(mesh->vertices[corner]);
      }
    }
    start += static_cast<size_t>(count);
  }
  return MS::kSuccess;
}

MStatus MFnMesh::getPoints(MPointArray& vertexArray, MSpace::Space space) const {
  MStatus status;
  const MeshPolygons* mesh = polygonsOf(*this, &status);
  if (!mesh) return status;
  if (space == MSpace::kWorld || space == MSpace::kPostTransform || space == MSpace::kInvalid ||
      space == MSpace::kLast) {
    return MS::kInvalidParameter;
  }
  vertexArray.clear();
  for (const auto& p : mesh->points) vertexArray.append(p[0], p[1], p[2]);
  return MS::kSuccess;
}

MStatus MFnMesh::getVertices(MIntArray& vertexCount, MIntArray& vertexList) const {
  MStatus status;
  const MeshPolygons* mesh = polygonsOf(*this, &status);
  if (!mesh) return status;
  vertexCount.clear();
  vertexList.clear();
  for (int count : mesh->counts) vertexCount.append(count);
  for (int vertex : mesh->vertices) vertexList.append(vertex);
  return MS::kSuccess;
}

MStatus MFnMesh::getPolygonVertices(int polygonId, MIntArray& vertexList) const {
  MStatus status;
  const MeshPolygons* mesh = polygonsOf(*this, &status);
  if (!mesh) return status;
  const long start = firstCorner(*mesh, polygonId);
  if (start < 0) return MS::kInvalidParameter;
  vertexList.clear();
  for (int c = 0; c < mesh->counts[static_cast<size_t>(polygonId)]; ++c) {
    vertexList.append(mesh->vertices[static_cast<size_t>(start + c)]);
  }
  return MS::kSuccess;
}
