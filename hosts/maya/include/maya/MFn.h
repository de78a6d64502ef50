#pragma once

class MFn {
 public:
  enum Type {
    // Plug-ins test these by value, so the ones they test keep Maya's numbers.
    kInvalid = 0,
    kBase = 1,
    kNamedObject = 2,
    kDependencyNode = 4,
    kDagNode = 107,
    kTransform = 110,
    kShape = 248,
    kCamera = 250,
    kMesh = 296,
    kPluginDependNode = 456,
    kAttribute = 554,
    kNumericAttribute,
    kCompoundAttribute,
    kTypedAttribute,
    kMatrixAttribute,
    kLightDataAttribute,
    kData,
    kStringData,
    kPlugin
  };
};
