// Writes the example into a folder: the painting, one OBJ per object, and the
// scene file of each host.
#pragma once

#include <string>

#include "example_scene.h"

namespace qv::example {

// False with a message naming the file that could not be written.
bool writeExample(const Scene& scene, const std::string& folder, std::string* error);

}  // namespace qv::example
