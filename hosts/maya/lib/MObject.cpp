#include "graph.h"

#include <maya/MObject.h>

const MObject MObject::kNullObj;

MFn::Type MObject::apiType() const {
  return object_ ? object_->apiType() : MFn::kInvalid;
}

bool MObject::hasFn(MFn::Type type) const {
  return object_ && object_->hasFn(type);
}

const char* MObject::apiTypeStr() const {
  switch (apiType()) {
    case MFn::kTransform:
      return "kTransform";
    case MFn::kCamera:
      return "kCamera";
    case MFn::kMesh:
      return "kMesh";
    case MFn::kPluginDependNode:
      return "kPluginDependNode";
    case MFn::kInvalid:
      return "kInvalid";
    default:
      return "kBase";
  }
}
