// Rendering a .mi scene from its camera: camera rays through every pixel,
// the nearest surface each meets, and that object's material shader called
// with the state mental ray hands a shader for an eye ray.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image_file.h"
#include "mi_scene.h"
#include "render_session.h"
#include "tracer.h"

namespace qv::mrhost {

// The camera's ray through the image point (x, y), in pixels from the
// image's top-left corner; its direction is unit length. The film spans
// tan(fovH / 2) = aperture / (2 focal) to either side, and that over the
// aspect (width over height unless the camera sets it) above and below.
host::Ray cameraRay(const CameraStatement& camera, double x, double y);

// Where sample k of n lies within its pixel, both coordinates in [0, 1): one
// sample per column stratum ((k + 1/2) / n across) and golden-ratio steps down
// from the middle, so that a single sample is the pixel centre.
void pixelSample(int k, int n, double* x, double* y);

// The shader whose result members can be rendered beside the image.
inline constexpr const char* kAovShader = "qv_shotWeave";

// Whether an output of this name can be rendered beside the image: a member
// of qv_shotWeave's result as declared; *color tells a colour from a scalar
// member.
bool isAovName(const Declarations& declarations, const std::string& name, bool* color);
std::string aovNames(const Declarations& declarations);  // as a message lists them

struct RenderOptions {
  int samples = 1;  // camera rays per pixel, averaged
  int threads = 1;
  std::vector<std::string> aovs;  // result members, each rendered as an image
  // Called after every row, one call at a time, from any render thread.
  std::function<void(int rowsDone, int rows)> progress;
};

struct RenderResult {
  image::Rgba image;
  std::vector<image::Rgba> aovs;  // as RenderOptions::aovs
  std::uint64_t shadingPoints = 0;
  std::uint64_t rays = 0;  // camera rays and every ray the shaders traced
};

// Renders the scene from its camera (it must have one) through `session`,
// prepared with prepareMaterials(). A pixel shows the average of its
// samples: where a ray hits nothing, (0, 0, 0, 0); on an object with a
// material, the colour of the material's result (outColor for
// qv_shotWeave); on one without, the object's colour with its opacity as
// alpha. A colour output holds the member, a scalar one the value in r, g
// and b with alpha 1; an object whose material has no such member gives 0
// (outColor: its colour, as in the image).
RenderResult render(RenderSession& session, const MiScene& scene, const host::Tracer& tracer,
                    const RenderOptions& options);

}  // namespace qv::mrhost
