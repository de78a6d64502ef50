// The nodes Maya makes with every new scene: the default nodes, which saved
// files set by `select -ne :NAME` rather than create, and the startup
// cameras.
#pragma once

#include <vector>

namespace qv::qvmaya {

struct DefaultNode {
  const char* name;
  const char* type;
};

const std::vector<DefaultNode>& defaultNodes();

// Maya's startup cameras, as a new scene places them (hidden); files set them
// again through `createNode -s`.
struct StartupCamera {
  const char* name;  // the transform's; its shape's is the name and "Shape"
  std::vector<double> translate, rotate;
  bool orthographic;
  double centerOfInterest;
};

const std::vector<StartupCamera>& startupCameras();

}  // namespace qv::qvmaya
