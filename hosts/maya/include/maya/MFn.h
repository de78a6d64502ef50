#pragma once

class MFn {
 public:
  enum Type {
    // Plug-ins test and store these by value, so each keeps Maya's number;
    // the stand-in has only the types its objects take.
    kInvalid = 0,
    kBase = 1,
    kNamedObject = 2,
    kDependencyNode = 4,
    kDagNode = 107,
    kTransform = 110,
    kShape = 248,
    kCamera = 250,
    kMesh = 296,
    kUnknownDag = 316,
    kShadingEngine = 320,
    kGroupId = 351,
    kLambert = 366,
    kPluginDependNode = 452,
    kSet = 464,
    kUnknown = 525,
    kAttribute = 558,
    kNumericAttribute = 559,
    kTypedAttribute = 567,
    kCompoundAttribute = 568,
    kLightDataAttribute = 570,
    kMatrixAttribute = 571,
    kPlugin = 574,
    kData = 575,
    kMeshData = 581,
    kNumericData = 584,
    kStringData = 597,
    kGeometryData = 704
  };
};
