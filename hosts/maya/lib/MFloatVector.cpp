#include <maya/MFloatVector.h>

#include <algorithm>
#include <cmath>
#include <ostream>

const MFloatVector MFloatVector::zero(0.0f, 0.0f, 0.0f);
const MFloatVector MFloatVector::one(1.0f, 1.0f, 1.0f);
const MFloatVector MFloatVector::xAxis(1.0f, 0.0f, 0.0f);
const MFloatVector MFloatVector::yAxis(0.0f, 1.0f, 0.0f);
const MFloatVector MFloatVector::zAxis(0.0f, 0.0f, 1.0f);
const MFloatVector MFloatVector::xNegAxis(-1.0f, 0.0f, 0.0f);
const MFloatVector MFloatVector::yNegAxis(0.0f, -1.0f, 0.0f);
const MFloatVector MFloatVector::zNegAxis(0.0f, 0.0f, -1.0f);

MFloatVector::MFloatVector(float xx, float yy, float zz) : x(xx), y(yy), z(zz) {}
MFloatVector::MFloatVector(const float f[3]) : x(f[0]), y(f[1]), z(f[2]) {}
MFloatVector::MFloatVector(const double d[3])
    : x(static_cast<float>(d[0])), y(static_cast<float>(d[1])), z(static_cast<float>(d[2])) {}

// Indices past 2 read and write z, as the three-member layout allows.
float MFloatVector::operator()(unsigned int i) const {
  return i == 0 ? x : i == 1 ? y : z;
}
float MFloatVector::operator[](unsigned int i) const {
  return (*this)(i);
}
float& MFloatVector::operator()(unsigned int i) {
  return i == 0 ? x : i == 1 ? y : z;
}
float& MFloatVector::operator[](unsigned int i) {
  return (*this)(i);
}

MFloatVector MFloatVector::operator^(const MFloatVector& r) const {
  return MFloatVector(y * r.z - z * r.y, z * r.x - x * r.z, x * r.y - y * r.x);
}
MFloatVector& MFloatVector::operator/=(float scalar) {
  x /= scalar;
  y /= scalar;
  z /= scalar;
  return *this;
}
MFloatVector MFloatVector::operator/(float scalar) const {
  MFloatVector result(*this);
  return result /= scalar;
}
MFloatVector& MFloatVector::operator*=(float scalar) {
  x *= scalar;
  y *= scalar;
  z *= scalar;
  return *this;
}
MFloatVector MFloatVector::operator*(float scalar) const {
  MFloatVector result(*this);
  return result *= scalar;
}
MFloatVector MFloatVector::operator+(const MFloatVector& other) const {
  MFloatVector result(*this);
  return result += other;
}
MFloatVector& MFloatVector::operator+=(const MFloatVector& other) {
  x += other.x;
  y += other.y;
  z += other.z;
  return *this;
}
MFloatVector MFloatVector::operator-() const {
  return MFloatVector(-x, -y, -z);
}
MFloatVector MFloatVector::operator-(const MFloatVector& other) const {
  MFloatVector result(*this);
  return result -= other;
}
MFloatVector& MFloatVector::operator-=(const MFloatVector& other) {
  x -= other.x;
  y -= other.y;
  z -= other.z;
  return *this;
}
float MFloatVector::operator*(const MFloatVector& other) const {
  return x * other.x + y * other.y + z * other.z;
}
bool MFloatVector::operator==(const MFloatVector& other) const {
  return x == other.x && y == other.y && z == other.z;
}
bool MFloatVector::operator!=(const MFloatVector& other) const {
  return !(*this == other);
}

MStatus MFloatVector::get(float dest[3]) const {
  dest[0] = x;
  dest[1] = y;
  dest[2] = z;
  return MS::kSuccess;
}

float MFloatVector::length() const {
  return std::sqrt(x * x + y * y + z * z);
}

MFloatVector MFloatVector::normal() const {
  MFloatVector result(*this);
  result.normalize();
  return result;
}

MStatus MFloatVector::normalize() {
  const float size = length();
  if (size > 0.0f) *this /= size;
  return MS::kSuccess;
}

float MFloatVector::angle(const MFloatVector& other) const {
  const float lengths = length() * other.length();
  if (lengths == 0.0f) return 0.0f;
  return std::acos(std::clamp(*this * other / lengths, -1.0f, 1.0f));
}

bool MFloatVector::isEquivalent(const MFloatVector& other, float tolerance) const {
  return (*this - other).length() <= tolerance;
}

MFloatVector operator*(int scalar, const MFloatVector& v) {
  return v * static_cast<float>(scalar);
}
MFloatVector operator*(short scalar, const MFloatVector& v) {
  return v * static_cast<float>(scalar);
}
MFloatVector operator*(unsigned int scalar, const MFloatVector& v) {
  return v * static_cast<float>(scalar);
}
MFloatVector operator*(unsigned short scalar, const MFloatVector& v) {
  return v * static_cast<float>(scalar);
}
MFloatVector operator*(float scalar, const MFloatVector& v) {
  return v * scalar;
}
MFloatVector operator*(double scalar, const MFloatVector& v) {
  return v * static_cast<float>(scalar);
}

std::ostream& operator<<(std::ostream& os, const MFloatVector& v) {
  return os << "[" << v.x << ", " << v.y << ", " << v.z << "]";
}
