#include "api_support.h"
#include "graph.h"

#include <maya/MFnDependencyNode.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MPxNode.h>

using qv::maya::detail::Attribute;
using qv::maya::detail::attributeOf;
using qv::maya::detail::belongs;
using qv::maya::detail::Node;
using qv::maya::detail::nodeChecked;
using qv::maya::detail::objectOf;
using qv::maya::detail::report;

QV_FN_CONSTRUCTOR(MFnDependencyNode)

MString MFnDependencyNode::name(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  return node ? node->name.c_str() : "";
}

MString MFnDependencyNode::typeName(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  return node ? node->type->name.c_str() : "";
}

MTypeId MFnDependencyNode::typeId(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  return node ? node->type->id : MTypeId();
}

MPxNode* MFnDependencyNode::userNode(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  return node ? node->user.get() : nullptr;
}

MPlug MFnDependencyNode::findPlug(const MString& attributeName, bool, MStatus* ReturnStatus) const {
  return findPlug(attributeName, ReturnStatus);
}

MPlug MFnDependencyNode::findPlug(const MString& attributeName, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  const Attribute* attribute = node ? node->type->find(attributeName.asChar()) : nullptr;
  if (!attribute) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MPlug();
  }
  return MPlug(qv::maya::detail::held(*this), objectOf(attribute));
}

MPlug MFnDependencyNode::findPlug(const MObject& attribute, MStatus* ReturnStatus) const {
  return findPlug(attribute, false, ReturnStatus);
}

MPlug MFnDependencyNode::findPlug(const MObject& attribute, bool, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  const Attribute* found = attributeOf(attribute);
  if (!node || !found || !belongs(*node, *found)) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MPlug();
  }
  return MPlug(qv::maya::detail::held(*this), attribute);
}

unsigned int MFnDependencyNode::attributeCount(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  return node ? static_cast<unsigned int>(node->type->attributes.size()) : 0;
}

MObject MFnDependencyNode::attribute(unsigned int index, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  if (!node || index >= node->type->attributes.size()) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MObject();
  }
  return objectOf(node->type->attributes[index].get());
}

MObject MFnDependencyNode::attribute(const MString& attributeName, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  const Attribute* found = node ? node->type->find(attributeName.asChar()) : nullptr;
  if (!found) report(ReturnStatus, MS::kInvalidParameter);
  return objectOf(found);
}

bool MFnDependencyNode::hasAttribute(const MString& attributeName, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  return node && node->type->find(attributeName.asChar());
}
