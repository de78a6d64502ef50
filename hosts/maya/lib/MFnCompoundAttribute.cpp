#include "api_support.h"
#include "graph.h"

#include <maya/MFnCompoundAttribute.h>
#include <maya/MObject.h>

#include <memory>

using qv::maya::detail::Attribute;
using qv::maya::detail::AttributeKind;
using qv::maya::detail::attributeOf;
using qv::maya::detail::failed;
using qv::maya::detail::newAttribute;
using qv::maya::detail::objectOf;
using qv::maya::detail::report;

QV_FN_CONSTRUCTOR(MFnCompoundAttribute)

MObject MFnCompoundAttribute::create(const MString& fullName, const MString& briefName,
                                     MStatus* ReturnStatus) {
  qv::maya::detail::held(*this) = MObject();
  if (failed("MFnCompoundAttribute::create", ReturnStatus)) return MObject();
  qv::maya::detail::held(*this) =
      qv::maya::detail::wrap(newAttribute(fullName, briefName, AttributeKind::kCompound));
  report(ReturnStatus, MS::kSuccess);
  return qv::maya::detail::held(*this);
}

MStatus MFnCompoundAttribute::addChild(const MObject& child) {
  MStatus status;
  if (failed("MFnCompoundAttribute::addChild", &status)) return status;
  Attribute* parent = attributeOf(qv::maya::detail::held(*this));
  Attribute* attribute = attributeOf(child);
  if (!parent || !attribute || attribute->parent || attribute->added || parent->added) {
    return MS::kInvalidParameter;
  }
  attribute->parent = parent;
  parent->children.push_back(std::static_pointer_cast<Attribute>(qv::maya::detail::shared(child)));
  return MS::kSuccess;
}

unsigned int MFnCompoundAttribute::numChildren(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute ? static_cast<unsigned int>(attribute->children.size()) : 0;
}

MObject MFnCompoundAttribute::child(unsigned int index, MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  const bool ok = attribute && index < attribute->children.size();
  report(ReturnStatus, ok ? MS::kSuccess : MS::kInvalidParameter);
  return ok ? objectOf(attribute->children[index].get()) : MObject();
}
