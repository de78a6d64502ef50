#include "api_support.h"
#include "graph.h"

#include <maya/MFnAttribute.h>
#include <maya/MObject.h>

using qv::maya::detail::Attribute;
using qv::maya::detail::attributeOf;
using qv::maya::detail::failed;
using qv::maya::detail::objectOf;
using qv::maya::detail::report;

QV_FN_CONSTRUCTOR(MFnAttribute)

MString MFnAttribute::name(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute ? attribute->longName.c_str() : "";
}

MString MFnAttribute::shortName(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute ? attribute->shortName.c_str() : "";
}

MObject MFnAttribute::parent(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute ? objectOf(attribute->parent) : MObject();
}

#define QV_FLAG(Name, field)                                                 \
  bool MFnAttribute::is##Name(MStatus* ReturnStatus) const {                 \
    const Attribute* attribute = attributeOf(qv::maya::detail::held(*this)); \
    report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);  \
    return attribute && attribute->field;                                    \
  }                                                                          \
  MStatus MFnAttribute::set##Name(bool state) {                              \
    MStatus status;                                                          \
    if (failed("MFnAttribute::set" #Name, &status)) return status;           \
    Attribute* attribute = attributeOf(qv::maya::detail::held(*this));       \
    if (!attribute) return MS::kInvalidParameter;                            \
    attribute->field = state;                                                \
    return MS::kSuccess;                                                     \
  }

QV_FLAG(Keyable, keyable)
QV_FLAG(Storable, storable)
QV_FLAG(Readable, readable)
QV_FLAG(Writable, writable)
QV_FLAG(Hidden, hidden)
QV_FLAG(UsedAsColor, usedAsColor)
QV_FLAG(UsedAsFilename, usedAsFilename)
QV_FLAG(Array, array)

bool MFnAttribute::indexMatters(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute && attribute->indexMatters;
}

MStatus MFnAttribute::setIndexMatters(bool state) {
  MStatus status;
  if (failed("MFnAttribute::setIndexMatters", &status)) return status;
  Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  if (!attribute) return MS::kInvalidParameter;
  attribute->indexMatters = state;
  return MS::kSuccess;
}

MFnAttribute::DisconnectBehavior MFnAttribute::disconnectBehavior(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute ? static_cast<DisconnectBehavior>(attribute->disconnectBehavior) : kNothing;
}

MStatus MFnAttribute::setDisconnectBehavior(DisconnectBehavior behavior) {
  MStatus status;
  if (failed("MFnAttribute::setDisconnectBehavior", &status)) return status;
  Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  if (!attribute || behavior < kDelete || behavior > kNothing) return MS::kInvalidParameter;
  attribute->disconnectBehavior = behavior;
  return MS::kSuccess;
}
