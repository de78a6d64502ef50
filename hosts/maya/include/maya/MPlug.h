#pragma once

#include <maya/MDGContext.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

class MPlugArray;

class MPlug {
 public:
  MPlug() = default;
  MPlug(const MObject& node, const MObject& attribute);

  bool isNull(MStatus* ReturnStatus = nullptr) const;
  MObject attribute(MStatus* ReturnStatus = nullptr) const;
  MObject node(MStatus* ReturnStatus = nullptr) const;
  // "node.attribute" with the attribute's long name.
  MString name(MStatus* ReturnStatus = nullptr) const;
  MString partialName(bool includeNodeName = false, bool includeNonMandatoryIndices = false,
                      bool includeInstancedIndices = false, bool useAlias = false,
                      bool useFullAttributePath = false, bool useLongNames = false,
                      MStatus* ReturnStatus = nullptr) const;

  bool isChild(MStatus* ReturnStatus = nullptr) const;
  bool isCompound(MStatus* ReturnStatus = nullptr) const;
  MPlug parent(MStatus* ReturnStatus = nullptr) const;
  unsigned int numChildren(MStatus* ReturnStatus = nullptr) const;
  MPlug child(unsigned int index, MStatus* ReturnStatus = nullptr) const;
  MPlug child(const MObject& attribute, MStatus* ReturnStatus = nullptr) const;

  bool isConnected(MStatus* ReturnStatus = nullptr) const;
  bool connectedTo(MPlugArray& array, bool asDst, bool asSrc,
                   MStatus* ReturnStatus = nullptr) const;

  MStatus getValue(float& value, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus getValue(double& value, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus getValue(int& value, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus getValue(short& value, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus getValue(bool& value, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus getValue(MString& value, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus setValue(float value);
  MStatus setValue(double value);
  MStatus setValue(int value);
  MStatus setValue(short value);
  MStatus setValue(bool value);
  MStatus setValue(const MString& value);
  MStatus setValue(const char* value) { return setValue(MString(value)); }

  float asFloat(MStatus* ReturnStatus = nullptr) const;
  double asDouble(MStatus* ReturnStatus = nullptr) const;
  int asInt(MStatus* ReturnStatus = nullptr) const;
  short asShort(MStatus* ReturnStatus = nullptr) const;
  bool asBool(MStatus* ReturnStatus = nullptr) const;
  MString asString(MStatus* ReturnStatus = nullptr) const;

  bool operator==(const MPlug& other) const;
  bool operator!=(const MPlug& other) const { return !(*this == other); }
  // True when this plug is a plug of that attribute, on whatever node.
  bool operator==(const MObject& attribute) const;
  bool operator!=(const MObject& attribute) const { return !(*this == attribute); }

 private:
  MObject node_;
  MObject attribute_;
};
