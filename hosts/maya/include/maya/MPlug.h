#pragma once

#include <maya/MDGContext.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

namespace qv::maya::detail {
struct PlugAccess;
}

// A node's attribute, or one element of an array attribute (by logical
// index), which attribute() names by its array as Maya does.
class MPlug {
 public:
  MPlug();
  MPlug(const MPlug& in);
  MPlug(const MObject& node, const MObject& attribute);
  virtual ~MPlug();

  MObject attribute(MStatus* ReturnStatus = nullptr) const;
  MObject node(MStatus* ReturnStatus = nullptr) const;
  // "node.attribute" with the attribute's long name.
  MString name(MStatus* ReturnStatus = nullptr) const;
  MString partialName(bool includeNodeName = false, bool includeNonMandatoryIndices = false,
                      bool includeInstancedIndices = false, bool useAlias = false,
                      bool useFullAttributePath = false, bool useLongNames = false,
                      MStatus* ReturnStatus = nullptr) const;

  bool isArray(MStatus* ReturnStatus = nullptr) const;
  bool isElement(MStatus* ReturnStatus = nullptr) const;
  bool isCompound(MStatus* ReturnStatus = nullptr) const;
  bool isChild(MStatus* ReturnStatus = nullptr) const;
  unsigned int logicalIndex(MStatus* ReturnStatus = nullptr) const;
  // The elements that exist: connected, set, or read by value.
  unsigned int numElements(MStatus* ReturnStatus = nullptr) const;
  unsigned int numChildren(MStatus* ReturnStatus = nullptr) const;
  unsigned int numConnectedElements(MStatus* ReturnStatus = nullptr) const;
  MPlug child(MObject& attr, MStatus* ReturnStatus = nullptr) const;
  MPlug child(unsigned int index, MStatus* ReturnStatus = nullptr) const;
  MPlug parent(MStatus* ReturnStatus = nullptr) const;
  MPlug array(MStatus* ReturnStatus = nullptr) const;
  MPlug elementByLogicalIndex(unsigned int logicalIndex, MStatus* ReturnStatus = nullptr) const;

  bool connectedTo(MPlugArray& array, bool asDst, bool asSrc,
                   MStatus* ReturnStatus = nullptr) const;
  bool isConnected(MStatus* ReturnStatus = nullptr) const;
  bool isNull(MStatus* ReturnStatus = nullptr) const;

  // Angles are held in radians, Maya's internal unit.
  MStatus getValue(double& val, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus getValue(float& val, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus getValue(MInt64& val, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus getValue(int& val, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus getValue(short& val, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus getValue(bool& val, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus getValue(MAngle& val, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus getValue(char& val, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus getValue(MString& val, MDGContext& ctx = MDGContext::fsNormal) const;
  MStatus setValue(double val);
  MStatus setValue(float val);
  MStatus setValue(MInt64 val);
  MStatus setValue(int val);
  MStatus setValue(short val);
  MStatus setValue(bool val);
  MStatus setValue(MAngle& val);
  MStatus setValue(char val);
  MStatus setValue(const MString& val);
  MStatus setValue(const char* val);

  double asDouble(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = nullptr) const;
  float asFloat(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = nullptr) const;
  int asInt(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = nullptr) const;
  short asShort(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = nullptr) const;
  bool asBool(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = nullptr) const;
  MString asString(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = nullptr) const;

  MPlug& operator=(const MPlug& other);
  bool operator==(const MPlug& other) const;
  // True when this plug is a plug of that attribute, on whatever node.
  bool operator==(const MObject& other) const;
  bool operator!=(const MPlug& other) const;
  bool operator!=(const MObject& other) const;

 private:
  friend struct qv::maya::detail::PlugAccess;
  MObject node_;
  MObject attribute_;
};
