#pragma once

#include <maya/MFn.h>

#include <memory>

namespace qv::maya::detail {
struct Object;
}

// A handle to something the host owns: a node, an attribute, a data object or
// a plug-in. Copies share the object.
class MObject {
 public:
  MObject() = default;
  explicit MObject(std::shared_ptr<qv::maya::detail::Object> object) : object_(std::move(object)) {}

  bool isNull() const { return object_ == nullptr; }
  MFn::Type apiType() const;
  bool hasFn(MFn::Type type) const;
  const char* apiTypeStr() const;

  bool operator==(const MObject& other) const { return object_ == other.object_; }
  bool operator!=(const MObject& other) const { return object_ != other.object_; }

  static const MObject kNullObj;

  qv::maya::detail::Object* get() const { return object_.get(); }
  const std::shared_ptr<qv::maya::detail::Object>& shared() const { return object_; }

 private:
  std::shared_ptr<qv::maya::detail::Object> object_;
};
