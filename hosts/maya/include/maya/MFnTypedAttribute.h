#pragma once

#include <maya/MFnAttribute.h>
#include <maya/MFnData.h>
#include <maya/MObject.h>

class MFnTypedAttribute : public MFnAttribute {
 public:
  MFnTypedAttribute();
  MFnTypedAttribute(MObject& object, MStatus* ReturnStatus = nullptr);
  MFnTypedAttribute(const MObject& object, MStatus* ReturnStatus = nullptr);
  ~MFnTypedAttribute() override;

  MFn::Type type() const override { return MFn::kTypedAttribute; }

  MObject create(const MString& fullName, const MString& briefName, MFnData::Type type,
                 MObject defaultData = MObject::kNullObj, MStatus* ReturnStatus = nullptr);
  MObject create(const MString& fullName, const MString& briefName, MFnData::Type type,
                 MStatus* ReturnStatus);
  MFnData::Type attrType(MStatus* ReturnStatus = nullptr) const;
  MStatus getDefault(MObject& defaultCustomData);
  MStatus setDefault(const MObject& defaultCustomData);

 private:
  MFnTypedAttribute(const MFnTypedAttribute& other);
  MFnTypedAttribute& operator=(const MFnTypedAttribute& other);
  MFnTypedAttribute* operator&() const;
};
