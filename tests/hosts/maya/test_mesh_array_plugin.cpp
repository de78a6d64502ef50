// A node reading an array of meshes the way an occlusion input does: every
// element's polygons, triangles and world placement, summed into one output.
#include "test_mesh_array_log.h"

#include <maya/MArrayDataHandle.h>
#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MFnMesh.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnPlugin.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MIntArray.h>
#include <maya/MMatrix.h>
#include <maya/MPlug.h>
#include <maya/MPointArray.h>
#include <maya/MPxNode.h>

namespace {
qv::maya::test::MeshLog meshLog;
}

extern "C" PLUGIN_EXPORT const void* qvTestMeshLog() {
  return &meshLog;
}

class qvTestMeshArray : public MPxNode {
 public:
  static void* creator() { return new qvTestMeshArray; }
  static MStatus initialize();
  MStatus compute(const MPlug& plug, MDataBlock& block) override;

  static MTypeId id;
  static MObject occluders;
  static MObject triangles;
  static MObject weights;
};

MTypeId qvTestMeshArray::id(0x0013FF04);
MObject qvTestMeshArray::occluders;
MObject qvTestMeshArray::triangles;
MObject qvTestMeshArray::weights;

MStatus qvTestMeshArray::initialize() {
  MFnTypedAttribute typed;
  occluders = typed.create("occluders", "ocl", MFnData::kMesh);
  typed.setArray(true);
  typed.setReadable(false);
  typed.setStorable(false);
  MFnNumericAttribute numeric;
  triangles = numeric.create("triangles", "tri", MFnNumericData::kInt, 0);
  numeric.setWritable(false);
  numeric.setStorable(false);
  // Saved, unlike the meshes: an array of plain values.
  weights = numeric.create("weights", "wt", MFnNumericData::kFloat, 1.0);
  numeric.setArray(true);
  MStatus status = addAttribute(occluders);
  if (status) status = addAttribute(triangles);
  if (status) status = addAttribute(weights);
  if (status) status = attributeAffects(occluders, triangles);
  return status;
}

MStatus qvTestMeshArray::compute(const MPlug& plug, MDataBlock& block) {
  if (plug != triangles) return MS::kUnknownParameter;
  ++meshLog.computes;
  meshLog.readings.clear();
  MStatus status;
  MArrayDataHandle meshes = block.inputArrayValue(occluders, &status);
  if (!status) return status;
  int total = 0;
  meshLog.elementCount = meshes.elementCount();
  for (unsigned int i = 0, n = meshes.elementCount(); i < n; ++i, meshes.next()) {
    qv::maya::test::MeshReading reading;
    reading.logicalIndex = meshes.elementIndex();
    MDataHandle element = meshes.inputValue(&status);
    if (!status) return status;
    const MMatrix& toWorld = element.geometryTransformMatrix();
    for (unsigned int r = 0; r < 4; ++r) {
      for (unsigned int c = 0; c < 4; ++c) reading.toWorld[r][c] = toWorld(r, c);
    }
    MFnMesh fn(element.asMesh(), &status);
    reading.attached = static_cast<bool>(status);
    if (reading.attached && element.type() == MFnData::kMesh) {
      reading.polygons = fn.numPolygons();
      MPointArray points;
      fn.getPoints(points, MSpace::kObject);
      for (unsigned int p = 0; p < points.length(); ++p) {
        reading.points.push_back({points[p].x, points[p].y, points[p].z});
      }
      MIntArray counts, vertices;
      fn.getTriangles(counts, vertices);
      for (unsigned int k = 0; k < counts.length(); ++k) {
        reading.triangleCounts.push_back(counts[k]);
        total += counts[k];
      }
      for (unsigned int k = 0; k < vertices.length(); ++k) {
        reading.triangleVertices.push_back(vertices[k]);
      }
      MFnMesh moved(element.asMeshTransformed());
      moved.getPoints(points);
      for (unsigned int p = 0; p < points.length(); ++p) {
        reading.transformed.push_back({points[p].x, points[p].y, points[p].z});
      }
    }
    meshLog.readings.push_back(reading);
  }
  block.outputValue(triangles).setInt(total);
  block.setClean(plug);
  return MS::kSuccess;
}

PLUGIN_EXPORT MStatus initializePlugin(MObject object) {
  MFnPlugin plugin(object, "qv", "1.0", "Any");
  return plugin.registerNode("qvTestMeshArray", qvTestMeshArray::id, qvTestMeshArray::creator,
                             qvTestMeshArray::initialize);
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject object) {
  MFnPlugin plugin(object);
  return plugin.deregisterNode(qvTestMeshArray::id);
}
