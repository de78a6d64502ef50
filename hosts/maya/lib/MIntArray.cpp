#include <maya/MIntArray.h>

MIntArray::MIntArray() = default;
MIntArray::MIntArray(const MIntArray& other) = default;
MIntArray::MIntArray(const int src[], unsigned int count) : values_(src, src + count) {}
MIntArray::MIntArray(unsigned int initialSize, int initialValue)
    : values_(initialSize, initialValue) {}
MIntArray::~MIntArray() = default;
MIntArray& MIntArray::operator=(const MIntArray& other) = default;
MStatus MIntArray::set(int element, unsigned int index) {
  if (index >= values_.size()) return MS::kFailure;
  values_[index] = element;
  return MS::kSuccess;
}
MStatus MIntArray::setLength(unsigned int length) {
  values_.resize(length);
  return MS::kSuccess;
}
unsigned int MIntArray::length() const {
  return static_cast<unsigned int>(values_.size());
}
MStatus MIntArray::append(int element) {
  values_.push_back(element);
  return MS::kSuccess;
}
MStatus MIntArray::clear() {
  values_.clear();
  return MS::kSuccess;
}
int& MIntArray::operator[](unsigned int index) {
  return values_[index];
}
int MIntArray::operator[](unsigned int index) const {
  return values_[index];
}
