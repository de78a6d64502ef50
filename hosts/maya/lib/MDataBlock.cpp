#include "api_support.h"
#include "graph.h"

#include <maya/MArrayDataHandle.h>
#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>

using qv::maya::detail::Attribute;
using qv::maya::detail::attributeOf;
using qv::maya::detail::belongs;
using qv::maya::detail::failed;
using qv::maya::detail::graph;
using qv::maya::detail::loadSlot;
using qv::maya::detail::Node;
using qv::maya::detail::report;
using qv::maya::detail::storeSlot;

MDataBlock qv::maya::detail::BlockAccess::make(Node* node) {
  return MDataBlock(node);
}

namespace {

const Attribute* attributeIn(Node* node, const MObject& attribute) {
  const Attribute* found = attributeOf(attribute);
  return node && found && belongs(*node, *found) ? found : nullptr;
}

}  // namespace

MDataBlock::~MDataBlock() = default;

MDataHandle MDataBlock::inputValue(const MObject& attribute, MStatus* ReturnStatus) {
  if (failed("MDataBlock::inputValue", ReturnStatus)) return MDataHandle();
  const Attribute* found = attributeIn(node_, attribute);
  report(ReturnStatus, found ? MS::kSuccess : MS::kInvalidParameter);
  if (!found) return MDataHandle();
  graph().evaluate(*node_, *found);
  loadSlot(*node_, *found);
  return MDataHandle(node_, found);
}
MDataHandle MDataBlock::inputValue(const MPlug& plug, MStatus* ReturnStatus) {
  return inputValue(qv::maya::detail::PlugAccess::attribute(plug), ReturnStatus);
}
MDataHandle MDataBlock::outputValue(const MObject& attribute, MStatus* ReturnStatus) {
  if (failed("MDataBlock::outputValue", ReturnStatus)) return MDataHandle();
  const Attribute* found = attributeIn(node_, attribute);
  report(ReturnStatus, found ? MS::kSuccess : MS::kInvalidParameter);
  if (!found) return MDataHandle();
  loadSlot(*node_, *found);
  return MDataHandle(node_, found);
}
MDataHandle MDataBlock::outputValue(const MPlug& plug, MStatus* ReturnStatus) {
  return outputValue(qv::maya::detail::PlugAccess::attribute(plug), ReturnStatus);
}

// An array of leaves hands out its existing elements; a compound array
// (a node's light list, say) has none here, which is no failure; any other
// attribute is one.
MArrayDataHandle MDataBlock::inputArrayValue(const MObject& attribute, MStatus* ReturnStatus) {
  const Attribute* found = attributeIn(node_, attribute);
  report(ReturnStatus, found && found->array ? MS::kSuccess : MS::kInvalidParameter);
  if (!found || !found->hasElements()) return MArrayDataHandle();
  return MArrayDataHandle(node_, found, true);
}
MArrayDataHandle MDataBlock::inputArrayValue(const MPlug& plug, MStatus* ReturnStatus) {
  return inputArrayValue(plug.attribute(), ReturnStatus);
}
MArrayDataHandle MDataBlock::outputArrayValue(const MObject& attribute, MStatus* ReturnStatus) {
  const Attribute* found = attributeIn(node_, attribute);
  report(ReturnStatus, found && found->array ? MS::kSuccess : MS::kInvalidParameter);
  if (!found || !found->hasElements()) return MArrayDataHandle();
  return MArrayDataHandle(node_, found, false);
}
MArrayDataHandle MDataBlock::outputArrayValue(const MPlug& plug, MStatus* ReturnStatus) {
  return outputArrayValue(plug.attribute(), ReturnStatus);
}

MStatus MDataBlock::setClean(const MObject& attribute) {
  const Attribute* found = attributeIn(node_, attribute);
  if (!found) return MS::kInvalidParameter;
  auto slot = node_->block.find(found);
  if (slot != node_->block.end()) storeSlot(*node_, *found, slot->second);
  node_->dirty.erase(found->root());
  return MS::kSuccess;
}
MStatus MDataBlock::setClean(const MPlug& plug) {
  return setClean(plug.attribute());
}

bool MDataBlock::isClean(const MObject& attribute, MStatus* ReturnStatus) {
  const Attribute* found = attributeIn(node_, attribute);
  report(ReturnStatus, found ? MS::kSuccess : MS::kInvalidParameter);
  return found && !node_->dirty.count(found->root());
}
bool MDataBlock::isClean(const MPlug& plug) {
  return isClean(plug.attribute());
}
