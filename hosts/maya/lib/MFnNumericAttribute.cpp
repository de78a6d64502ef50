#include "api_support.h"
#include "graph.h"

#include <maya/MFnNumericAttribute.h>
#include <maya/MObject.h>

#include <memory>
#include <vector>

using qv::maya::detail::Attribute;
using qv::maya::detail::AttributeKind;
using qv::maya::detail::attributeOf;
using qv::maya::detail::failed;
using qv::maya::detail::newAttribute;
using qv::maya::detail::report;

QV_FN_CONSTRUCTOR(MFnNumericAttribute)

namespace {

MFnNumericData::Type scalarOf(MFnNumericData::Type type, int* count) {
  switch (type) {
    case MFnNumericData::k2Short:
    case MFnNumericData::k3Short:
      *count = type == MFnNumericData::k2Short ? 2 : 3;
      return MFnNumericData::kShort;
    case MFnNumericData::k2Int:
    case MFnNumericData::k3Int:
      *count = type == MFnNumericData::k2Int ? 2 : 3;
      return MFnNumericData::kInt;
    case MFnNumericData::k2Float:
    case MFnNumericData::k3Float:
      *count = type == MFnNumericData::k2Float ? 2 : 3;
      return MFnNumericData::kFloat;
    case MFnNumericData::k2Double:
    case MFnNumericData::k3Double:
    case MFnNumericData::k4Double:
      *count = type == MFnNumericData::k2Double ? 2 : type == MFnNumericData::k3Double ? 3 : 4;
      return MFnNumericData::kDouble;
    default:
      *count = 1;
      return type;
  }
}

// Children named after the parent with the given endings.
MObject numericCompound(MObject& object, const MString& longName, const MString& shortName,
                        MFnNumericData::Type type, const char* longEnds, const char* shortEnds,
                        int count) {
  auto parent = newAttribute(longName, shortName, AttributeKind::kCompound);
  parent->numericType = type;
  int scalarCount = 0;
  const MFnNumericData::Type scalar = scalarOf(type, &scalarCount);
  for (int i = 0; i < count; ++i) {
    auto child = newAttribute(longName + MString(&longEnds[i], 1),
                              shortName + MString(&shortEnds[i], 1), AttributeKind::kNumeric);
    child->numericType = scalar;
    child->parent = parent.get();
    parent->children.push_back(child);
  }
  object = qv::maya::detail::wrap(parent);
  return object;
}

}  // namespace

MObject MFnNumericAttribute::create(const MString& fullName, const MString& briefName,
                                    MFnNumericData::Type unitType, double defaultValue,
                                    MStatus* ReturnStatus) {
  qv::maya::detail::held(*this) = MObject();
  if (failed("MFnNumericAttribute::create", ReturnStatus)) return MObject();
  int count = 0;
  scalarOf(unitType, &count);
  if (unitType == MFnNumericData::kInvalid || unitType >= MFnNumericData::kAddr) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MObject();
  }
  report(ReturnStatus, MS::kSuccess);
  if (count > 1) {
    numericCompound(qv::maya::detail::held(*this), fullName, briefName, unitType, "0123", "0123",
                    count);
    for (auto& child : attributeOf(qv::maya::detail::held(*this))->children)
      child->defaultNumber = defaultValue;
    return qv::maya::detail::held(*this);
  }
  auto attribute = newAttribute(fullName, briefName, AttributeKind::kNumeric);
  attribute->numericType = unitType;
  attribute->defaultNumber = defaultValue;
  qv::maya::detail::held(*this) = qv::maya::detail::wrap(attribute);
  return qv::maya::detail::held(*this);
}

MObject MFnNumericAttribute::create(const MString& fullName, const MString& briefName,
                                    const MObject& child1, const MObject& child2,
                                    const MObject& child3, MStatus* ReturnStatus) {
  qv::maya::detail::held(*this) = MObject();
  if (failed("MFnNumericAttribute::create", ReturnStatus)) return MObject();
  std::vector<std::shared_ptr<Attribute>> children;
  for (const MObject* child : {&child1, &child2, &child3}) {
    if (child->isNull()) continue;
    Attribute* attribute = attributeOf(*child);
    if (!attribute || attribute->kind != AttributeKind::kNumeric || attribute->parent ||
        attribute->added) {
      report(ReturnStatus, MS::kInvalidParameter);
      return MObject();
    }
    children.push_back(std::static_pointer_cast<Attribute>(qv::maya::detail::shared(*child)));
  }
  if (children.size() < 2 || child2.isNull()) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MObject();
  }
  auto parent = newAttribute(fullName, briefName, AttributeKind::kCompound);
  const bool isDouble = children[0]->numericType == MFnNumericData::kDouble;
  parent->numericType = children.size() == 2
                            ? (isDouble ? MFnNumericData::k2Double : MFnNumericData::k2Float)
                            : (isDouble ? MFnNumericData::k3Double : MFnNumericData::k3Float);
  for (auto& child : children) {
    child->parent = parent.get();
    parent->children.push_back(child);
  }
  report(ReturnStatus, MS::kSuccess);
  qv::maya::detail::held(*this) = qv::maya::detail::wrap(parent);
  return qv::maya::detail::held(*this);
}

MObject MFnNumericAttribute::createColor(const MString& fullName, const MString& briefName,
                                         MStatus* ReturnStatus) {
  qv::maya::detail::held(*this) = MObject();
  if (failed("MFnNumericAttribute::createColor", ReturnStatus)) return MObject();
  numericCompound(qv::maya::detail::held(*this), fullName, briefName, MFnNumericData::k3Float,
                  "RGB", "rgb", 3);
  attributeOf(qv::maya::detail::held(*this))->usedAsColor = true;
  report(ReturnStatus, MS::kSuccess);
  return qv::maya::detail::held(*this);
}

MObject MFnNumericAttribute::createPoint(const MString& fullName, const MString& briefName,
                                         MStatus* ReturnStatus) {
  qv::maya::detail::held(*this) = MObject();
  if (failed("MFnNumericAttribute::createPoint", ReturnStatus)) return MObject();
  report(ReturnStatus, MS::kSuccess);
  return numericCompound(qv::maya::detail::held(*this), fullName, briefName,
                         MFnNumericData::k3Float, "XYZ", "xyz", 3);
}

MObject MFnNumericAttribute::createAddr(const MString& fullName, const MString& briefName, void*,
                                        MStatus* ReturnStatus) {
  qv::maya::detail::held(*this) = MObject();
  if (failed("MFnNumericAttribute::createAddr", ReturnStatus)) return MObject();
  auto attribute = newAttribute(fullName, briefName, AttributeKind::kNumeric);
  attribute->numericType = MFnNumericData::kAddr;
  attribute->storable = false;
  qv::maya::detail::held(*this) = qv::maya::detail::wrap(attribute);
  report(ReturnStatus, MS::kSuccess);
  return qv::maya::detail::held(*this);
}

MFnNumericData::Type MFnNumericAttribute::unitType(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute ? attribute->numericType : MFnNumericData::kInvalid;
}

MStatus MFnNumericAttribute::setDefaults(const char* function, int count, const double* values) {
  MStatus status;
  if (failed(function, &status)) return status;
  Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  if (!attribute || attribute->kind == AttributeKind::kTyped ||
      attribute->kind == AttributeKind::kMatrix) {
    return MS::kInvalidParameter;
  }
  if (count == 1 && attribute->isLeaf()) {
    attribute->defaultNumber = attribute->numericType == MFnNumericData::kBoolean
                                   ? (values[0] != 0.0 ? 1.0 : 0.0)
                                   : values[0];
    return MS::kSuccess;
  }
  if (attribute->children.size() != static_cast<size_t>(count)) return MS::kInvalidParameter;
  for (int i = 0; i < count; ++i)
    attribute->children[static_cast<size_t>(i)]->defaultNumber = values[i];
  return MS::kSuccess;
}

MStatus MFnNumericAttribute::setDefault(bool value) {
  const double v[] = {value ? 1.0 : 0.0};
  return setDefaults("MFnNumericAttribute::setDefault", 1, v);
}
MStatus MFnNumericAttribute::setDefault(int value) {
  const double v[] = {static_cast<double>(value)};
  return setDefaults("MFnNumericAttribute::setDefault", 1, v);
}
MStatus MFnNumericAttribute::setDefault(float value) {
  const double v[] = {value};
  return setDefaults("MFnNumericAttribute::setDefault", 1, v);
}
MStatus MFnNumericAttribute::setDefault(double value) {
  const double v[] = {value};
  return setDefaults("MFnNumericAttribute::setDefault", 1, v);
}
MStatus MFnNumericAttribute::setDefault(int a, int b) {
  const double v[] = {static_cast<double>(a), static_cast<double>(b)};
  return setDefaults("MFnNumericAttribute::setDefault", 2, v);
}
MStatus MFnNumericAttribute::setDefault(float a, float b) {
  const double v[] = {a, b};
  return setDefaults("MFnNumericAttribute::setDefault", 2, v);
}
MStatus MFnNumericAttribute::setDefault(double a, double b) {
  const double v[] = {a, b};
  return setDefaults("MFnNumericAttribute::setDefault", 2, v);
}
MStatus MFnNumericAttribute::setDefault(int a, int b, int c) {
  const double v[] = {static_cast<double>(a), static_cast<double>(b), static_cast<double>(c)};
  return setDefaults("MFnNumericAttribute::setDefault", 3, v);
}
MStatus MFnNumericAttribute::setDefault(float a, float b, float c) {
  const double v[] = {a, b, c};
  return setDefaults("MFnNumericAttribute::setDefault", 3, v);
}
MStatus MFnNumericAttribute::setDefault(double a, double b, double c) {
  const double v[] = {a, b, c};
  return setDefaults("MFnNumericAttribute::setDefault", 3, v);
}

MStatus MFnNumericAttribute::getDefault(double& def1) {
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  if (!attribute || !attribute->isLeaf()) return MS::kInvalidParameter;
  def1 = attribute->defaultNumber;
  return MS::kSuccess;
}

MStatus MFnNumericAttribute::getDefault(double& def1, double& def2, double& def3) {
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  if (!attribute || attribute->children.size() != 3) return MS::kInvalidParameter;
  def1 = attribute->children[0]->defaultNumber;
  def2 = attribute->children[1]->defaultNumber;
  def3 = attribute->children[2]->defaultNumber;
  return MS::kSuccess;
}

namespace {

enum class Limit { kMin, kMax, kSoftMin, kSoftMax };

void setLimit(Attribute& leaf, Limit limit, double value) {
  switch (limit) {
    case Limit::kMin:
      leaf.hasMin = true;
      leaf.min = value;
      break;
    case Limit::kMax:
      leaf.hasMax = true;
      leaf.max = value;
      break;
    case Limit::kSoftMin:
      leaf.hasSoftMin = true;
      leaf.softMin = value;
      break;
    case Limit::kSoftMax:
      leaf.hasSoftMax = true;
      leaf.softMax = value;
      break;
  }
}

bool getLimit(const Attribute& leaf, Limit limit, double* value) {
  switch (limit) {
    case Limit::kMin:
      *value = leaf.min;
      return leaf.hasMin;
    case Limit::kMax:
      *value = leaf.max;
      return leaf.hasMax;
    case Limit::kSoftMin:
      *value = leaf.softMin;
      return leaf.hasSoftMin;
    case Limit::kSoftMax:
      *value = leaf.softMax;
      return leaf.hasSoftMax;
  }
  return false;
}

// One value for a numeric leaf, one per child for a numeric compound of as
// many children.
std::vector<Attribute*> limitTargets(Attribute* attribute, size_t count) {
  if (!attribute) return {};
  if (attribute->isLeaf()) {
    if (count != 1 || attribute->kind != AttributeKind::kNumeric) return {};
    return {attribute};
  }
  if (attribute->children.size() != count) return {};
  std::vector<Attribute*> targets;
  for (auto& child : attribute->children) {
    if (!child->isLeaf() || child->kind != AttributeKind::kNumeric) return {};
    targets.push_back(child.get());
  }
  return targets;
}

MStatus setLimits(const MObject& object, const char* function, Limit limit,
                  std::initializer_list<double> values) {
  MStatus status;
  if (failed(function, &status)) return status;
  const auto targets = limitTargets(attributeOf(object), values.size());
  if (targets.empty()) return MS::kInvalidParameter;
  size_t i = 0;
  for (double value : values) setLimit(*targets[i++], limit, value);
  return MS::kSuccess;
}

MStatus getLimits(const MObject& object, Limit limit, std::initializer_list<double*> values) {
  const auto targets = limitTargets(attributeOf(object), values.size());
  if (targets.empty()) return MS::kInvalidParameter;
  size_t i = 0;
  bool all = true;
  for (double* value : values) all = getLimit(*targets[i++], limit, value) && all;
  return all ? MS::kSuccess : MS::kFailure;
}

bool hasLimit(const MObject& object, Limit limit, MStatus* ReturnStatus) {
  const Attribute* attribute = attributeOf(object);
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  double unused = 0.0;
  return attribute && getLimit(*attribute, limit, &unused);
}

}  // namespace

MStatus MFnNumericAttribute::setMin(double min1) {
  return setLimits(qv::maya::detail::held(*this), "MFnNumericAttribute::setMin", Limit::kMin,
                   {min1});
}
MStatus MFnNumericAttribute::setMin(double min1, double min2) {
  return setLimits(qv::maya::detail::held(*this), "MFnNumericAttribute::setMin", Limit::kMin,
                   {min1, min2});
}
MStatus MFnNumericAttribute::setMin(double min1, double min2, double min3) {
  return setLimits(qv::maya::detail::held(*this), "MFnNumericAttribute::setMin", Limit::kMin,
                   {min1, min2, min3});
}
MStatus MFnNumericAttribute::setMax(double max1) {
  return setLimits(qv::maya::detail::held(*this), "MFnNumericAttribute::setMax", Limit::kMax,
                   {max1});
}
MStatus MFnNumericAttribute::setMax(double max1, double max2) {
  return setLimits(qv::maya::detail::held(*this), "MFnNumericAttribute::setMax", Limit::kMax,
                   {max1, max2});
}
MStatus MFnNumericAttribute::setMax(double max1, double max2, double max3) {
  return setLimits(qv::maya::detail::held(*this), "MFnNumericAttribute::setMax", Limit::kMax,
                   {max1, max2, max3});
}
MStatus MFnNumericAttribute::setSoftMin(double min1) {
  return setLimits(qv::maya::detail::held(*this), "MFnNumericAttribute::setSoftMin",
                   Limit::kSoftMin, {min1});
}
MStatus MFnNumericAttribute::setSoftMax(double max1) {
  return setLimits(qv::maya::detail::held(*this), "MFnNumericAttribute::setSoftMax",
                   Limit::kSoftMax, {max1});
}

bool MFnNumericAttribute::hasMin(MStatus* ReturnStatus) const {
  return hasLimit(qv::maya::detail::held(*this), Limit::kMin, ReturnStatus);
}
bool MFnNumericAttribute::hasMax(MStatus* ReturnStatus) const {
  return hasLimit(qv::maya::detail::held(*this), Limit::kMax, ReturnStatus);
}
bool MFnNumericAttribute::hasSoftMin(MStatus* ReturnStatus) const {
  return hasLimit(qv::maya::detail::held(*this), Limit::kSoftMin, ReturnStatus);
}
bool MFnNumericAttribute::hasSoftMax(MStatus* ReturnStatus) const {
  return hasLimit(qv::maya::detail::held(*this), Limit::kSoftMax, ReturnStatus);
}

MStatus MFnNumericAttribute::getMin(double& min1) const {
  return getLimits(qv::maya::detail::held(*this), Limit::kMin, {&min1});
}
MStatus MFnNumericAttribute::getMin(double& min1, double& min2) const {
  return getLimits(qv::maya::detail::held(*this), Limit::kMin, {&min1, &min2});
}
MStatus MFnNumericAttribute::getMin(double& min1, double& min2, double& min3) const {
  return getLimits(qv::maya::detail::held(*this), Limit::kMin, {&min1, &min2, &min3});
}
MStatus MFnNumericAttribute::getMax(double& max1) const {
  return getLimits(qv::maya::detail::held(*this), Limit::kMax, {&max1});
}
MStatus MFnNumericAttribute::getMax(double& max1, double& max2) const {
  return getLimits(qv::maya::detail::held(*this), Limit::kMax, {&max1, &max2});
}
MStatus MFnNumericAttribute::getMax(double& max1, double& max2, double& max3) const {
  return getLimits(qv::maya::detail::held(*this), Limit::kMax, {&max1, &max2, &max3});
}
MStatus MFnNumericAttribute::getSoftMin(double& min1) const {
  return getLimits(qv::maya::detail::held(*this), Limit::kSoftMin, {&min1});
}
MStatus MFnNumericAttribute::getSoftMax(double& max1) const {
  return getLimits(qv::maya::detail::held(*this), Limit::kSoftMax, {&max1});
}
