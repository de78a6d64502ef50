#pragma once

#include <maya/MFnAttribute.h>
#include <maya/MFnNumericData.h>

class MFnNumericAttribute : public MFnAttribute {
 public:
  MFnNumericAttribute();
  MFnNumericAttribute(MObject& object, MStatus* ReturnStatus = nullptr);
  MFnNumericAttribute(const MObject& object, MStatus* ReturnStatus = nullptr);
  ~MFnNumericAttribute() override;

  MFn::Type type() const override { return MFn::kNumericAttribute; }

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

  // A pointer-sized value, which scene files do not store.
  MObject createAddr(const MString& fullName, const MString& briefName,
                     void* defaultValue = nullptr, MStatus* ReturnStatus = nullptr);

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
  MStatus getDefault(double& def1);
  MStatus getDefault(double& def1, double& def2, double& def3);

  // On a compound, the values go to the children in order.
  MStatus setMin(double min1);
  MStatus setMin(double min1, double min2);
  MStatus setMin(double min1, double min2, double min3);
  MStatus setMax(double max1);
  MStatus setMax(double max1, double max2);
  MStatus setMax(double max1, double max2, double max3);
  // The slider's range in the Attribute Editor; values may go beyond it.
  MStatus setSoftMin(double min1);
  MStatus setSoftMax(double max1);
  bool hasMin(MStatus* ReturnStatus = nullptr) const;
  bool hasMax(MStatus* ReturnStatus = nullptr) const;
  bool hasSoftMin(MStatus* ReturnStatus = nullptr) const;
  bool hasSoftMax(MStatus* ReturnStatus = nullptr) const;
  MStatus getMin(double& min1) const;
  MStatus getMin(double& min1, double& min2) const;
  MStatus getMin(double& min1, double& min2, double& min3) const;
  MStatus getMax(double& max1) const;
  MStatus getMax(double& max1, double& max2) const;
  MStatus getMax(double& max1, double& max2, double& max3) const;
  MStatus getSoftMin(double& min1) const;
  MStatus getSoftMax(double& max1) const;

 private:
  MFnNumericAttribute(const MFnNumericAttribute& other);
  MFnNumericAttribute& operator=(const MFnNumericAttribute& other);
  MFnNumericAttribute* operator&() const;

  MStatus setDefaults(const char* function, int count, const double* values);
};
