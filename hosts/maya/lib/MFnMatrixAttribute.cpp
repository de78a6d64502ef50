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
  object_ = MObject();
  if (failed("MFnMatrixAttribute::create", ReturnStatus)) return MObject();
  auto attribute = newAttribute(fullName, briefName, AttributeKind::kMatrix);
  attribute->matrixType = matrixType;
  object_ = MObject(attribute);
  report(ReturnStatus, MS::kSuccess);
  return object_;
}

MStatus MFnMatrixAttribute::setDefault(const MMatrix& matrix) {
  MStatus status;
  if (failed("MFnMatrixAttribute::setDefault", &status)) return status;
  Attribute* attribute = attributeOf(object_);
  if (!attribute) return MS::kInvalidParameter;
  attribute->defaultMatrix = matrix;
  return MS::kSuccess;
}
