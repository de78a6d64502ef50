// The bundled example, described once: a small set of buildings on a ground
// plane, a projection camera with the painting made for it, a pole that hides
// part of the set from that camera, and a render camera off to the side. The
// scene files of the three hosts are all written from this description, so
// they show the same set.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace qv::example {

using Vec3 = std::array<double, 3>;

struct Box {
  std::string name;
  Vec3 min;
  Vec3 max;
};

struct Camera {
  std::string name;
  Vec3 position;
  Vec3 target;              // looked at, with +y up
  double horizontalFovDeg;  // field of view across the width
  int width;                // image (or painting) size in pixels
  int height;
};

// Camera to world, by rows as Maya and V-Ray write transforms: the x, y and z
// axes, then the position. The camera looks down its own -z axis.
std::array<Vec3, 4> cameraToWorld(const Camera& camera);
double verticalFovDeg(const Camera& camera);

struct Scene {
  double groundHalfSize;       // the ground is a square at y = 0
  std::vector<Box> buildings;  // what the painting is painted for
  Box occluder;                // stands between the projection camera and the set
  Camera projection;
  Camera render;
  std::string painting;        // file name of the painting, beside the scene
  std::array<double, 3> fill;  // shown where the projection camera sees nothing
  double angleThresholdDeg;    // surfaces turned further from the projector get the fill
  int dilationSamples;         // soft edges of the occlusion matte
  double dilation;
};

const Scene& scene();

}  // namespace qv::example
