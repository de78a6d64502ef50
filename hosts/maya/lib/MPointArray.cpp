#include <maya/MPointArray.h>

MPointArray::MPointArray() = default;
MPointArray::MPointArray(const MPointArray& other) = default;
MPointArray::MPointArray(unsigned int initialSize, const MPoint& initialValue)
    : points_(initialSize, initialValue) {}
MPointArray::~MPointArray() = default;
MPointArray& MPointArray::operator=(const MPointArray& other) = default;
const MPoint& MPointArray::operator[](unsigned int index) const {
  return points_[index];
}
MPoint& MPointArray::operator[](unsigned int index) {
  return points_[index];
}
MStatus MPointArray::set(const MPoint& element, unsigned int index) {
  if (index >= points_.size()) return MS::kFailure;
  points_[index] = element;
  return MS::kSuccess;
}
MStatus MPointArray::setLength(unsigned int length) {
  points_.resize(length);
  return MS::kSuccess;
}
unsigned int MPointArray::length() const {
  return static_cast<unsigned int>(points_.size());
}
MStatus MPointArray::append(const MPoint& element) {
  points_.push_back(element);
  return MS::kSuccess;
}
MStatus MPointArray::append(double x, double y, double z, double w) {
  return append(MPoint(x, y, z, w));
}
MStatus MPointArray::clear() {
  points_.clear();
  return MS::kSuccess;
}
