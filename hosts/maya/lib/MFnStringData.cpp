#include "api_support.h"

#include <maya/MFnStringData.h>
#include <maya/MObject.h>

#include <memory>

using qv::maya::detail::failed;
using qv::maya::detail::report;

QV_FN_CONSTRUCTOR(MFnStringData)

MObject MFnStringData::create(const MString& text, MStatus* ReturnStatus) {
  qv::maya::detail::held(*this) = MObject();
  if (failed("MFnStringData::create", ReturnStatus)) return MObject();
  auto data = std::make_shared<qv::maya::detail::StringData>();
  data->text = text.asChar();
  qv::maya::detail::held(*this) = qv::maya::detail::wrap(data);
  report(ReturnStatus, MS::kSuccess);
  return qv::maya::detail::held(*this);
}

MObject MFnStringData::create(MStatus* ReturnStatus) {
  return create(MString(), ReturnStatus);
}

MString MFnStringData::string(MStatus* ReturnStatus) const {
  auto* data = dynamic_cast<qv::maya::detail::StringData*>(
      qv::maya::detail::get(qv::maya::detail::held(*this)));
  report(ReturnStatus, data ? MS::kSuccess : MS::kInvalidParameter);
  return data ? data->text.c_str() : "";
}

MStatus MFnStringData::set(const MString& text) {
  auto* data = dynamic_cast<qv::maya::detail::StringData*>(
      qv::maya::detail::get(qv::maya::detail::held(*this)));
  if (!data) return MS::kInvalidParameter;
  data->text = text.asChar();
  return MS::kSuccess;
}
