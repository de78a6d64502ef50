#pragma once

#include <maya/MFn.h>
#include <maya/MTypes.h>

#include <memory>

namespace qv::maya::detail {
struct Object;
struct ObjectAccess;
}  // namespace qv::maya::detail

// A handle to something the host owns: a node, an attribute, a data object or
// a plug-in. Copies share the object.
class MObject {
 public:
  MObject();
  MObject(const MObject& other);
  ~MObject();

  bool hasFn(MFn::Type fs) const;
  bool isNull() const;
  MFn::Type apiType() const;
  const char* apiTypeStr() const;

  bool operator==(const MObject& other) const;
  bool operator!=(const MObject& other) const;
  MObject& operator=(const MObject& other);

  static MObject kNullObj;

 private:
  // Only the host makes handles to its objects.
  friend struct qv::maya::detail::ObjectAccess;
  std::shared_ptr<qv::maya::detail::Object> object_;
};
