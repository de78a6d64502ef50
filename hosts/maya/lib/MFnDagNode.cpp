#include "api_support.h"
#include "graph.h"

#include <maya/MFnDagNode.h>
#include <maya/MObject.h>

#include <string>

using qv::maya::detail::Node;
using qv::maya::detail::nodeChecked;
using qv::maya::detail::objectOf;
using qv::maya::detail::report;

QV_FN_CONSTRUCTOR(MFnDagNode)

MStatus MFnDagNode::setObject(MObject& object) {
  return setObject(static_cast<const MObject&>(object));
}

MStatus MFnDagNode::setObject(const MObject& object) {
  if (type() == MFn::kCamera && !object.hasFn(MFn::kCamera)) {
    qv::maya::detail::held(*this) = MObject();
    return MS::kInvalidParameter;
  }
  return MFnBase::setObject(object);
}

unsigned int MFnDagNode::childCount(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  return node ? static_cast<unsigned int>(node->children.size()) : 0;
}

MObject MFnDagNode::child(unsigned int index, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  if (!node || index >= node->children.size()) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MObject();
  }
  return objectOf(node->children[index]);
}

unsigned int MFnDagNode::parentCount(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  return node && node->parent ? 1 : 0;
}

MObject MFnDagNode::parent(unsigned int index, MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  if (!node || index != 0 || !node->parent) {
    report(ReturnStatus, MS::kInvalidParameter);
    return MObject();
  }
  return objectOf(node->parent);
}

MString MFnDagNode::fullPathName(MStatus* ReturnStatus) const {
  Node* node = nodeChecked(qv::maya::detail::held(*this), ReturnStatus);
  std::string path;
  for (; node; node = node->parent) path = "|" + node->name + path;
  return path.c_str();
}
