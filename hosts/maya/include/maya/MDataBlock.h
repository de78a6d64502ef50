#pragma once

#include <maya/MDataHandle.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MStatus.h>

class MDataBlock {
 public:
  // Host side: the node whose attribute values the block holds.
  explicit MDataBlock(qv::maya::detail::Node* node) : node_(node) {}

  // Brings the value up to date first: through a connection, or by compute.
  MDataHandle inputValue(const MObject& attribute, MStatus* ReturnStatus = nullptr);
  MDataHandle inputValue(const MPlug& plug, MStatus* ReturnStatus = nullptr);
  MDataHandle outputValue(const MObject& attribute, MStatus* ReturnStatus = nullptr);
  MDataHandle outputValue(const MPlug& plug, MStatus* ReturnStatus = nullptr);

  MStatus setClean(const MObject& attribute);
  MStatus setClean(const MPlug& plug);
  bool isClean(const MObject& attribute, MStatus* ReturnStatus = nullptr);

 private:
  qv::maya::detail::Node* node_;
};
