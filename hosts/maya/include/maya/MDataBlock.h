#pragma once

#include <maya/MArrayDataHandle.h>
#include <maya/MDataHandle.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

namespace qv::maya::detail {
struct BlockAccess;
}  // namespace qv::maya::detail

// The values of one node's attributes, handed to compute.
class MDataBlock {
 public:
  virtual ~MDataBlock();

  // Brings the value up to date first: through a connection, or by compute.
  MDataHandle inputValue(const MPlug& plug, MStatus* ReturnStatus = nullptr);
  MDataHandle inputValue(const MObject& attribute, MStatus* ReturnStatus = nullptr);
  MDataHandle outputValue(const MPlug& plug, MStatus* ReturnStatus = nullptr);
  MDataHandle outputValue(const MObject& attribute, MStatus* ReturnStatus = nullptr);
  // The existing elements of an array of leaves; none for a compound array.
  MArrayDataHandle inputArrayValue(const MPlug& plug, MStatus* ReturnStatus = nullptr);
  MArrayDataHandle inputArrayValue(const MObject& attribute, MStatus* ReturnStatus = nullptr);
  MArrayDataHandle outputArrayValue(const MPlug& plug, MStatus* ReturnStatus = nullptr);
  MArrayDataHandle outputArrayValue(const MObject& attribute, MStatus* ReturnStatus = nullptr);

  MStatus setClean(const MPlug& plug);
  MStatus setClean(const MObject& attribute);
  bool isClean(const MPlug& plug);
  bool isClean(const MObject& attribute, MStatus* ReturnStatus = nullptr);

 private:
  // Only the graph makes blocks, one per compute.
  friend struct qv::maya::detail::BlockAccess;
  explicit MDataBlock(qv::maya::detail::Node* node) : node_(node) {}

  qv::maya::detail::Node* node_;
};
