#include "graph.h"

#include <maya/MObject.h>

MObject MObject::kNullObj;

MObject::MObject() = default;
MObject::MObject(const MObject& other) = default;
MObject::~MObject() = default;
MObject& MObject::operator=(const MObject& other) = default;

bool MObject::isNull() const {
  return object_ == nullptr;
}

bool MObject::operator==(const MObject& other) const {
  return object_ == other.object_;
}

bool MObject::operator!=(const MObject& other) const {
  return object_ != other.object_;
}

MFn::Type MObject::apiType() const {
  return object_ ? object_->apiType() : MFn::kInvalid;
}

bool MObject::hasFn(MFn::Type fs) const {
  return object_ && object_->hasFn(fs);
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
