#pragma once

#include <maya/MFn.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>

class MFnBase {
 public:
  MFnBase() = default;
  virtual ~MFnBase() = default;

  virtual MFn::Type type() const { return MFn::kBase; }
  bool hasObj(const MObject& object) const;
  MObject object(MStatus* ReturnStatus = nullptr) const;
  virtual MStatus setObject(const MObject& object);

 protected:
  MObject object_;
};
