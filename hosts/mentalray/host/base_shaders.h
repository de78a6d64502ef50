// The host's own shaders, which scene files use as they use a library's, in
// the spirit of mental ray's base shaders (mib_texture_lookup and kin):
//
//   mib_texture_projection ( "tex" "TEXTURE", "placementMatrix" <16>,
//                            "focal" F, "aperture" A, "default" r g b a )
//
// looks up a color texture (a painting) projected through a camera: placed
// as a layer's placementMatrix (camera to world, row vectors, position in
// elements 12..14), looking down its -z axis with +y up, its horizontal field
// of view 2 atan(A / 2F) and its vertical one from the painting's width and
// height. With pc the shading point in camera space,
//   u = 0.5 + 0.5 pc.x / (-pc.z tan(fovH / 2)),  v = 0.5 - 0.5 pc.y / (-pc.z tan(fovV / 2)),
// (0, 0) being the painting's top-left corner, and the nearest texel is the
// result: the same painting lands on the same points as in Maya's viewport.
// Points behind the camera or outside the painting get "default" (0 0 0 0
// unless set). A colour parameter connected to it takes the colour, a scalar
// one (a layer's mask) its alpha.
#pragma once

#include <string>

#include "mi_scene.h"
#include "shader_library.h"

namespace qv::mrhost {

// The host's shader of this name, or null. Their declarations are the
// host's own declaration file's (base.mi).
const Shader* findHostShader(const std::string& name);

// What is wrong with an instance of a host shader that the shader could not
// answer sensibly, or "" (also for any other shader's instance).
std::string checkHostShader(const ShaderInstance& instance);

}  // namespace qv::mrhost
