#pragma once

class MFn {
 public:
  enum Type {
    kInvalid = 0,
    kBase,
    kNamedObject,
    kDependencyNode,
    kDagNode,
    kTransform,
    kShape,
    kCamera,
    kMesh,
    kPluginDependNode,
    kAttribute,
    kNumericAttribute,
    kCompoundAttribute,
    kTypedAttribute,
    kMatrixAttribute,
    kData,
    kStringData,
    kPlugin
  };
};
