#pragma once

#include <maya/MFnBase.h>
#include <maya/MFnData.h>

class MFnAttribute : public MFnBase {
 public:
  MFnAttribute();
  MFnAttribute(MObject& object, MStatus* ReturnStatus = nullptr);
  MFnAttribute(const MObject& object, MStatus* ReturnStatus = nullptr);
  ~MFnAttribute() override;

  MFn::Type type() const override { return MFn::kAttribute; }

  // What becomes of a destination's value when its connection is broken.
  enum DisconnectBehavior { kDelete, kReset, kNothing };

  MString name(MStatus* ReturnStatus = nullptr) const;
  MString shortName(MStatus* ReturnStatus = nullptr) const;
  MObject parent(MStatus* ReturnStatus = nullptr) const;

  bool isKeyable(MStatus* ReturnStatus = nullptr) const;
  bool isStorable(MStatus* ReturnStatus = nullptr) const;
  bool isReadable(MStatus* ReturnStatus = nullptr) const;
  bool isWritable(MStatus* ReturnStatus = nullptr) const;
  bool isHidden(MStatus* ReturnStatus = nullptr) const;
  bool isUsedAsColor(MStatus* ReturnStatus = nullptr) const;
  bool isUsedAsFilename(MStatus* ReturnStatus = nullptr) const;
  bool isArray(MStatus* ReturnStatus = nullptr) const;
  bool indexMatters(MStatus* ReturnStatus = nullptr) const;
  DisconnectBehavior disconnectBehavior(MStatus* ReturnStatus = nullptr) const;

  MStatus setKeyable(bool state);
  MStatus setStorable(bool state);
  MStatus setReadable(bool state);
  MStatus setWritable(bool state);
  MStatus setHidden(bool state);
  MStatus setUsedAsColor(bool state);
  MStatus setUsedAsFilename(bool state);
  MStatus setArray(bool state);
  MStatus setIndexMatters(bool state);
  MStatus setDisconnectBehavior(DisconnectBehavior behavior);

 private:
  MFnAttribute(const MFnAttribute& other);
  MFnAttribute& operator=(const MFnAttribute& other);
  MFnAttribute* operator&() const;
};
