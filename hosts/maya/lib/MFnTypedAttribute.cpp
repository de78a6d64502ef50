#include "api_support.h"
#include "graph.h"

#include <maya/MFnStringData.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MObject.h>

using qv::maya::detail::Attribute;
using qv::maya::detail::AttributeKind;
using qv::maya::detail::attributeOf;
using qv::maya::detail::failed;
using qv::maya::detail::newAttribute;
using qv::maya::detail::report;

QV_FN_CONSTRUCTOR(MFnTypedAttribute)

MObject MFnTypedAttribute::create(const MString& fullName, const MString& briefName,
                                  MFnData::Type type, MStatus* ReturnStatus) {
  return create(fullName, briefName, type, MObject::kNullObj, ReturnStatus);
}

MObject MFnTypedAttribute::create(const MString& fullName, const MString& briefName,
                                  MFnData::Type type, MObject defaultData, MStatus* ReturnStatus) {
  qv::maya::detail::held(*this) = MObject();
  if (failed("MFnTypedAttribute::create", ReturnStatus)) return MObject();
  auto attribute = newAttribute(fullName, briefName, AttributeKind::kTyped);
  attribute->dataType = type;
  qv::maya::detail::held(*this) = qv::maya::detail::wrap(attribute);
  report(ReturnStatus, defaultData.isNull() ? MStatus() : setDefault(defaultData));
  return qv::maya::detail::held(*this);
}

MFnData::Type MFnTypedAttribute::attrType(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute ? attribute->dataType : MFnData::kInvalid;
}

MStatus MFnTypedAttribute::setDefault(const MObject& defaultCustomData) {
  MStatus status;
  if (failed("MFnTypedAttribute::setDefault", &status)) return status;
  Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  auto* data =
      dynamic_cast<qv::maya::detail::StringData*>(qv::maya::detail::get(defaultCustomData));
  if (!attribute || !data || attribute->dataType != MFnData::kString) {
    return MS::kInvalidParameter;
  }
  attribute->defaultText = data->text;
  return MS::kSuccess;
}

MStatus MFnTypedAttribute::getDefault(MObject& defaultCustomData) {
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  if (!attribute || attribute->dataType != MFnData::kString) return MS::kInvalidParameter;
  MFnStringData data;
  defaultCustomData = data.create(attribute->defaultText.c_str());
  return MS::kSuccess;
}
