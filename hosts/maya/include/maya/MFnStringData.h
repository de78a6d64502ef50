#pragma once

#include <maya/MFnData.h>

class MFnStringData : public MFnData {
 public:
  MFnStringData();
  MFnStringData(MObject& object, MStatus* ReturnStatus = nullptr);
  MFnStringData(const MObject& object, MStatus* ReturnStatus = nullptr);
  ~MFnStringData() override;

  MFn::Type type() const override { return MFn::kStringData; }

  MObject create(const MString& text, MStatus* ReturnStatus = nullptr);
  MObject create(MStatus* ReturnStatus = nullptr);
  MString string(MStatus* ReturnStatus = nullptr) const;
  MStatus set(const MString& text);

 private:
  MFnStringData(const MFnStringData& other);
  MFnStringData& operator=(const MFnStringData& other);
  MFnStringData* operator&() const;
};
