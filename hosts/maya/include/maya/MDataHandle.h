#pragma once

#include <maya/MFloatVector.h>
#include <maya/MMatrix.h>
#include <maya/MObject.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

namespace qv::maya::detail {
struct Attribute;
struct Node;
}  // namespace qv::maya::detail

// A view of one attribute's value in a node's data block. The arrays and
// objects returned by reference live in the handle and are refreshed on each
// call; writes go through the set calls.
class MDataHandle {
 public:
  MDataHandle() = default;
  // Host side: the block hands these out.
  MDataHandle(qv::maya::detail::Node* node, const qv::maya::detail::Attribute* attribute)
      : node_(node), attribute_(attribute) {}

  bool isNull() const { return node_ == nullptr || attribute_ == nullptr; }
  MObject attribute();

  bool asBool() const;
  short asShort() const;
  int asInt() const;
  float asFloat() const;
  double asDouble() const;
  float3& asFloat3();
  double3& asDouble3();
  MFloatVector asFloatVector() const;
  MString& asString();
  const MMatrix& asMatrix() const;

  void set(bool value);
  void set(short value);
  void set(int value);
  void set(float value);
  void set(double value);
  void set(const MFloatVector& value);
  void set(const MString& value);
  void set(const MMatrix& value);
  void set3Float(float x, float y, float z);
  void set3Double(double x, double y, double z);
  void setString(const MString& value) { set(value); }
  void setMMatrix(const MMatrix& value) { set(value); }

  void setClean();

 private:
  qv::maya::detail::Node* node_ = nullptr;
  const qv::maya::detail::Attribute* attribute_ = nullptr;
  float3 float3_ = {0.0f, 0.0f, 0.0f};
  double3 double3_ = {0.0, 0.0, 0.0};
  MString string_;
  mutable MMatrix matrix_;
};
