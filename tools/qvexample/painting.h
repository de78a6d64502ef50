// The painting of the example, painted for its projection camera: the set as
// that camera sees it, with brickwork, windows and paving fine enough that a
// projection that lands a few pixels off shows at once.
#pragma once

#include "example_scene.h"
#include "image_file.h"

namespace qv::example {

image::Rgba paint(const Scene& scene);

}  // namespace qv::example
