#include "api_support.h"
#include "graph.h"
#include "numeric_value.h"

#include <maya/MAngle.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>
#include <maya/MString.h>

#include <string>
#include <type_traits>

using qv::maya::detail::Attribute;
using qv::maya::detail::AttributeKind;
using qv::maya::detail::attributeOf;
using qv::maya::detail::belongs;
using qv::maya::detail::graph;
using qv::maya::detail::Node;
using qv::maya::detail::nodeOf;
using qv::maya::detail::objectOf;
using qv::maya::detail::report;
using qv::maya::detail::toFloat;
using qv::maya::detail::toInteger;

MPlug::MPlug() = default;
MPlug::MPlug(const MPlug& in) = default;
MPlug::~MPlug() = default;
MPlug& MPlug::operator=(const MPlug& other) = default;

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
  const Attribute* held = attributeOf(attribute_);
  return held && held->arrayOf ? objectOf(held->arrayOf) : attribute_;
}

MPlug qv::maya::detail::PlugAccess::make(Node* node, const Attribute* attribute) {
  return MPlug(objectOf(node), objectOf(attribute));
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
  if (plug.attribute->arrayOf) text += "[" + std::to_string(plug.attribute->logicalIndex) + "]";
  if (includeNodeName) text = plug.node->name + "." + text;
  return text.c_str();
}

bool MPlug::isChild(MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  return plug.attribute && plug.attribute->parent;
}

bool MPlug::isArray(MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  return plug.attribute && plug.attribute->array;
}

bool MPlug::isElement(MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  return plug.attribute && plug.attribute->arrayOf;
}

unsigned int MPlug::logicalIndex(MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  if (!plug.attribute || !plug.attribute->arrayOf) {
    report(ReturnStatus, MS::kFailure);
    return 0;
  }
  return plug.attribute->logicalIndex;
}

unsigned int MPlug::numElements(MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  if (!plug.attribute || !plug.attribute->array) {
    report(ReturnStatus, MS::kFailure);
    return 0;
  }
  return static_cast<unsigned int>(graph().elementsOf(*plug.node, *plug.attribute).size());
}

unsigned int MPlug::numConnectedElements(MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  if (!plug.attribute || !plug.attribute->array) {
    report(ReturnStatus, MS::kFailure);
    return 0;
  }
  unsigned int count = 0;
  for (const Attribute* element : graph().elementsOf(*plug.node, *plug.attribute)) {
    for (const auto& c : graph().connections) {
      if ((c.source.node == plug.node && c.source.attribute == element) ||
          (c.destination.node == plug.node && c.destination.attribute == element)) {
        ++count;
        break;
      }
    }
  }
  return count;
}

MPlug MPlug::array(MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  if (!plug.attribute || !plug.attribute->arrayOf) {
    report(ReturnStatus, MS::kFailure);
    return MPlug();
  }
  return MPlug(node_, objectOf(plug.attribute->arrayOf));
}

// The plug of the element whether or not it exists yet; it comes to exist
// once connected or given a value.
MPlug MPlug::elementByLogicalIndex(unsigned int logicalIndex, MStatus* ReturnStatus) const {
  PlugView plug = view(node_, attribute_, ReturnStatus);
  const Attribute* element = plug.attribute ? plug.attribute->element(logicalIndex) : nullptr;
  if (!element) {
    report(ReturnStatus, MS::kFailure);
    return MPlug();
  }
  return MPlug(node_, objectOf(element));
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

MPlug MPlug::child(MObject& attribute, MStatus* ReturnStatus) const {
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
  // Maya makes an element it is asked the value of.
  graph().addElement(*plug.node, *plug.attribute);
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
MStatus MPlug::getValue(MInt64& value, MDGContext&) const {
  MStatus status;
  value = numberAs<MInt64>(node_, attribute_, &status);
  return status;
}
MStatus MPlug::getValue(char& value, MDGContext&) const {
  MStatus status;
  value = numberAs<char>(node_, attribute_, &status);
  return status;
}
MStatus MPlug::getValue(MAngle& value, MDGContext&) const {
  MStatus status;
  value = MAngle(numberAs<double>(node_, attribute_, &status), MAngle::kRadians);
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
MStatus MPlug::setValue(MInt64 value) {
  return writeNumber(node_, attribute_, static_cast<double>(value));
}
MStatus MPlug::setValue(char value) {
  return writeNumber(node_, attribute_, value);
}
MStatus MPlug::setValue(MAngle& value) {
  return writeNumber(node_, attribute_, value.asRadians());
}
MStatus MPlug::setValue(const char* value) {
  return setValue(MString(value));
}
MStatus MPlug::setValue(const MString& value) {
  MStatus status;
  PlugView plug = view(node_, attribute_, &status);
  if (!plug.node) return status;
  return graph().setText(*plug.node, *plug.attribute, value.asChar());
}

float MPlug::asFloat(MDGContext&, MStatus* ReturnStatus) const {
  return numberAs<float>(node_, attribute_, ReturnStatus);
}
double MPlug::asDouble(MDGContext&, MStatus* ReturnStatus) const {
  return numberAs<double>(node_, attribute_, ReturnStatus);
}
int MPlug::asInt(MDGContext&, MStatus* ReturnStatus) const {
  return numberAs<int>(node_, attribute_, ReturnStatus);
}
short MPlug::asShort(MDGContext&, MStatus* ReturnStatus) const {
  return numberAs<short>(node_, attribute_, ReturnStatus);
}
bool MPlug::asBool(MDGContext&, MStatus* ReturnStatus) const {
  return numberAs<double>(node_, attribute_, ReturnStatus) != 0.0;
}
MString MPlug::asString(MDGContext&, MStatus* ReturnStatus) const {
  MString value;
  report(ReturnStatus, getValue(value));
  return value;
}

bool MPlug::operator==(const MPlug& other) const {
  return node_ == other.node_ && attribute_ == other.attribute_;
}

bool MPlug::operator==(const MObject& other) const {
  return !attribute_.isNull() && attribute() == other;
}

bool MPlug::operator!=(const MPlug& other) const {
  return !(*this == other);
}

bool MPlug::operator!=(const MObject& other) const {
  return !(*this == other);
}
