#include "api_support.h"
#include "graph.h"

#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>

using qv::maya::detail::Attribute;
using qv::maya::detail::attributeOf;
using qv::maya::detail::belongs;
using qv::maya::detail::failed;
using qv::maya::detail::graph;
using qv::maya::detail::Node;
using qv::maya::detail::report;

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
