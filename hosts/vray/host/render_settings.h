// The render camera and image size of a .vrscene, which the renderer reads
// itself: RenderView { transform; fov; } and SettingsOutput { img_width;
// img_height; }.
#pragma once

#include <string>

#include "vraybase.h"
#include "vrscene.h"

namespace qv::vrayhost {

struct RenderSettings {
  // Camera to world: the camera looks down its own -z axis, +y up.
  VUtils::Transform camera;
  double fov = 0.785398163397448;  // horizontal field of view, radians
  int width = 640;
  int height = 480;
};

// RenderView and SettingsOutput: blocks the renderer reads, not plug-ins.
bool isRenderSettingsType(const std::string& type);

// The scene's one RenderView (required) and its SettingsOutput (optional:
// 640 x 480 without one). False, with one "FILE[:LINE]: what" message, on
// the first problem.
bool readRenderSettings(const vrscene::Scene& scene, RenderSettings* settings, std::string* error);

}  // namespace qv::vrayhost
