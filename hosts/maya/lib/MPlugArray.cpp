
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>

MPlugArray::MPlugArray() = default;
MPlugArray::MPlugArray(const MPlugArray& other) = default;
MPlugArray::MPlugArray(unsigned int initializeSize, const MPlug& initialValue)
    : plugs_(initializeSize, initialValue) {}
MPlugArray::MPlugArray(const MPlug src[], unsigned int count) : plugs_(src, src + count) {}
MPlugArray::~MPlugArray() = default;
MPlugArray& MPlugArray::operator=(const MPlugArray& other) = default;

const MPlug& MPlugArray::operator[](unsigned int index) const {
  return plugs_[index];
}

MPlug& MPlugArray::operator[](unsigned int index) {
  return plugs_[index];
}

unsigned int MPlugArray::length() const {
  return static_cast<unsigned int>(plugs_.size());
}

MStatus MPlugArray::setLength(unsigned int length) {
  plugs_.resize(length);
  return MS::kSuccess;
}

MStatus MPlugArray::append(const MPlug& element) {
  plugs_.push_back(element);
  return MS::kSuccess;
}

MStatus MPlugArray::clear() {
  plugs_.clear();
  return MS::kSuccess;
}
