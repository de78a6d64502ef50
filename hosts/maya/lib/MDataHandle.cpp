#include "api_support.h"
#include "graph.h"
#include "numeric_value.h"

#include <maya/MDataHandle.h>
#include <maya/MMatrix.h>
#include <maya/MObject.h>

#include <initializer_list>
#include <vector>

using qv::maya::detail::Attribute;
using qv::maya::detail::AttributeKind;
using qv::maya::detail::graph;
using qv::maya::detail::Node;
using qv::maya::detail::objectOf;
using qv::maya::detail::storedValue;
using qv::maya::detail::toFloat;
using qv::maya::detail::toInteger;

namespace {

std::vector<const Attribute*> leavesOf(const Attribute* attribute) {
  std::vector<const Attribute*> leaves;
  if (attribute) qv::maya::detail::collectLeaves(*attribute, leaves);
  return leaves;
}

double firstNumber(Node* node, const Attribute* attribute) {
  if (!node || !attribute || attribute->kind == AttributeKind::kTyped ||
      attribute->kind == AttributeKind::kMatrix) {
    return 0.0;
  }
  return graph().number(*node, *leavesOf(attribute).front());
}

void writeLeaves(Node* node, const Attribute* attribute, std::initializer_list<double> values) {
  const auto leaves = leavesOf(attribute);
  size_t i = 0;
  for (double value : values) {
    if (i >= leaves.size()) break;
    if (leaves[i]->kind == AttributeKind::kNumeric) {
      node->numbers[leaves[i]] = storedValue(leaves[i]->numericType, value);
    }
    ++i;
  }
}

}  // namespace

MObject MDataHandle::attribute() {
  return objectOf(attribute_);
}

bool MDataHandle::asBool() const {
  return firstNumber(node_, attribute_) != 0.0;
}
short MDataHandle::asShort() const {
  return toInteger<short>(firstNumber(node_, attribute_));
}
int MDataHandle::asInt() const {
  return toInteger<int>(firstNumber(node_, attribute_));
}
float MDataHandle::asFloat() const {
  return toFloat(firstNumber(node_, attribute_));
}
double MDataHandle::asDouble() const {
  return firstNumber(node_, attribute_);
}

float3& MDataHandle::asFloat3() {
  const double3& values = asDouble3();
  for (int i = 0; i < 3; ++i) float3_[i] = toFloat(values[i]);
  return float3_;
}

double3& MDataHandle::asDouble3() {
  const auto leaves = leavesOf(attribute_);
  for (size_t i = 0; i < 3; ++i) {
    double3_[i] = i < leaves.size() && leaves[i]->kind == AttributeKind::kNumeric
                      ? graph().number(*node_, *leaves[i])
                      : 0.0;
  }
  return double3_;
}

MFloatVector MDataHandle::asFloatVector() const {
  MDataHandle copy(node_, attribute_);
  return MFloatVector(copy.asFloat3());
}

MString& MDataHandle::asString() {
  string_ = attribute_ && attribute_->kind == AttributeKind::kTyped
                ? graph().text(*node_, *attribute_).c_str()
                : "";
  return string_;
}

const MMatrix& MDataHandle::asMatrix() const {
  matrix_ = attribute_ && attribute_->kind == AttributeKind::kMatrix
                ? graph().matrix(*node_, *attribute_)
                : MMatrix();
  return matrix_;
}

void MDataHandle::set(bool value) {
  writeLeaves(node_, attribute_, {value ? 1.0 : 0.0});
}
void MDataHandle::set(short value) {
  writeLeaves(node_, attribute_, {double(value)});
}
void MDataHandle::set(int value) {
  writeLeaves(node_, attribute_, {double(value)});
}
void MDataHandle::set(float value) {
  writeLeaves(node_, attribute_, {value});
}
void MDataHandle::set(double value) {
  writeLeaves(node_, attribute_, {value});
}
void MDataHandle::set(const MFloatVector& value) {
  set3Float(value.x, value.y, value.z);
}
void MDataHandle::set3Float(float x, float y, float z) {
  writeLeaves(node_, attribute_, {x, y, z});
}
void MDataHandle::set3Double(double x, double y, double z) {
  writeLeaves(node_, attribute_, {x, y, z});
}

void MDataHandle::set(const MString& value) {
  if (attribute_ && attribute_->kind == AttributeKind::kTyped) {
    node_->texts[attribute_] = value.asChar();
  }
}

void MDataHandle::set(const MMatrix& value) {
  if (attribute_ && attribute_->kind == AttributeKind::kMatrix) {
    node_->matrices[attribute_] = value;
  }
}

void MDataHandle::setClean() {
  if (node_ && attribute_) node_->dirty.erase(attribute_->root());
}
