// The construction-history creators a saved mesh often starts from: the
// node's attributes as set in the file give the mesh Maya builds from them.
#pragma once

#include "poly_mesh.h"

#include <string>
#include <vector>

namespace qv::maya {

// polyPlane, polyCube, polySphere, polyCylinder.
bool isPolyPrimitive(const std::string& type);
// The creator's output mesh from its attributes as set in the file (long or
// short names, Maya's defaults for the rest); false with `error` on values
// out of Maya's range.
bool polyPrimitive(const std::string& type, const std::string& node,
                   const std::vector<SavedValue>& values, PolyMesh* mesh, std::string* error);

}  // namespace qv::maya
