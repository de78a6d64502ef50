#pragma once

#include <maya/MFnAttribute.h>
#include <maya/MFnNumericData.h>

class MFnNumericAttribute : public MFnAttribute {
 public:
  MFnNumericAttribute() = default;
  explicit MFnNumericAttribute(const MObject& object, MStatus* ReturnStatus = nullptr);

  MFn::Type type() const override { return MFn::kNumericAttribute; }
  MStatus setObject(const MObject& object) override;

  MObject create(const MString& fullName, const MString& briefName, MFnNumericData::Type unitType,
                 double defaultValue = 0.0, MStatus* ReturnStatus = nullptr);
  // A numeric compound of two or three numeric children; child3 null for two.
  MObject create(const MString& fullName, const MString& briefName, const MObject& child1,
                 const MObject& child2, const MObject& child3 = MObject::kNullObj,
                 MStatus* ReturnStatus = nullptr);
  // Three float children named after the parent with R, G and B appended.
  MObject createColor(const MString& fullName, const MString& briefName,
                      MStatus* ReturnStatus = nullptr);
  // Three float children named after the parent with X, Y and Z appended.
  MObject createPoint(const MString& fullName, const MString& briefName,
                      MStatus* ReturnStatus = nullptr);

  MFnNumericData::Type unitType(MStatus* ReturnStatus = nullptr) const;

  MStatus setDefault(bool value);
  MStatus setDefault(int value);
  MStatus setDefault(float value);
  MStatus setDefault(double value);
  MStatus setDefault(int a, int b);
  MStatus setDefault(float a, float b);
  MStatus setDefault(double a, double b);
  MStatus setDefault(int a, int b, int c);
  MStatus setDefault(float a, float b, float c);
  MStatus setDefault(double a, double b, double c);
  MStatus getDefault(double& value) const;
  MStatus getDefault(double& a, double& b, double& c) const;

  MStatus setMin(int value) { return setMin(static_cast<double>(value)); }
  MStatus setMin(float value) { return setMin(static_cast<double>(value)); }
  MStatus setMin(double value);
  MStatus setMax(int value) { return setMax(static_cast<double>(value)); }
  MStatus setMax(float value) { return setMax(static_cast<double>(value)); }
  MStatus setMax(double value);
  bool hasMin(MStatus* ReturnStatus = nullptr) const;
  bool hasMax(MStatus* ReturnStatus = nullptr) const;
  MStatus getMin(double& value) const;
  MStatus getMax(double& value) const;

 private:
  MStatus setDefaults(const char* function, int count, const double* values);
};
