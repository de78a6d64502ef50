#pragma once

#include <maya/MFnAttribute.h>
#include <maya/MMatrix.h>

class MFnMatrixAttribute : public MFnAttribute {
 public:
  enum Type { kFloat, kDouble };

  MFnMatrixAttribute() = default;
  explicit MFnMatrixAttribute(const MObject& object, MStatus* ReturnStatus = nullptr);

  MFn::Type type() const override { return MFn::kMatrixAttribute; }
  MStatus setObject(const MObject& object) override;

  MObject create(const MString& fullName, const MString& briefName, Type matrixType = kDouble,
                 MStatus* ReturnStatus = nullptr);
  MStatus setDefault(const MMatrix& matrix);
};
