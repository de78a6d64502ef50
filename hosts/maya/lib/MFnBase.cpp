#include "api_support.h"

#include <maya/MFnBase.h>
#include <maya/MObject.h>

using qv::maya::detail::held;
using qv::maya::detail::report;

MFnBase::MFnBase() = default;
MFnBase::~MFnBase() = default;

MFn::Type MFnBase::type() const {
  return MFn::kBase;
}

namespace {

// Whether every object of the type works with the set of type fn, following
// the function sets' hierarchy as the graph's objects do.
bool typeHasFn(MFn::Type type, MFn::Type fn) {
  if (type == MFn::kInvalid) return false;
  if (fn == MFn::kBase || fn == type) return true;
  switch (type) {
    case MFn::kCamera:
    case MFn::kMesh:
      if (fn == MFn::kShape) return true;
      [[fallthrough]];
    case MFn::kTransform:
    case MFn::kShape:
      if (fn == MFn::kDagNode) return true;
      [[fallthrough]];
    case MFn::kDagNode:
    case MFn::kPluginDependNode:
    case MFn::kDependencyNode:
      return fn == MFn::kDependencyNode || fn == MFn::kNamedObject;
    case MFn::kLightDataAttribute:
      if (fn == MFn::kCompoundAttribute) return true;
      [[fallthrough]];
    case MFn::kNumericAttribute:
    case MFn::kCompoundAttribute:
    case MFn::kTypedAttribute:
    case MFn::kMatrixAttribute:
      return fn == MFn::kAttribute;
    case MFn::kMeshData:
      if (fn == MFn::kGeometryData) return true;
      [[fallthrough]];
    case MFn::kNumericData:
    case MFn::kStringData:
      return fn == MFn::kData;
    default:
      return false;
  }
}

}  // namespace

bool MFnBase::hasObj(MFn::Type type) const {
  return typeHasFn(type, this->type());
}

bool MFnBase::hasObj(const MObject& object) const {
  // The mesh set reads mesh data as well as mesh nodes.
  return object.hasFn(type()) || (type() == MFn::kMesh && object.hasFn(MFn::kMeshData));
}

MObject MFnBase::object(MStatus* ReturnStatus) const {
  report(ReturnStatus, held(*this).isNull() ? MS::kFailure : MS::kSuccess);
  return held(*this);
}

MStatus MFnBase::setObject(MObject& object) {
  return setObject(static_cast<const MObject&>(object));
}

MStatus MFnBase::setObject(const MObject& object) {
  if (!object.isNull() && !hasObj(object)) return MS::kInvalidParameter;
  held(*this) = object;
  return MS::kSuccess;
}
