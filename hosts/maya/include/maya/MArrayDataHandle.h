#pragma once

#include <maya/MStatus.h>
#include <maya/MTypes.h>
#include <string.h>

// The elements of an array attribute in a data block. The stand-in's graph
// has no array attributes, so every array handle is empty: plug-ins that
// loop over the elements (lights above all) see none.
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
};
