#pragma once

#include <maya/MFnAttribute.h>

class MFnCompoundAttribute : public MFnAttribute {
 public:
  MFnCompoundAttribute() = default;
  explicit MFnCompoundAttribute(const MObject& object, MStatus* ReturnStatus = nullptr);

  MFn::Type type() const override { return MFn::kCompoundAttribute; }
  MStatus setObject(const MObject& object) override;

  MObject create(const MString& fullName, const MString& briefName,
                 MStatus* ReturnStatus = nullptr);
  MStatus addChild(const MObject& child);
  unsigned int numChildren(MStatus* ReturnStatus = nullptr) const;
  MObject child(unsigned int index, MStatus* ReturnStatus = nullptr) const;
};
