#pragma once

#include <maya/MFnData.h>
#include <maya/MFnNumericData.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MTypeId.h>
#include <maya/MTypes.h>

class MFloatVector;
class MMatrix;
class MPlug;
class MString;

namespace qv::maya::detail {
struct Attribute;
struct HandleAccess;
struct Node;
}  // namespace qv::maya::detail

// A view of one attribute's value in a node's data block. What the as*
// readers return refers into the block itself, so it outlives the handle and
// a write through it is the attribute's new value.
class MDataHandle {
 public:
  MDataHandle() = default;
  MDataHandle(const MDataHandle& other) = default;
  MDataHandle& operator=(const MDataHandle& other) = default;

  bool isNumeric() const;
  MFnNumericData::Type numericType() const;
  MFnData::Type type() const;
  MObject attribute();
  void setClean();

  bool& asBool() const;
  char& asChar() const;
  unsigned char& asUChar() const;
  short& asShort() const;
  int& asLong() const;
  int& asInt() const;
  MInt64& asInt64() const;
  float& asFloat() const;
  double& asDouble() const;
  short2& asShort2() const;
  long2& asLong2() const;
  int2& asInt2() const;
  float2& asFloat2() const;
  double2& asDouble2() const;
  short3& asShort3() const;
  long3& asLong3() const;
  int3& asInt3() const;
  float3& asFloat3() const;
  double3& asDouble3() const;
  MFloatVector& asFloatVector() const;
  MMatrix& asMatrix() const;
  MString& asString() const;
  void*& asAddr() const;
  // Mesh data: null where the attribute holds none (a mesh that could not be
  // read). The transformed copy has its points in world space, by the
  // matrix geometryTransformMatrix gives (worldMesh's: the shape's world
  // matrix; identity for other data).
  MObject asMesh() const;
  MObject asMeshTransformed() const;
  const MMatrix& geometryTransformMatrix() const;

  // The handle of a child of this compound, in the same block.
  MDataHandle child(const MPlug& plug);
  MDataHandle child(const MObject& attribute);

  void set(bool);
  void set(char);
  void set(short);
  void set(int);
  void set(MInt64);
  void set(float);
  void set(double);
  void set(const MMatrix&);
  void set(const MFloatVector&);
  void set(short, short);
  void set(int, int);
  void set(float, float);
  void set(double, double);
  void set(short, short, short);
  void set(int, int, int);
  void set(float, float, float);
  void set(double, double, double);
  void set(const MString&);

  void setBool(bool);
  void setChar(char);
  void setShort(short);
  void setInt(int);
  void setInt64(MInt64);
  void setFloat(float);
  void setDouble(double);
  void setMMatrix(const MMatrix&);
  void setMFloatVector(const MFloatVector&);
  void set2Short(short, short);
  void set2Int(int, int);
  void set2Float(float, float);
  void set2Double(double, double);
  void set3Short(short, short, short);
  void set3Int(int, int, int);
  void set3Float(float, float, float);
  void set3Double(double, double, double);
  void setString(const MString&);

 private:
  friend class MDataBlock;
  friend struct qv::maya::detail::HandleAccess;
  MDataHandle(qv::maya::detail::Node* node, const qv::maya::detail::Attribute* attribute)
      : node_(node), attribute_(attribute) {}

  qv::maya::detail::Node* node_ = nullptr;
  const qv::maya::detail::Attribute* attribute_ = nullptr;
};
