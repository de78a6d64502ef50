#include "api_support.h"

#include <maya/MArrayDataHandle.h>
#include <maya/MDataHandle.h>

using qv::maya::detail::report;

MArrayDataHandle::MArrayDataHandle() = default;
MArrayDataHandle::MArrayDataHandle(const MArrayDataHandle& other) = default;
MArrayDataHandle& MArrayDataHandle::operator=(const MArrayDataHandle& other) = default;

MArrayDataHandle::MArrayDataHandle(const MDataHandle&, MStatus* ReturnStatus) {
  report(ReturnStatus, MS::kInvalidParameter);
}

MDataHandle MArrayDataHandle::inputValue(MStatus* ReturnStatus) {
  report(ReturnStatus, MS::kInvalidParameter);
  return MDataHandle();
}
MDataHandle MArrayDataHandle::outputValue(MStatus* ReturnStatus) {
  report(ReturnStatus, MS::kInvalidParameter);
  return MDataHandle();
}
MArrayDataHandle MArrayDataHandle::inputArrayValue(MStatus* ReturnStatus) {
  report(ReturnStatus, MS::kInvalidParameter);
  return MArrayDataHandle();
}
MArrayDataHandle MArrayDataHandle::outputArrayValue(MStatus* ReturnStatus) {
  report(ReturnStatus, MS::kInvalidParameter);
  return MArrayDataHandle();
}
MStatus MArrayDataHandle::next() {
  return MS::kFailure;
}
unsigned int MArrayDataHandle::elementCount(MStatus* ReturnStatus) {
  report(ReturnStatus, MS::kSuccess);
  return 0;
}
unsigned int MArrayDataHandle::elementIndex(MStatus* ReturnStatus) {
  report(ReturnStatus, MS::kFailure);
  return 0;
}
MStatus MArrayDataHandle::jumpToElement(unsigned int) {
  return MS::kInvalidParameter;
}
MStatus MArrayDataHandle::jumpToArrayElement(unsigned int) {
  return MS::kInvalidParameter;
}
MStatus MArrayDataHandle::setClean() {
  return MS::kSuccess;
}
MStatus MArrayDataHandle::setAllClean() {
  return MS::kSuccess;
}
