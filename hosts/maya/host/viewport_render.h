// The viewport preview: what Viewport 2.0 shows of the session's scene
// through a camera, with the viewport plug-ins' own shade-fragment text run
// on a Vulkan device (their CPU references where there is none).
//
// Geometry and assignment are stand-in extensions of the built-in mesh: its
// triangles come from the OBJ file named by its "objFile" attribute, placed
// by its worldMatrix, and it shows the node output connected into its
// "surfaceColor" (from a node with a Viewport 2.0 shader: that shader's
// network; otherwise, or unconnected, the attribute's own colour, grey 0.5
// by default, with alpha 1).
#pragma once

#include "image_file.h"
#include "maya_host.h"
#include "viewport.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv::maya {

struct PreviewOptions {
  std::string camera;  // a camera shape, or a transform above one; "" for the first camera
  int width = 640;
  int height = 360;
  bool cpu = false;         // the CPU references even where there is a Vulkan device
  std::string sceneFolder;  // where an objFile given by a relative name lies
  std::function<void(int percent)> progress;  // called as the render goes on
};

struct PreviewResult {
  image::Rgba image;  // rows top-down; straight colour, alpha from outAlpha
  std::uint64_t cameraRays = 0;
  std::uint64_t shadingPoints = 0;  // camera rays that hit a surface
  std::string device;               // the Vulkan device the fragments ran on, "" on the CPU
  std::string noDevice;             // why none could be used, when one was wanted
  std::string tooLargeForDevice;    // the texture that kept the draw off the device, and why
  std::vector<std::string> notes;   // meshes not drawn, and why
};

// Renders the preview as Maya would draw it: the meshes' surfaceColor plugs
// are evaluated (Maya evaluates what it draws), then one draw update
// (Viewport::refresh), then one camera ray through each pixel centre to the
// nearest mesh, where the surface's network is run with the point's uv
// (from the OBJ's texture coordinates, else 0), object-space point Pm,
// world point Pw and world normal Nw (the triangle's, turned to face the
// ray, as the V-Ray stand-in's shading normal is). A texture the shader
// holds from memory is read from the renderer's texels, as a file's from
// the file. The camera looks down its -z axis with +y up, placed by
// its worldMatrix; its horizontal field of view is MFnCamera's, the vertical
// one follows from the image's proportions. An orthographic camera sends
// parallel rays down its -z instead, over a view orthographicWidth across
// and as tall as the image's proportions make it. Pixels that hit nothing are
// (0, 0, 0, 0). False, with one message, on bad input.
bool renderPreview(Host& host, Viewport& viewport, const PreviewOptions& options,
                   PreviewResult* result, std::string* error);

}  // namespace qv::maya
