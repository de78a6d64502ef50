#pragma once

#include <maya/MFnAttribute.h>
#include <maya/MFnData.h>

class MFnTypedAttribute : public MFnAttribute {
 public:
  MFnTypedAttribute() = default;
  explicit MFnTypedAttribute(const MObject& object, MStatus* ReturnStatus = nullptr);

  MFn::Type type() const override { return MFn::kTypedAttribute; }
  MStatus setObject(const MObject& object) override;

  MObject create(const MString& fullName, const MString& briefName, MFnData::Type type,
                 MStatus* ReturnStatus = nullptr);
  MObject create(const MString& fullName, const MString& briefName, MFnData::Type type,
                 const MObject& defaultData, MStatus* ReturnStatus = nullptr);
  MFnData::Type attrType(MStatus* ReturnStatus = nullptr) const;
  MStatus setDefault(const MObject& defaultData);
  MStatus getDefault(MObject& defaultData);
};
