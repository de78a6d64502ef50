#pragma once

#include <maya/MFnAttribute.h>

class MFnMatrixAttribute : public MFnAttribute {
 public:
  enum Type { kFloat, kDouble };

  MFnMatrixAttribute();
  MFnMatrixAttribute(MObject& object, MStatus* ReturnStatus = nullptr);
  MFnMatrixAttribute(const MObject& object, MStatus* ReturnStatus = nullptr);
  ~MFnMatrixAttribute() override;

  MFn::Type type() const override { return MFn::kMatrixAttribute; }

  MObject create(const MString& fullName, const MString& briefName, Type matrixType = kDouble,
                 MStatus* ReturnStatus = nullptr);
  MStatus getDefault(MMatrix& def);
  MStatus setDefault(const MMatrix& def);

 private:
  MFnMatrixAttribute(const MFnMatrixAttribute& other);
  MFnMatrixAttribute& operator=(const MFnMatrixAttribute& other);
  MFnMatrixAttribute* operator&() const;
};
