#pragma once

#include <maya/MFn.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

namespace qv::maya::detail {
struct FnAccess;
}

// Function sets are neither copied nor assigned, and their address is not
// taken: each is a view that lives on the stack of the code that uses it.
class MFnBase {
 public:
  virtual ~MFnBase();

  virtual MFn::Type type() const;
  bool hasObj(MFn::Type type) const;
  bool hasObj(const MObject& object) const;
  MObject object(MStatus* ReturnStatus = nullptr) const;
  // A null object detaches the set; an object the set cannot work on fails
  // with kInvalidParameter.
  virtual MStatus setObject(MObject& object);
  virtual MStatus setObject(const MObject& object);

 protected:
  MFnBase();

 private:
  MFnBase(const MFnBase& other);
  MFnBase& operator=(const MFnBase& other);
  MFnBase* operator&() const;

  // The sets' sources reach the attached object through this.
  friend struct qv::maya::detail::FnAccess;
  MObject object_;
};
