// What qv_testMeshArray's compute read through its mesh array, for the tests
// to compare with what they connected.
#pragma once

#include <array>
#include <vector>

namespace qv::maya::test {

struct MeshReading {
  unsigned int logicalIndex = 0;
  bool attached = false;  // MFnMesh took the element's asMesh()
  int polygons = 0;
  std::vector<int> triangleCounts;
  std::vector<int> triangleVertices;
  std::vector<std::array<double, 3>> points;       // object space
  std::vector<std::array<double, 3>> transformed;  // asMeshTransformed's points
  std::array<std::array<double, 4>, 4> toWorld{};  // geometryTransformMatrix
};

struct MeshLog {
  int computes = 0;
  unsigned int elementCount = 0;
  std::vector<MeshReading> readings;
};

}  // namespace qv::maya::test
