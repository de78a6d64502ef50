#include "api_support.h"

#include <maya/MFnBase.h>
#include <maya/MObject.h>

using qv::maya::detail::report;

bool MFnBase::hasObj(const MObject& object) const {
  return object.hasFn(type());
}

MObject MFnBase::object(MStatus* ReturnStatus) const {
  report(ReturnStatus, object_.isNull() ? MS::kFailure : MS::kSuccess);
  return object_;
}

MStatus MFnBase::setObject(const MObject& object) {
  if (!object.isNull() && !hasObj(object)) return MS::kInvalidParameter;
  object_ = object;
  return MS::kSuccess;
}
