// Polygon meshes as a Maya ASCII file saves them: the setAttr values of a
// `mesh` node (points, edges, faces in Maya's edge-loop form, UV sets and
// tweaks) put back together into faces the preview can draw.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace qv::maya {

// One setAttr of a saved file as read: the plug as written after the node's
// name (".vt[0:7]", ".uvst[0].uvsp[0:3]", ".pt[5]"; long names too:
// ".vrts[0:7]", ".uvSet[0].uvSetPoints[0:3]", ".pnts[5]"), its -type ("" when
// none), and its value words in order (quotes already removed).
struct SavedValue {
  std::string plug;
  std::string type;
  std::vector<std::string> words;
};

struct PolyMesh {
  struct Face {
    std::vector<int> vertices;  // the boundary, in order
    std::vector<int> uvs;       // empty, or one per vertex (-1: none)
  };
  std::vector<std::array<double, 3>> points;  // object space, tweaks added
  std::vector<std::array<float, 2>> uvs;      // of the UV set the mesh shows
  std::vector<Face> faces;
};

// The mesh a `mesh` node holds: from `upstream` (what its inMesh brings,
// e.g. a polyPlane's output) when given, else from its inline data (vt, ed,
// fc, uvst[].uvsp, uvst[].uvsn, cuvs), with the pt tweaks added to the
// points in both cases. False with `error` ("NODE.ATTR: what is wrong") when
// the data does not add up: an edge naming a missing vertex, a face naming a
// missing edge, a UV index out of range, a count that does not match the
// values, a malformed number.
bool meshFromSavedValues(const std::string& node, const std::vector<SavedValue>& values,
                         const PolyMesh* upstream, PolyMesh* mesh, std::string* error);

// Triangles for drawing: each face fanned from its first vertex.
struct PolyTriangles {
  std::vector<std::array<int, 3>> corners;               // indices into points
  std::vector<std::array<std::array<float, 2>, 3>> uvs;  // (0,0) where a corner has none
  std::vector<int> faces;                                // the face each came from
};
PolyTriangles triangulate(const PolyMesh& mesh);

// What the mesh reader and the creators share: a plug split into its
// elements, and the numbers of a value read strictly.
namespace saved {

// One element of a plug path: ".uvst[0]" is {"uvst", true, 0, 0}, ".vt[2:5]"
// {"vt", true, 2, 5}, ".cuvs" {"cuvs", false, 0, 0}.
struct PlugElement {
  std::string name;
  bool indexed = false;
  long long first = 0;
  long long last = 0;
};
// False for a plug that is not a dotted path of names with optional [i] or
// [a:b] (0 <= a <= b <= INT_MAX).
bool splitPlug(const std::string& plug, std::vector<PlugElement>* elements);

// The whole word as a finite number or an integer; false otherwise.
bool parseDouble(const std::string& word, double* value);
bool parseInt(const std::string& word, long long* value);
// Maya's boolean words: yes/no, true/false, on/off, 1/0.
bool parseBool(const std::string& word, bool* value);

}  // namespace saved

}  // namespace qv::maya
