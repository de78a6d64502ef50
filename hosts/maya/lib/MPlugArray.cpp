
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>

MStatus MPlugArray::setLength(unsigned int length) {
  plugs_.resize(length);
  return MS::kSuccess;
}

MStatus MPlugArray::append(const MPlug& plug) {
  plugs_.push_back(plug);
  return MS::kSuccess;
}

MStatus MPlugArray::clear() {
  plugs_.clear();
  return MS::kSuccess;
}
