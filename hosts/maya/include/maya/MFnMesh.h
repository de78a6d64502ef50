#pragma once

#include <maya/MFnDagNode.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

// Reads polygon meshes: a mesh node (its outMesh) or mesh data, such as a
// data handle's asMesh() gives. Faces are triangulated as fans from their
// first vertex, which is how Maya splits the convex faces the stand-in's
// meshes hold.
class MFnMesh : public MFnDagNode {
 public:
  MFnMesh();
  MFnMesh(MObject& object, MStatus* ReturnStatus = nullptr);
  MFnMesh(const MObject& object, MStatus* ReturnStatus = nullptr);
  ~MFnMesh() override;

  MFn::Type type() const override { return MFn::kMesh; }

  int numVertices(MStatus* ReturnStatus = nullptr) const;
  int numPolygons(MStatus* ReturnStatus = nullptr) const;
  int polygonVertexCount(int polygonId, MStatus* ReturnStatus = nullptr) const;
  MStatus getTriangles(MIntArray& triangleCounts, MIntArray& triangleVertices) const;
  // Object space only: the stand-in attaches to no DAG path, so world space
  // is refused as Maya refuses it for a set without one.
  MStatus getPoints(MPointArray& vertexArray, MSpace::Space space = MSpace::kObject) const;
  MStatus getVertices(MIntArray& vertexCount, MIntArray& vertexList) const;
  MStatus getPolygonVertices(int polygonId, MIntArray& vertexList) const;

 private:
  MFnMesh(const MFnMesh& other);
  MFnMesh& operator=(const MFnMesh& other);
  MFnMesh* operator&() const;
};
