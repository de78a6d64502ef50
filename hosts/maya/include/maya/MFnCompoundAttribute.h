#pragma once

#include <maya/MFnAttribute.h>

class MFnCompoundAttribute : public MFnAttribute {
 public:
  MFnCompoundAttribute();
  MFnCompoundAttribute(MObject& object, MStatus* ReturnStatus = nullptr);
  MFnCompoundAttribute(const MObject& object, MStatus* ReturnStatus = nullptr);
  ~MFnCompoundAttribute() override;

  MFn::Type type() const override { return MFn::kCompoundAttribute; }

  MObject create(const MString& fullName, const MString& briefName,
                 MStatus* ReturnStatus = nullptr);
  MStatus addChild(const MObject& child);
  unsigned int numChildren(MStatus* ReturnStatus = nullptr) const;
  MObject child(unsigned int index, MStatus* ReturnStatus = nullptr) const;

 private:
  MFnCompoundAttribute(const MFnCompoundAttribute& other);
  MFnCompoundAttribute& operator=(const MFnCompoundAttribute& other);
  MFnCompoundAttribute* operator&() const;
};
