#include "api_support.h"
#include "graph.h"
#include "numeric_value.h"

#include <maya/MDataHandle.h>
#include <maya/MFloatVector.h>
#include <maya/MMatrix.h>
#include <maya/MPlug.h>
#include <maya/MString.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <vector>

using qv::maya::detail::Attribute;
using qv::maya::detail::AttributeKind;
using qv::maya::detail::DataSlot;
using qv::maya::detail::DataValues;
using qv::maya::detail::graph;
using qv::maya::detail::Node;
using qv::maya::detail::objectOf;
using qv::maya::detail::storedValue;
using qv::maya::detail::toFloat;
using qv::maya::detail::toInteger;

namespace {

std::vector<const Attribute*> leavesOf(const Attribute& attribute) {
  std::vector<const Attribute*> leaves;
  qv::maya::detail::collectLeaves(attribute, leaves);
  return leaves;
}

// Every form from the node's values: the scalar forms from the first leaf,
// the two- and three-component forms from the first leaves in order.
void fill(const Node& node, const Attribute& attribute, DataSlot& slot) {
  const auto leaves = leavesOf(attribute);
  double n[3] = {0.0, 0.0, 0.0};
  for (size_t k = 0; k < 3 && k < leaves.size(); ++k) {
    if (leaves[k]->kind == AttributeKind::kNumeric) n[k] = graph().number(node, *leaves[k]);
  }
  DataValues& v = slot.live;
  v.b = !std::isnan(n[0]) && n[0] != 0.0;
  v.c = static_cast<char>(toInteger<signed char>(n[0]));
  v.uc = toInteger<unsigned char>(n[0]);
  v.s = toInteger<short>(n[0]);
  v.i = toInteger<int>(n[0]);
  v.i64 = toInteger<MInt64>(n[0]);
  v.f = toFloat(n[0]);
  v.d = n[0];
  for (int k = 0; k < 3; ++k) {
    if (k < 2) {
      v.s2[k] = toInteger<short>(n[k]);
      v.i2[k] = toInteger<int>(n[k]);
      v.f2[k] = toFloat(n[k]);
      v.d2[k] = n[k];
    }
    v.s3[k] = toInteger<short>(n[k]);
    v.i3[k] = toInteger<int>(n[k]);
    v.f3[k] = toFloat(n[k]);
    v.d3[k] = n[k];
  }
  v.fv = MFloatVector(v.f3);
  v.str = attribute.kind == AttributeKind::kTyped ? graph().text(node, attribute).c_str() : "";
  v.m = attribute.kind == AttributeKind::kMatrix ? graph().matrix(node, attribute) : MMatrix();
  slot.read = slot.live;
}

template <typename T>
bool changed(const T& live, const T& read) {
  return std::memcmp(&live, &read, sizeof(T)) != 0;
}

template <typename T, size_t N>
std::vector<double> numbers(const T (&values)[N]) {
  return std::vector<double>(values, values + N);
}

void writeLeaves(Node& node, const Attribute& attribute, const std::vector<double>& values) {
  const auto leaves = leavesOf(attribute);
  for (size_t k = 0; k < values.size() && k < leaves.size(); ++k) {
    if (leaves[k]->kind == AttributeKind::kNumeric) {
      node.numbers[leaves[k]] = storedValue(leaves[k]->numericType, values[k]);
    }
  }
}

DataValues& scratch() {
  static DataValues none;
  none = DataValues();
  return none;
}

}  // namespace

namespace qv::maya::detail {

void storeSlot(Node& node, const Attribute& attribute, DataSlot& slot) {
  const DataValues& l = slot.live;
  const DataValues& r = slot.read;
  std::vector<double> values;
  if (changed(l.fv, r.fv)) {
    values = {l.fv.x, l.fv.y, l.fv.z};
  } else if (changed(l.f3, r.f3)) {
    values = numbers(l.f3);
  } else if (changed(l.d3, r.d3)) {
    values = numbers(l.d3);
  } else if (changed(l.i3, r.i3)) {
    values = numbers(l.i3);
  } else if (changed(l.s3, r.s3)) {
    values = numbers(l.s3);
  } else if (changed(l.f2, r.f2)) {
    values = numbers(l.f2);
  } else if (changed(l.d2, r.d2)) {
    values = numbers(l.d2);
  } else if (changed(l.i2, r.i2)) {
    values = numbers(l.i2);
  } else if (changed(l.s2, r.s2)) {
    values = numbers(l.s2);
  } else if (changed(l.d, r.d)) {
    values = {l.d};
  } else if (changed(l.f, r.f)) {
    values = {l.f};
  } else if (changed(l.i64, r.i64)) {
    values = {static_cast<double>(l.i64)};
  } else if (changed(l.i, r.i)) {
    values = {static_cast<double>(l.i)};
  } else if (changed(l.s, r.s)) {
    values = {static_cast<double>(l.s)};
  } else if (changed(l.uc, r.uc)) {
    values = {static_cast<double>(l.uc)};
  } else if (changed(l.c, r.c)) {
    values = {static_cast<double>(l.c)};
  } else if (l.b != r.b) {
    values = {l.b ? 1.0 : 0.0};
  }
  bool stored = !values.empty();
  writeLeaves(node, attribute, values);
  if (attribute.kind == AttributeKind::kTyped && l.str != r.str) {
    node.texts[&attribute] = l.str.asChar();
    stored = true;
  }
  if (attribute.kind == AttributeKind::kMatrix && changed(l.m, r.m)) {
    node.matrices[&attribute] = l.m;
    stored = true;
  }
  // The other forms follow the one written.
  if (stored) fill(node, attribute, slot);
}

DataSlot& loadSlot(Node& node, const Attribute& attribute) {
  DataSlot& slot = node.block[&attribute];
  storeSlot(node, attribute, slot);
  fill(node, attribute, slot);
  return slot;
}

void storeBlock(Node& node) {
  for (auto& [attribute, slot] : node.block) storeSlot(node, *attribute, slot);
}

}  // namespace qv::maya::detail

namespace {

// A null handle (one a failed call returned) reads zeros and keeps nothing.
DataValues& valuesOf(Node* node, const Attribute* attribute) {
  if (!node || !attribute) return scratch();
  return node->block[attribute].live;
}

void setNumbers(Node* node, const Attribute* attribute, std::initializer_list<double> values) {
  if (!node || !attribute) return;
  writeLeaves(*node, *attribute, std::vector<double>(values));
  fill(*node, *attribute, node->block[attribute]);
}

}  // namespace

bool MDataHandle::isNumeric() const {
  return attribute_ && attribute_->kind == AttributeKind::kNumeric;
}
MFnNumericData::Type MDataHandle::numericType() const {
  return attribute_ ? attribute_->numericType : MFnNumericData::kInvalid;
}
MFnData::Type MDataHandle::type() const {
  if (!attribute_) return MFnData::kInvalid;
  switch (attribute_->kind) {
    case AttributeKind::kTyped:
      return attribute_->dataType;
    case AttributeKind::kMatrix:
      return MFnData::kMatrix;
    case AttributeKind::kNumeric:
      return MFnData::kNumeric;
    case AttributeKind::kCompound:
      break;
  }
  return attribute_->numericType != MFnNumericData::kInvalid ? MFnData::kNumeric
                                                             : MFnData::kInvalid;
}

MObject MDataHandle::attribute() {
  return objectOf(attribute_ && attribute_->arrayOf ? attribute_->arrayOf : attribute_);
}

namespace {

std::shared_ptr<qv::maya::detail::MeshData> meshIn(const Node* node, const Attribute* attribute) {
  if (!node || !attribute || attribute->kind != AttributeKind::kTyped) return nullptr;
  return std::dynamic_pointer_cast<qv::maya::detail::MeshData>(graph().data(*node, *attribute));
}

}  // namespace

MObject MDataHandle::asMesh() const {
  auto mesh = meshIn(node_, attribute_);
  return mesh ? qv::maya::detail::wrap(mesh) : MObject();
}

MObject MDataHandle::asMeshTransformed() const {
  auto mesh = meshIn(node_, attribute_);
  if (!mesh) return MObject();
  auto moved = std::make_shared<qv::maya::detail::MeshData>(*mesh);
  const MMatrix& m = mesh->world;
  for (auto& p : moved->polygons.points) {
    const double x = p[0], y = p[1], z = p[2];
    double w = x * m(0, 3) + y * m(1, 3) + z * m(2, 3) + m(3, 3);
    if (w == 0.0) w = 1.0;
    for (unsigned int c = 0; c < 3; ++c) {
      p[c] = (x * m(0, c) + y * m(1, c) + z * m(2, c) + m(3, c)) / w;
    }
  }
  moved->world = MMatrix();
  return qv::maya::detail::wrap(moved);
}

const MMatrix& MDataHandle::geometryTransformMatrix() const {
  static const MMatrix identity;
  auto mesh = meshIn(node_, attribute_);
  return mesh ? mesh->world : identity;
}

void MDataHandle::setClean() {
  if (!node_ || !attribute_) return;
  auto slot = node_->block.find(attribute_);
  if (slot != node_->block.end()) storeSlot(*node_, *attribute_, slot->second);
  node_->dirty.erase(attribute_->root());
}

bool& MDataHandle::asBool() const {
  return valuesOf(node_, attribute_).b;
}
char& MDataHandle::asChar() const {
  return valuesOf(node_, attribute_).c;
}
unsigned char& MDataHandle::asUChar() const {
  return valuesOf(node_, attribute_).uc;
}
short& MDataHandle::asShort() const {
  return valuesOf(node_, attribute_).s;
}
int& MDataHandle::asLong() const {
  return valuesOf(node_, attribute_).i;
}
int& MDataHandle::asInt() const {
  return valuesOf(node_, attribute_).i;
}
MInt64& MDataHandle::asInt64() const {
  return valuesOf(node_, attribute_).i64;
}
float& MDataHandle::asFloat() const {
  return valuesOf(node_, attribute_).f;
}
double& MDataHandle::asDouble() const {
  return valuesOf(node_, attribute_).d;
}
short2& MDataHandle::asShort2() const {
  return valuesOf(node_, attribute_).s2;
}
long2& MDataHandle::asLong2() const {
  return valuesOf(node_, attribute_).i2;
}
int2& MDataHandle::asInt2() const {
  return valuesOf(node_, attribute_).i2;
}
float2& MDataHandle::asFloat2() const {
  return valuesOf(node_, attribute_).f2;
}
double2& MDataHandle::asDouble2() const {
  return valuesOf(node_, attribute_).d2;
}
short3& MDataHandle::asShort3() const {
  return valuesOf(node_, attribute_).s3;
}
long3& MDataHandle::asLong3() const {
  return valuesOf(node_, attribute_).i3;
}
int3& MDataHandle::asInt3() const {
  return valuesOf(node_, attribute_).i3;
}
float3& MDataHandle::asFloat3() const {
  return valuesOf(node_, attribute_).f3;
}
double3& MDataHandle::asDouble3() const {
  return valuesOf(node_, attribute_).d3;
}
MFloatVector& MDataHandle::asFloatVector() const {
  return valuesOf(node_, attribute_).fv;
}
MMatrix& MDataHandle::asMatrix() const {
  return valuesOf(node_, attribute_).m;
}
MString& MDataHandle::asString() const {
  return valuesOf(node_, attribute_).str;
}
// Addresses are not numbers the graph keeps: they live in the block alone.
void*& MDataHandle::asAddr() const {
  return valuesOf(node_, attribute_).addr;
}

MDataHandle MDataHandle::child(const MPlug& plug) {
  return child(plug.attribute());
}

MDataHandle MDataHandle::child(const MObject& attribute) {
  const Attribute* wanted = qv::maya::detail::attributeOf(attribute);
  if (!node_ || !attribute_ || !wanted || wanted->parent != attribute_) return MDataHandle();
  qv::maya::detail::loadSlot(*node_, *wanted);
  return MDataHandle(node_, wanted);
}

void MDataHandle::set(bool value) {
  setNumbers(node_, attribute_, {value ? 1.0 : 0.0});
}
void MDataHandle::set(char value) {
  setNumbers(node_, attribute_, {static_cast<double>(value)});
}
void MDataHandle::set(short value) {
  setNumbers(node_, attribute_, {static_cast<double>(value)});
}
void MDataHandle::set(int value) {
  setNumbers(node_, attribute_, {static_cast<double>(value)});
}
void MDataHandle::set(MInt64 value) {
  setNumbers(node_, attribute_, {static_cast<double>(value)});
}
void MDataHandle::set(float value) {
  setNumbers(node_, attribute_, {value});
}
void MDataHandle::set(double value) {
  setNumbers(node_, attribute_, {value});
}
void MDataHandle::set(const MFloatVector& value) {
  setNumbers(node_, attribute_, {value.x, value.y, value.z});
}
void MDataHandle::set(short a, short b) {
  setNumbers(node_, attribute_, {static_cast<double>(a), static_cast<double>(b)});
}
void MDataHandle::set(int a, int b) {
  setNumbers(node_, attribute_, {static_cast<double>(a), static_cast<double>(b)});
}
void MDataHandle::set(float a, float b) {
  setNumbers(node_, attribute_, {a, b});
}
void MDataHandle::set(double a, double b) {
  setNumbers(node_, attribute_, {a, b});
}
void MDataHandle::set(short a, short b, short c) {
  setNumbers(node_, attribute_,
             {static_cast<double>(a), static_cast<double>(b), static_cast<double>(c)});
}
void MDataHandle::set(int a, int b, int c) {
  setNumbers(node_, attribute_,
             {static_cast<double>(a), static_cast<double>(b), static_cast<double>(c)});
}
void MDataHandle::set(float a, float b, float c) {
  setNumbers(node_, attribute_, {a, b, c});
}
void MDataHandle::set(double a, double b, double c) {
  setNumbers(node_, attribute_, {a, b, c});
}

void MDataHandle::set(const MString& value) {
  if (!node_ || !attribute_ || attribute_->kind != AttributeKind::kTyped) return;
  node_->texts[attribute_] = value.asChar();
  fill(*node_, *attribute_, node_->block[attribute_]);
}

void MDataHandle::set(const MMatrix& value) {
  if (!node_ || !attribute_ || attribute_->kind != AttributeKind::kMatrix) return;
  node_->matrices[attribute_] = value;
  fill(*node_, *attribute_, node_->block[attribute_]);
}

void MDataHandle::setBool(bool value) {
  set(value);
}
void MDataHandle::setChar(char value) {
  set(value);
}
void MDataHandle::setShort(short value) {
  set(value);
}
void MDataHandle::setInt(int value) {
  set(value);
}
void MDataHandle::setInt64(MInt64 value) {
  set(value);
}
void MDataHandle::setFloat(float value) {
  set(value);
}
void MDataHandle::setDouble(double value) {
  set(value);
}
void MDataHandle::setMMatrix(const MMatrix& value) {
  set(value);
}
void MDataHandle::setMFloatVector(const MFloatVector& value) {
  set(value);
}
void MDataHandle::set2Short(short a, short b) {
  set(a, b);
}
void MDataHandle::set2Int(int a, int b) {
  set(a, b);
}
void MDataHandle::set2Float(float a, float b) {
  set(a, b);
}
void MDataHandle::set2Double(double a, double b) {
  set(a, b);
}
void MDataHandle::set3Short(short a, short b, short c) {
  set(a, b, c);
}
void MDataHandle::set3Int(int a, int b, int c) {
  set(a, b, c);
}
void MDataHandle::set3Float(float a, float b, float c) {
  set(a, b, c);
}
void MDataHandle::set3Double(double a, double b, double c) {
  set(a, b, c);
}
void MDataHandle::setString(const MString& value) {
  set(value);
}
