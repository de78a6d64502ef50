// The OpenMaya classes, as thin views of the dependency graph.
#include "graph.h"
#include "numeric_value.h"

// The library itself is no plug-in: no MApiVersion, no DllMain.
#define MNoVersionString
#define MNoPluginEntry
#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MFnAttribute.h>
#include <maya/MFnCompoundAttribute.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnMatrixAttribute.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnPlugin.h>
#include <maya/MFnStringData.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MGlobal.h>
#include <maya/MMatrix.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>
#include <maya/MPxNode.h>

#include <cmath>
#include <iostream>
#include <type_traits>
#include <utility>

using qv::maya::detail::Attribute;
using qv::maya::detail::AttributeKind;
using qv::maya::detail::attributeOf;
using qv::maya::detail::graph;
using qv::maya::detail::Node;
using qv::maya::detail::nodeOf;
using qv::maya::detail::storedValue;
using qv::maya::detail::toFloat;
using qv::maya::detail::toInteger;

namespace {

void report(MStatus* out, MStatus status) {
  if (out) *out = status;
}

bool failed(const char* function, MStatus* out) {
  MStatus status;
  if (!graph().injected(function, &status)) return false;
  report(out, status);
  return true;
}

MObject objectOf(const qv::maya::detail::Object* object) {
  if (!object) return MObject();
  return MObject(const_cast<qv::maya::detail::Object*>(object)->shared_from_this());
}

bool belongs(const Node& node, const Attribute& attribute) {
  const Attribute* root = attribute.root();
  for (const auto& candidate : node.type->attributes) {
    if (candidate.get() == root) return true;
  }
  return false;
}

}  // namespace

// MObject, MMatrix, MGlobal

const MObject MObject::kNullObj;

MFn::Type MObject::apiType() const {
  return object_ ? object_->apiType() : MFn::kInvalid;
}

bool MObject::hasFn(MFn::Type type) const {
  return object_ && object_->hasFn(type);
}

const char* MObject::apiTypeStr() const {
  switch (apiType()) {
    case MFn::kTransform:
      return "kTransform";
    case MFn::kCamera:
      return "kCamera";
    case MFn::kMesh:
      return "kMesh";
    case MFn::kPluginDependNode:
      return "kPluginDependNode";
    case MFn::kInvalid:
      return "kInvalid";
    default:
      return "kBase";
  }
}

const MMatrix MMatrix::identity;

MMatrix MMatrix::inverse() const {
  double a[4][8];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      a[r][c] = matrix[r][c];
      a[r][c + 4] = r == c ? 1.0 : 0.0;
    }
  }
  for (int c = 0; c < 4; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 4; ++r) {
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    }
    if (a[pivot][c] == 0.0) return MMatrix();
    if (pivot != c) std::swap(a[pivot], a[c]);
    const double scale = 1.0 / a[c][c];
    for (double& value : a[c]) value *= scale;
    for (int r = 0; r < 4; ++r) {
      if (r == c || a[r][c] == 0.0) continue;
      const double factor = a[r][c];
      for (int k = 0; k < 8; ++k) a[r][k] -= factor * a[c][k];
    }
  }
  MMatrix result;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) result.matrix[r][c] = a[r][c + 4];
  }
  return result;
}

MMatrix::MMatrix() {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) matrix[r][c] = r == c ? 1.0 : 0.0;
  }
}

MMatrix::MMatrix(const double m[4][4]) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) matrix[r][c] = m[r][c];
  }
}

MMatrix MMatrix::operator*(const MMatrix& right) const {
  MMatrix result;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += matrix[r][k] * right.matrix[k][c];
      result.matrix[r][c] = sum;
    }
  }
  return result;
}

bool MMatrix::operator==(const MMatrix& other) const {
  return isEquivalent(other, 0.0);
}

bool MMatrix::isEquivalent(const MMatrix& other, double tolerance) const {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      if (std::fabs(matrix[r][c] - other.matrix[r][c]) > tolerance) return false;
    }
  }
  return true;
}

void MGlobal::displayInfo(const MString& text) {
  std::cout << text << std::endl;
}
void MGlobal::displayWarning(const MString& text) {
  std::cerr << "// Warning: " << text << std::endl;
}
void MGlobal::displayError(const MString& text) {
  std::cerr << "// Error: " << text << std::endl;
}

// MPxNode

MPxNode::~MPxNode() = default;

void MPxNode::postConstructor() {}

MStatus MPxNode::compute(const MPlug&, MDataBlock&) {
  return MS::kUnknownParameter;
}

MStatus MPxNode::setDependentsDirty(const MPlug&, MPlugArray&) {
  return MS::kSuccess;
}

MObject MPxNode::thisMObject() const {
  return objectOf(node_);
}
MString MPxNode::name() const {
  return node_ ? node_->name.c_str() : "";
}
MTypeId MPxNode::typeId() const {
  return node_ ? node_->type->id : MTypeId();
}
MString MPxNode::typeName() const {
  return node_ ? node_->type->name.c_str() : "";
}

MStatus MPxNode::addAttribute(const MObject& attribute) {
  MStatus status;
  if (failed("MPxNode::addAttribute", &status)) return status;
  auto* type = graph().initializing;
  Attribute* added = attributeOf(attribute);
  if (!type || !added || added->parent || added->added) return MS::kInvalidParameter;
  if (type->find(added->longName) || type->find(added->shortName)) return MS::kInvalidParameter;
  added->added = true;
  type->attributes.push_back(std::static_pointer_cast<Attribute>(attribute.shared()));
  return MS::kSuccess;
}

MStatus MPxNode::attributeAffects(const MObject& whenChanges, const MObject& isAffected) {
  MStatus status;
  if (failed("MPxNode::attributeAffects", &status)) return status;
  auto* type = graph().initializing;
  const Attribute* input = attributeOf(whenChanges);
  const Attribute* output = attributeOf(isAffected);
  if (!type || !input || !output) return MS::kInvalidParameter;
  bool known = false;
  for (const auto& attribute : type->attributes) {
    known = known || attribute.get() == input->root();
  }
  if (!known || !type->find(output->root()->longName)) return MS::kInvalidParameter;
  type->affects[input->root()].push_back(output->root());
  return MS::kSuccess;
}

// MFnPlugin

MFnPlugin::MFnPlugin(MObject& object, const char* vendor, const char* version,
                     const char* requiredApiVersion, MStatus* ReturnStatus)
    : vendor_(vendor), version_(version), requiredApiVersion_(requiredApiVersion) {
  if (failed("MFnPlugin::MFnPlugin", ReturnStatus)) return;
  if (!object.hasFn(MFn::kPlugin)) {
    report(ReturnStatus, MS::kInvalidParameter);
    return;
  }
  object_ = object;
  if (auto* plugin = dynamic_cast<qv::maya::detail::Plugin*>(object.get())) {
    plugin->vendor = vendor_.asChar();
    plugin->version = version_.asChar();
    plugin->requiredApiVersion = requiredApiVersion_.asChar();
  }
  report(ReturnStatus, MS::kSuccess);
}

namespace {
qv::maya::detail::Plugin* pluginOf(const MObject& object) {
  return dynamic_cast<qv::maya::detail::Plugin*>(object.get());
}
}  // namespace

MString MFnPlugin::vendor(MStatus* ReturnStatus) const {
  report(ReturnStatus, MS::kSuccess);
  return vendor_;
}
MString MFnPlugin::version(MStatus* ReturnStatus) const {
  report(ReturnStatus, MS::kSuccess);
  return version_;
}
MString MFnPlugin::apiVersion(MStatus* ReturnStatus) const {
  report(ReturnStatus, MS::kSuccess);
  return "201500";
}
MString MFnPlugin::name(MStatus* ReturnStatus) const {
  auto* plugin = pluginOf(object_);
  report(ReturnStatus, plugin ? MS::kSuccess : MS::kFailure);
  return plugin ? plugin->name.c_str() : "";
}
MString MFnPlugin::loadPath(MStatus* ReturnStatus) const {
  auto* plugin = pluginOf(object_);
  report(ReturnStatus, plugin ? MS::kSuccess : MS::kFailure);
  return plugin ? plugin->path.c_str() : "";
}

MStatus MFnPlugin::registerNode(const MString& typeName, const MTypeId& typeId,
                                MCreatorFunction creatorFunction, MInitializeFunction initFunction,
                                MPxNode::Type type, const MString* classification) {
  MStatus status;
  if (failed("MFnPlugin::registerNode", &status)) return status;
  auto nodeType = std::make_shared<qv::maya::detail::NodeType>();
  nodeType->name = typeName.asChar();
  nodeType->id = typeId;
  nodeType->creator = creatorFunction;
  nodeType->initialize = initFunction;
  nodeType->kind = type;
  nodeType->classification = classification ? classification->asChar() : "";
  nodeType->vendor = vendor_.asChar();
  nodeType->version = version_.asChar();
  auto* plugin = pluginOf(object_);
  nodeType->plugin = plugin ? plugin : graph().loading;
  return graph().registerType(std::move(nodeType));
}

MStatus MFnPlugin::deregisterNode(const MTypeId& typeId) {
  MStatus status;
  if (failed("MFnPlugin::deregisterNode", &status)) return status;
  return graph().deregisterType(typeId);
}

// MFnBase and the attribute function sets

bool MFnBase::hasObj(const MObject& object) const {
  return object.hasFn(type());
}

MObject MFnBase::object(MStatus* ReturnStatus) const {
  report(ReturnStatus, object_.isNull() ? MS::kFailure : MS::kSuccess);
  return object_;
}

MStatus MFnBase::setObject(const MObject& object) {
  if (!object.isNull() && !hasObj(object)) return MS::kInvalidParameter;
  object_ = object;
  return MS::kSuccess;
}

#define QV_FN_CONSTRUCTOR(Class)                               \
  Class::Class(const MObject& object, MStatus* ReturnStatus) { \
    report(ReturnStatus, setObject(object));                   \
  }                                                            \
  MStatus Class::setObject(const MObject& object) {            \
    return MFnBase::setObject(object);                         \
  }

QV_FN_CONSTRUCTOR(MFnAttribute)
QV_FN_CONSTRUCTOR(MFnNumericAttribute)
QV_FN_CONSTRUCTOR(MFnTypedAttribute)
QV_FN_CONSTRUCTOR(MFnMatrixAttribute)
QV_FN_CONSTRUCTOR(MFnCompoundAttribute)
QV_FN_CONSTRUCTOR(MFnStringData)
QV_FN_CONSTRUCTOR(MFnDependencyNode)
QV_FN_CONSTRUCTOR(MFnDagNode)

MString MFnAttribute::name(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(object_);
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute ? attribute->longName.c_str() : "";
}

MString MFnAttribute::shortName(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(object_);
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute ? attribute->shortName.c_str() : "";
}

MObject MFnAttribute::parent(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(object_);
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute ? objectOf(attribute->parent) : MObject();
}

#define QV_FLAG(Name, field)                                                \
  bool MFnAttribute::is##Name(MStatus* ReturnStatus) const {                \
    const Attribute* attribute = attributeOf(object_);                      \
    report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter); \
    return attribute && attribute->field;                                   \
  }                                                                         \
  MStatus MFnAttribute::set##Name(bool state) {                             \
    MStatus status;                                                         \
    if (failed("MFnAttribute::set" #Name, &status)) return status;          \
    Attribute* attribute = attributeOf(object_);                            \
    if (!attribute) return MS::kInvalidParameter;                           \
    attribute->field = state;                                               \
    return MS::kSuccess;                                                    \
  }

QV_FLAG(Keyable, keyable)
QV_FLAG(Storable, storable)
QV_FLAG(Readable, readable)
QV_FLAG(Writable, writable)
QV_FLAG(Hidden, hidden)
QV_FLAG(UsedAsColor, usedAsColor)
QV_FLAG(UsedAsFilename, usedAsFilename)

namespace {

std::shared_ptr<Attribute> newAttribute(const MString& longName, const MString& shortName,
                                        AttributeKind kind) {
  auto attribute = std::make_shared<Attribute>();
  attribute->longName = longName.asChar();
  attribute->shortName = shortName.asChar();
  attribute->kind = kind;
  return attribute;
}

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
  object = MObject(parent);
  return object;
}

}  // namespace

MObject MFnNumericAttribute::create(const MString& fullName, const MString& briefName,
                                    MFnNumericData::Type unitType, double defaultValue,
                                    MStatus* ReturnStatus) {
  object_ = MObject();
  if (failed("MFnNumericAttribute::create", ReturnStatus)) return MObject();
  int count = 0;
  scalarOf(unitType, &count);
  if (unitType == MFnNumericData::kInvalid || unitType >= MFnNumericData::kAddr) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MObject();
  }
  report(ReturnStatus, MS::kSuccess);
  if (count > 1) {
    numericCompound(object_, fullName, briefName, unitType, "0123", "0123", count);
    for (auto& child : attributeOf(object_)->children) child->defaultNumber = defaultValue;
    return object_;
  }
  auto attribute = newAttribute(fullName, briefName, AttributeKind::kNumeric);
  attribute->numericType = unitType;
  attribute->defaultNumber = defaultValue;
  object_ = MObject(attribute);
  return object_;
}

MObject MFnNumericAttribute::create(const MString& fullName, const MString& briefName,
                                    const MObject& child1, const MObject& child2,
                                    const MObject& child3, MStatus* ReturnStatus) {
  object_ = MObject();
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
    children.push_back(std::static_pointer_cast<Attribute>(child->shared()));
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
  object_ = MObject(parent);
  return object_;
}

MObject MFnNumericAttribute::createColor(const MString& fullName, const MString& briefName,
                                         MStatus* ReturnStatus) {
  object_ = MObject();
  if (failed("MFnNumericAttribute::createColor", ReturnStatus)) return MObject();
  numericCompound(object_, fullName, briefName, MFnNumericData::k3Float, "RGB", "rgb", 3);
  attributeOf(object_)->usedAsColor = true;
  report(ReturnStatus, MS::kSuccess);
  return object_;
}

MObject MFnNumericAttribute::createPoint(const MString& fullName, const MString& briefName,
                                         MStatus* ReturnStatus) {
  object_ = MObject();
  if (failed("MFnNumericAttribute::createPoint", ReturnStatus)) return MObject();
  report(ReturnStatus, MS::kSuccess);
  return numericCompound(object_, fullName, briefName, MFnNumericData::k3Float, "XYZ", "xyz", 3);
}

MFnNumericData::Type MFnNumericAttribute::unitType(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(object_);
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute ? attribute->numericType : MFnNumericData::kInvalid;
}

MStatus MFnNumericAttribute::setDefaults(const char* function, int count, const double* values) {
  MStatus status;
  if (failed(function, &status)) return status;
  Attribute* attribute = attributeOf(object_);
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

MStatus MFnNumericAttribute::getDefault(double& value) const {
  const Attribute* attribute = attributeOf(object_);
  if (!attribute || !attribute->isLeaf()) return MS::kInvalidParameter;
  value = attribute->defaultNumber;
  return MS::kSuccess;
}

MStatus MFnNumericAttribute::getDefault(double& a, double& b, double& c) const {
  const Attribute* attribute = attributeOf(object_);
  if (!attribute || attribute->children.size() != 3) return MS::kInvalidParameter;
  a = attribute->children[0]->defaultNumber;
  b = attribute->children[1]->defaultNumber;
  c = attribute->children[2]->defaultNumber;
  return MS::kSuccess;
}

MStatus MFnNumericAttribute::setMin(double value) {
  MStatus status;
  if (failed("MFnNumericAttribute::setMin", &status)) return status;
  Attribute* attribute = attributeOf(object_);
  if (!attribute || !attribute->isLeaf()) return MS::kInvalidParameter;
  attribute->hasMin = true;
  attribute->min = value;
  return MS::kSuccess;
}

MStatus MFnNumericAttribute::setMax(double value) {
  MStatus status;
  if (failed("MFnNumericAttribute::setMax", &status)) return status;
  Attribute* attribute = attributeOf(object_);
  if (!attribute || !attribute->isLeaf()) return MS::kInvalidParameter;
  attribute->hasMax = true;
  attribute->max = value;
  return MS::kSuccess;
}

bool MFnNumericAttribute::hasMin(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(object_);
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute && attribute->hasMin;
}

bool MFnNumericAttribute::hasMax(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(object_);
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute && attribute->hasMax;
}

MStatus MFnNumericAttribute::getMin(double& value) const {
  const Attribute* attribute = attributeOf(object_);
  if (!attribute || !attribute->hasMin) return MS::kFailure;
  value = attribute->min;
  return MS::kSuccess;
}

MStatus MFnNumericAttribute::getMax(double& value) const {
  const Attribute* attribute = attributeOf(object_);
  if (!attribute || !attribute->hasMax) return MS::kFailure;
  value = attribute->max;
  return MS::kSuccess;
}

MObject MFnTypedAttribute::create(const MString& fullName, const MString& briefName,
                                  MFnData::Type type, MStatus* ReturnStatus) {
  return create(fullName, briefName, type, MObject::kNullObj, ReturnStatus);
}

MObject MFnTypedAttribute::create(const MString& fullName, const MString& briefName,
                                  MFnData::Type type, const MObject& defaultData,
                                  MStatus* ReturnStatus) {
  object_ = MObject();
  if (failed("MFnTypedAttribute::create", ReturnStatus)) return MObject();
  auto attribute = newAttribute(fullName, briefName, AttributeKind::kTyped);
  attribute->dataType = type;
  object_ = MObject(attribute);
  report(ReturnStatus, defaultData.isNull() ? MStatus() : setDefault(defaultData));
  return object_;
}

MFnData::Type MFnTypedAttribute::attrType(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(object_);
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute ? attribute->dataType : MFnData::kInvalid;
}

MStatus MFnTypedAttribute::setDefault(const MObject& defaultData) {
  MStatus status;
  if (failed("MFnTypedAttribute::setDefault", &status)) return status;
  Attribute* attribute = attributeOf(object_);
  auto* data = dynamic_cast<qv::maya::detail::StringData*>(defaultData.get());
  if (!attribute || !data || attribute->dataType != MFnData::kString) {
    return MS::kInvalidParameter;
  }
  attribute->defaultText = data->text;
  return MS::kSuccess;
}

MStatus MFnTypedAttribute::getDefault(MObject& defaultData) {
  const Attribute* attribute = attributeOf(object_);
  if (!attribute || attribute->dataType != MFnData::kString) return MS::kInvalidParameter;
  MFnStringData data;
  defaultData = data.create(attribute->defaultText.c_str());
  return MS::kSuccess;
}

MObject MFnMatrixAttribute::create(const MString& fullName, const MString& briefName,
                                   Type matrixType, MStatus* ReturnStatus) {
  object_ = MObject();
  if (failed("MFnMatrixAttribute::create", ReturnStatus)) return MObject();
  auto attribute = newAttribute(fullName, briefName, AttributeKind::kMatrix);
  attribute->matrixType = matrixType;
  object_ = MObject(attribute);
  report(ReturnStatus, MS::kSuccess);
  return object_;
}

MStatus MFnMatrixAttribute::setDefault(const MMatrix& matrix) {
  MStatus status;
  if (failed("MFnMatrixAttribute::setDefault", &status)) return status;
  Attribute* attribute = attributeOf(object_);
  if (!attribute) return MS::kInvalidParameter;
  attribute->defaultMatrix = matrix;
  return MS::kSuccess;
}

MObject MFnCompoundAttribute::create(const MString& fullName, const MString& briefName,
                                     MStatus* ReturnStatus) {
  object_ = MObject();
  if (failed("MFnCompoundAttribute::create", ReturnStatus)) return MObject();
  object_ = MObject(newAttribute(fullName, briefName, AttributeKind::kCompound));
  report(ReturnStatus, MS::kSuccess);
  return object_;
}

MStatus MFnCompoundAttribute::addChild(const MObject& child) {
  MStatus status;
  if (failed("MFnCompoundAttribute::addChild", &status)) return status;
  Attribute* parent = attributeOf(object_);
  Attribute* attribute = attributeOf(child);
  if (!parent || !attribute || attribute->parent || attribute->added || parent->added) {
    return MS::kInvalidParameter;
  }
  attribute->parent = parent;
  parent->children.push_back(std::static_pointer_cast<Attribute>(child.shared()));
  return MS::kSuccess;
}

unsigned int MFnCompoundAttribute::numChildren(MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(object_);
  report(ReturnStatus, attribute ? MS::kSuccess : MS::kInvalidParameter);
  return attribute ? static_cast<unsigned int>(attribute->children.size()) : 0;
}

MObject MFnCompoundAttribute::child(unsigned int index, MStatus* ReturnStatus) const {
  const Attribute* attribute = attributeOf(object_);
  const bool ok = attribute && index < attribute->children.size();
  report(ReturnStatus, ok ? MS::kSuccess : MS::kInvalidParameter);
  return ok ? objectOf(attribute->children[index].get()) : MObject();
}

MObject MFnStringData::create(const MString& text, MStatus* ReturnStatus) {
  object_ = MObject();
  if (failed("MFnStringData::create", ReturnStatus)) return MObject();
  auto data = std::make_shared<qv::maya::detail::StringData>();
  data->text = text.asChar();
  object_ = MObject(data);
  report(ReturnStatus, MS::kSuccess);
  return object_;
}

MObject MFnStringData::create(MStatus* ReturnStatus) {
  return create(MString(), ReturnStatus);
}

MString MFnStringData::string(MStatus* ReturnStatus) const {
  auto* data = dynamic_cast<qv::maya::detail::StringData*>(object_.get());
  report(ReturnStatus, data ? MS::kSuccess : MS::kInvalidParameter);
  return data ? data->text.c_str() : "";
}

MStatus MFnStringData::set(const MString& text) {
  auto* data = dynamic_cast<qv::maya::detail::StringData*>(object_.get());
  if (!data) return MS::kInvalidParameter;
  data->text = text.asChar();
  return MS::kSuccess;
}

// MFnDependencyNode, MFnDagNode

namespace {
Node* nodeChecked(const MObject& object, MStatus* ReturnStatus) {
  Node* node = nodeOf(object);
  const bool ok = node && node->alive;
  report(ReturnStatus, ok ? MS::kSuccess : MS::kInvalidParameter);
  return ok ? node : nullptr;
}
}  // namespace

MString MFnDependencyNode::name(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  return node ? node->name.c_str() : "";
}

MString MFnDependencyNode::typeName(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  return node ? node->type->name.c_str() : "";
}

MTypeId MFnDependencyNode::typeId(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  return node ? node->type->id : MTypeId();
}

MPxNode* MFnDependencyNode::userNode(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  return node ? node->user.get() : nullptr;
}

MPlug MFnDependencyNode::findPlug(const MString& attributeName, bool, MStatus* ReturnStatus) const {
  return findPlug(attributeName, ReturnStatus);
}

MPlug MFnDependencyNode::findPlug(const MString& attributeName, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  const Attribute* attribute = node ? node->type->find(attributeName.asChar()) : nullptr;
  if (!attribute) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MPlug();
  }
  return MPlug(object_, objectOf(attribute));
}

MPlug MFnDependencyNode::findPlug(const MObject& attribute, bool, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  const Attribute* found = attributeOf(attribute);
  if (!node || !found || !belongs(*node, *found)) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MPlug();
  }
  return MPlug(object_, attribute);
}

unsigned int MFnDependencyNode::attributeCount(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  return node ? static_cast<unsigned int>(node->type->attributes.size()) : 0;
}

MObject MFnDependencyNode::attribute(unsigned int index, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  if (!node || index >= node->type->attributes.size()) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MObject();
  }
  return objectOf(node->type->attributes[index].get());
}

MObject MFnDependencyNode::attribute(const MString& attributeName, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  const Attribute* found = node ? node->type->find(attributeName.asChar()) : nullptr;
  if (!found) report(ReturnStatus, MS::kInvalidParameter);
  return objectOf(found);
}

bool MFnDependencyNode::hasAttribute(const MString& attributeName, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  return node && node->type->find(attributeName.asChar());
}

unsigned int MFnDagNode::childCount(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  return node ? static_cast<unsigned int>(node->children.size()) : 0;
}

MObject MFnDagNode::child(unsigned int index, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  if (!node || index >= node->children.size()) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MObject();
  }
  return objectOf(node->children[index]);
}

unsigned int MFnDagNode::parentCount(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  return node && node->parent ? 1 : 0;
}

MObject MFnDagNode::parent(unsigned int index, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  if (!node || index != 0 || !node->parent) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MObject();
  }
  return objectOf(node->parent);
}

MString MFnDagNode::fullPathName(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(object_, ReturnStatus);
  std::string path;
  for (; node; node = node->parent) path = "|" + node->name + path;
  return path.c_str();
}

// MPlug, MPlugArray

MStatus MPlugArray::setLength(unsigned int length) {
  plugs_.resize(length);
  return MS::kSuccess;
}

MStatus MPlugArray::append(const MPlug& plug) {
  plugs_.push_back(plug);
  return MS::kSuccess;
}

MStatus MPlugArray::clear() {
  plugs_.clear();
  return MS::kSuccess;
}

MPlug::MPlug(const MObject& node, const MObject& attribute) {
  Node* n = nodeOf(node);
  const Attribute* a = attributeOf(attribute);
  if (n && a && belongs(*n, *a)) {
    node_ = node;
    attribute_ = attribute;
  }
}

namespace {

struct PlugView {
  Node* node;
  const Attribute* attribute;
};

PlugView view(const MObject& node, const MObject& attribute, MStatus* ReturnStatus) {
  Node* n = nodeOf(node);
  const Attribute* a = attributeOf(attribute);
  const bool ok = n && n->alive && a;
  report(ReturnStatus, ok ? MS::kSuccess : MS::kInvalidParameter);
  return ok ? PlugView{n, a} : PlugView{nullptr, nullptr};
}

}  // namespace

bool MPlug::isNull(MStatus* ReturnStatus) const {
  report(ReturnStatus, MS::kSuccess);
  return attribute_.isNull();
}

MObject MPlug::attribute(MStatus* ReturnStatus) const {
  report(ReturnStatus, isNull() ? MS::kFailure : MS::kSuccess);
  return attribute_;
}

MObject MPlug::node(MStatus* ReturnStatus) const {
  report(ReturnStatus, isNull() ? MS::kFailure : MS::kSuccess);
  return node_;
}

MString MPlug::name(MStatus* ReturnStatus) const {
  return partialName(true, false, false, false, false, true, ReturnStatus);
}

MString MPlug::partialName(bool includeNodeName, bool, bool, bool, bool useFullAttributePath,
                           bool useLongNames, MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  if (!plug.node) return "";
  std::string text;
  for (const Attribute* a = plug.attribute; a; a = useFullAttributePath ? a->parent : nullptr) {
    text = (useLongNames ? a->longName : a->shortName) + (text.empty() ? "" : "." + text);
  }
  if (includeNodeName) text = plug.node->name + "." + text;
  return text.c_str();
}

bool MPlug::isChild(MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  return plug.attribute && plug.attribute->parent;
}

bool MPlug::isCompound(MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  return plug.attribute && !plug.attribute->isLeaf();
}

MPlug MPlug::parent(MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  if (!plug.attribute || !plug.attribute->parent) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MPlug();
  }
  return MPlug(node_, objectOf(plug.attribute->parent));
}

unsigned int MPlug::numChildren(MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  return plug.attribute ? static_cast<unsigned int>(plug.attribute->children.size()) : 0;
}

MPlug MPlug::child(unsigned int index, MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  if (!plug.attribute || index >= plug.attribute->children.size()) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MPlug();
  }
  return MPlug(node_, objectOf(plug.attribute->children[index].get()));
}

MPlug MPlug::child(const MObject& attribute, MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  const Attribute* wanted = attributeOf(attribute);
  if (!plug.attribute || !wanted || wanted->parent != plug.attribute) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MPlug();
  }
  return MPlug(node_, attribute);
}

bool MPlug::isConnected(MStatus* ReturnStatus) const {
  MPlugArray plugs;
  return connectedTo(plugs, true, true, ReturnStatus);
}

bool MPlug::connectedTo(MPlugArray& array, bool asDst, bool asSrc, MStatus* ReturnStatus) const {
  array.clear();
  PlugView plug = view(node_, attribute_, ReturnStatus);
  if (!plug.node) return false;
  for (const auto& connection : graph().connections) {
    if (asDst && connection.destination.node == plug.node &&
        connection.destination.attribute == plug.attribute) {
      array.append(MPlug(objectOf(connection.source.node), objectOf(connection.source.attribute)));
    }
    if (asSrc && connection.source.node == plug.node &&
        connection.source.attribute == plug.attribute) {
      array.append(
          MPlug(objectOf(connection.destination.node), objectOf(connection.destination.attribute)));
    }
  }
  return array.length() > 0;
}

namespace {

MStatus readNumber(const MObject& node, const MObject& attribute, double* value) {
  MStatus status;
  PlugView plug = view(node, attribute, &status);
  if (!plug.node || !plug.attribute->isLeaf() || plug.attribute->kind != AttributeKind::kNumeric) {
    return MS::kInvalidParameter;
  }
  graph().evaluate(*plug.node, *plug.attribute);
  *value = graph().number(*plug.node, *plug.attribute);
  return MS::kSuccess;
}

MStatus writeNumber(const MObject& node, const MObject& attribute, double value) {
  MStatus status;
  PlugView plug = view(node, attribute, &status);
  if (!plug.node) return status;
  return graph().setNumbers(*plug.node, *plug.attribute, {value});
}

double numberAsDouble(const MObject& node, const MObject& attribute, MStatus* ReturnStatus) {
  double value = 0.0;
  report(ReturnStatus, readNumber(node, attribute, &value));
  return value;
}

template <typename T>
T numberAs(const MObject& node, const MObject& attribute, MStatus* ReturnStatus) {
  const double value = numberAsDouble(node, attribute, ReturnStatus);
  if constexpr (std::is_same_v<T, double>) {
    return value;
  } else if constexpr (std::is_same_v<T, float>) {
    return toFloat(value);
  } else {
    return toInteger<T>(value);
  }
}

}  // namespace

MDGContext MDGContext::fsNormal;

MStatus MPlug::getValue(float& value, MDGContext&) const {
  MStatus status;
  value = numberAs<float>(node_, attribute_, &status);
  return status;
}
MStatus MPlug::getValue(double& value, MDGContext&) const {
  MStatus status;
  value = numberAs<double>(node_, attribute_, &status);
  return status;
}
MStatus MPlug::getValue(int& value, MDGContext&) const {
  MStatus status;
  value = numberAs<int>(node_, attribute_, &status);
  return status;
}
MStatus MPlug::getValue(short& value, MDGContext&) const {
  MStatus status;
  value = numberAs<short>(node_, attribute_, &status);
  return status;
}
MStatus MPlug::getValue(bool& value, MDGContext&) const {
  MStatus status;
  value = numberAs<double>(node_, attribute_, &status) != 0.0;
  return status;
}
MStatus MPlug::getValue(MString& value, MDGContext&) const {
  MStatus status;
  PlugView plug = view(node_, attribute_, &status);
  if (!plug.node || plug.attribute->kind != AttributeKind::kTyped) return MS::kInvalidParameter;
  graph().evaluate(*plug.node, *plug.attribute);
  value = graph().text(*plug.node, *plug.attribute).c_str();
  return MS::kSuccess;
}

MStatus MPlug::setValue(float value) {
  return writeNumber(node_, attribute_, value);
}
MStatus MPlug::setValue(double value) {
  return writeNumber(node_, attribute_, value);
}
MStatus MPlug::setValue(int value) {
  return writeNumber(node_, attribute_, value);
}
MStatus MPlug::setValue(short value) {
  return writeNumber(node_, attribute_, value);
}
MStatus MPlug::setValue(bool value) {
  return writeNumber(node_, attribute_, value ? 1.0 : 0.0);
}
MStatus MPlug::setValue(const MString& value) {
  MStatus status;
  PlugView plug = view(node_, attribute_, &status);
  if (!plug.node) return status;
  return graph().setText(*plug.node, *plug.attribute, value.asChar());
}

float MPlug::asFloat(MStatus* ReturnStatus) const {
  return numberAs<float>(node_, attribute_, ReturnStatus);
}
double MPlug::asDouble(MStatus* ReturnStatus) const {
  return numberAs<double>(node_, attribute_, ReturnStatus);
}
int MPlug::asInt(MStatus* ReturnStatus) const {
  return numberAs<int>(node_, attribute_, ReturnStatus);
}
short MPlug::asShort(MStatus* ReturnStatus) const {
  return numberAs<short>(node_, attribute_, ReturnStatus);
}
bool MPlug::asBool(MStatus* ReturnStatus) const {
  return numberAs<double>(node_, attribute_, ReturnStatus) != 0.0;
}
MString MPlug::asString(MStatus* ReturnStatus) const {
  MString value;
  report(ReturnStatus, getValue(value));
  return value;
}

bool MPlug::operator==(const MPlug& other) const {
  return node_ == other.node_ && attribute_ == other.attribute_;
}

bool MPlug::operator==(const MObject& attribute) const {
  return !attribute_.isNull() && attribute_ == attribute;
}

// MDataBlock, MDataHandle

namespace {
MDataHandle handleFor(Node* node, const MObject& attribute, const char* function,
                      MStatus* ReturnStatus, bool evaluate) {
  if (failed(function, ReturnStatus)) return MDataHandle();
  const Attribute* found = attributeOf(attribute);
  if (!node || !found || !belongs(*node, *found)) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MDataHandle();
  }
  if (evaluate) graph().evaluate(*node, *found);
  report(ReturnStatus, MS::kSuccess);
  return MDataHandle(node, found);
}
}  // namespace

MDataHandle MDataBlock::inputValue(const MObject& attribute, MStatus* ReturnStatus) {
  return handleFor(node_, attribute, "MDataBlock::inputValue", ReturnStatus, true);
}
MDataHandle MDataBlock::inputValue(const MPlug& plug, MStatus* ReturnStatus) {
  return inputValue(plug.attribute(), ReturnStatus);
}
MDataHandle MDataBlock::outputValue(const MObject& attribute, MStatus* ReturnStatus) {
  return handleFor(node_, attribute, "MDataBlock::outputValue", ReturnStatus, false);
}
MDataHandle MDataBlock::outputValue(const MPlug& plug, MStatus* ReturnStatus) {
  return outputValue(plug.attribute(), ReturnStatus);
}

MStatus MDataBlock::setClean(const MObject& attribute) {
  const Attribute* found = attributeOf(attribute);
  if (!node_ || !found || !belongs(*node_, *found)) return MS::kInvalidParameter;
  node_->dirty.erase(found->root());
  return MS::kSuccess;
}
MStatus MDataBlock::setClean(const MPlug& plug) {
  return setClean(plug.attribute());
}

bool MDataBlock::isClean(const MObject& attribute, MStatus* ReturnStatus) {
  const Attribute* found = attributeOf(attribute);
  const bool ok = node_ && found && belongs(*node_, *found);
  report(ReturnStatus, ok ? MS::kSuccess : MS::kInvalidParameter);
  return ok && !node_->dirty.count(found->root());
}

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
