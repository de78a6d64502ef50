#include "api_support.h"
#include "graph.h"

#include <maya/MFnMatrixAttribute.h>
#include <maya/MMatrix.h>
#include <maya/MObject.h>

using qv::maya::detail::Attribute;
using qv::maya::detail::AttributeKind;
using qv::maya::detail::attributeOf;
using qv::maya::detail::failed;
using qv::maya::detail::newAttribute;
using qv::maya::detail::report;

QV_FN_CONSTRUCTOR(MFnMatrixAttribute)

MObject MFnMatrixAttribute::create(const MString& fullName, const MString& briefName,
                                   Type matrixType, MStatus* ReturnStatus) {
  qv::maya::detail::held(*this) = MObject();
  if (failed("MFnMatrixAttribute::create", ReturnStatus)) return MObject();
  auto attribute = newAttribute(fullName, briefName, AttributeKind::kMatrix);
  attribute->matrixType = matrixType;
  qv::maya::detail::held(*this) = qv::maya::detail::wrap(attribute);
  report(ReturnStatus, MS::kSuccess);
  return qv::maya::detail::held(*this);
}

MStatus MFnMatrixAttribute::getDefault(MMatrix& def) {
  MStatus status;
  if (failed("MFnMatrixAttribute::getDefault", &status)) return status;
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  if (!attribute) return MS::kInvalidParameter;
  def = attribute->defaultMatrix;
  return MS::kSuccess;
}

MStatus MFnMatrixAttribute::setDefault(const MMatrix& def) {
  MStatus status;
  if (failed("MFnMatrixAttribute::setDefault", &status)) return status;
  Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  if (!attribute) return MS::kInvalidParameter;
  attribute->defaultMatrix = def;
  return MS::kSuccess;
}
