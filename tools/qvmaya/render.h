// qvmaya render: the Viewport 2.0 preview of a Maya ASCII scene through a
// camera, written as an image file.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qv::qvmaya {

// `qvmaya render SCENE.ma -o IMAGE [--camera NAME] [-w W] [-h H] [--quiet]
// [--cpu] [--engine directx11|opengl-core]` (args[0] is "render"). Progress and the closing summary
// go to err. Returns 0, 1 on bad input (one message, no image left behind) or 2 on bad usage.
int render(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace qv::qvmaya
