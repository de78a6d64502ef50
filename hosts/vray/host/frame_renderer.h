// Renders one frame of a scene: camera rays from the RenderView through each
// pixel, and at every hit the texture of the Node that was hit, shaded on
// all render threads at once as V-Ray shades a bucket.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "image_file.h"
#include "render_settings.h"
#include "renderer.h"
#include "scene.h"
#include "shading_driver.h"
#include "tracer.h"

namespace qv::vrayhost {

// The ray from the camera through image position (x, y), in pixels from the
// top-left corner of the image (a pixel's centre is at its index + 0.5). Its
// direction is unit length.
host::Ray cameraRay(const RenderSettings& view, double x, double y);
// The same with tan(fov / 2) worked out by the caller, once for a frame.
host::Ray cameraRay(const RenderSettings& view, double tanHalf, double x, double y);

// Where the rays of one pixel pass, as offsets within the pixel, each in
// [0, 1): sample k of n at ((k + 0.5) / n, frac(0.5 + k * 0.618...)), a
// lattice that gives every sample a column of the pixel of its own and
// spreads them over its rows (qvmray samples alike). One sample is the
// pixel's centre.
std::vector<std::array<double, 2>> pixelSamples(int count);

// The shading point of a camera-ray hit: the hit point, the surface's normal
// turned toward the ray's origin (V-Ray shades the side it sees), and the
// surface, so that rays leaving the point skip it.
ShadingPoint shadingPointOf(const host::Ray& ray, const host::Hit& hit);

struct FrameOptions {
  int samples = 1;  // camera rays per pixel
  // Called on the calling thread now and then with the share done, 0 to 100.
  std::function<void(int percent)> progress;
};

struct FrameStats {
  std::uint64_t cameraRays = 0;
  std::uint64_t shadingPoints = 0;  // camera rays that hit something
  std::uint64_t shaderRays = 0;     // rays the textures traced
  std::uint64_t occlusionNotices = 0;
  double seconds = 0.0;
};

// What a frame shows: per object of the tracer, the texture of its Node
// (an empty TextureOutput shows opaque black), and any further outputs,
// each rendered into an image of its own. A float output is grey with
// alpha 1. Where a camera ray hits nothing, every image is (0, 0, 0, 0).
struct FrameContent {
  std::vector<TextureOutput> objectTextures;
  std::vector<TextureOutput> outputs;
};

// Runs the scene's render and frame hooks around shading the whole frame on
// renderer.getNumThreads() threads. The images come out in settings' size.
// The renderer must trace against tracer.
FrameStats renderFrame(Scene& scene, StandInRenderer& renderer, const host::Tracer& tracer,
                       const RenderSettings& settings, const FrameContent& content,
                       const FrameOptions& options, image::Rgba* beauty,
                       std::vector<image::Rgba>* outputs);

}  // namespace qv::vrayhost
