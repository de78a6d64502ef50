#include "api_support.h"
#include "graph.h"

#include <maya/MDataBlock.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>
#include <maya/MPxNode.h>

#include <memory>

using qv::maya::detail::Attribute;
using qv::maya::detail::attributeOf;
using qv::maya::detail::failed;
using qv::maya::detail::graph;
using qv::maya::detail::objectOf;

MPxNode::MPxNode() = default;
MPxNode::~MPxNode() = default;
MPxNode::MPxNode(const MPxNode& other) : mpSafe_(other.mpSafe_) {}

MPxNode& MPxNode::operator=(const MPxNode& other) {
  mpSafe_ = other.mpSafe_;
  return *this;
}

MPxNode::Type MPxNode::type() const {
  return kDependNode;
}

void MPxNode::postConstructor() {}

MStatus MPxNode::compute(const MPlug&, MDataBlock&) {
  return MS::kUnknownParameter;
}

MStatus MPxNode::setDependentsDirty(const MPlug&, MPlugArray&) {
  return MS::kSuccess;
}

void MPxNode::setMPSafe(bool flag) {
  mpSafe_ = flag;
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
  type->attributes.push_back(
      std::static_pointer_cast<Attribute>(qv::maya::detail::shared(attribute)));
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
