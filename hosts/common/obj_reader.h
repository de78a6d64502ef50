// Reader for the part of Wavefront OBJ that describes polygon meshes.
#pragma once

#include <string>
#include <vector>

#include "mesh.h"

namespace qv::host {

// Vertices (`v x y z [w]`, w ignored, or `v x y z r g b` as scanners write
// them, the colour ignored) and faces (`f` with `i`, `i/t`, `i//n`
// or `i/t/n` corners, negative indices counting back from the latest vertex);
// polygons become triangle fans. Every other statement is ignored. A face may
// use only vertices defined above it. On failure the mesh is left untouched
// and `error` holds "NAME:LINE: message". Where `faceSizes` is given it gets
// each face's corner count in file order: face k's fan is the next size-2
// triangles.
bool parseObj(const std::string& text, const std::string& name, TriangleMesh* mesh,
              std::string* error, std::vector<int>* faceSizes = nullptr);

// parseObj() on a file's contents, with the path as the name.
bool readObj(const std::string& path, TriangleMesh* mesh, std::string* error);

}  // namespace qv::host
