#pragma once

#include <maya/MFnData.h>
#include <maya/MString.h>

class MFnStringData : public MFnData {
 public:
  MFnStringData() = default;
  explicit MFnStringData(const MObject& object, MStatus* ReturnStatus = nullptr);

  MFn::Type type() const override { return MFn::kStringData; }
  MStatus setObject(const MObject& object) override;

  MObject create(const MString& text, MStatus* ReturnStatus = nullptr);
  MObject create(MStatus* ReturnStatus = nullptr);
  MString string(MStatus* ReturnStatus = nullptr) const;
  MStatus set(const MString& text);
};
