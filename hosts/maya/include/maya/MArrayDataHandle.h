#pragma once

#include <maya/MDataHandle.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>
#include <string.h>

#include <vector>

// The elements of an array attribute in a data block, in logical-index
// order: those that exist (connected or set) when the handle is made. A
// compound array has none in the stand-in, so plug-ins that loop over light
// data see none.
class MArrayDataHandle {
 public:
  MArrayDataHandle(const MDataHandle& in, MStatus* ReturnStatus = nullptr);
  MDataHandle inputValue(MStatus* ReturnStatus = nullptr);
  MDataHandle outputValue(MStatus* ReturnStatus = nullptr);
  MArrayDataHandle inputArrayValue(MStatus* ReturnStatus = nullptr);
  MArrayDataHandle outputArrayValue(MStatus* ReturnStatus = nullptr);
  MStatus next();
  unsigned int elementCount(MStatus* ReturnStatus = nullptr);
  unsigned int elementIndex(MStatus* ReturnStatus = nullptr);
  MStatus jumpToElement(unsigned int index);
  MStatus jumpToArrayElement(unsigned int position);
  MStatus setClean();
  MStatus setAllClean();
  MArrayDataHandle(const MArrayDataHandle& other);
  MArrayDataHandle& operator=(const MArrayDataHandle& other);

 private:
  friend class MDataBlock;
  MArrayDataHandle();
  MArrayDataHandle(qv::maya::detail::Node* node, const qv::maya::detail::Attribute* array,
                   bool input);

  qv::maya::detail::Node* node_ = nullptr;
  const qv::maya::detail::Attribute* array_ = nullptr;
  std::vector<unsigned int> indices_;
  unsigned int position_ = 0;
};
