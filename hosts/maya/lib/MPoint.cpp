#include <maya/MMatrix.h>
#include <maya/MPoint.h>

#include <cmath>

const MPoint MPoint::origin;

MPoint::MPoint() : x(0.0), y(0.0), z(0.0), w(1.0) {}
MPoint::MPoint(const MPoint& srcpt) = default;
MPoint::MPoint(double xx, double yy, double zz, double ww) : x(xx), y(yy), z(zz), w(ww) {}
MPoint::MPoint(const double d[4]) : x(d[0]), y(d[1]), z(d[2]), w(d[3]) {}
MPoint::~MPoint() = default;
MPoint& MPoint::operator=(const MPoint& src) = default;

double MPoint::operator[](unsigned int i) const {
  return i == 0 ? x : i == 1 ? y : i == 2 ? z : w;
}
double MPoint::operator()(unsigned int i) const {
  return (*this)[i];
}
double& MPoint::operator[](unsigned int i) {
  return i == 0 ? x : i == 1 ? y : i == 2 ? z : w;
}
double& MPoint::operator()(unsigned int i) {
  return (*this)[i];
}

MPoint MPoint::operator*(const MMatrix& m) const {
  MPoint result;
  for (unsigned int c = 0; c < 4; ++c) {
    result[c] = x * m(0, c) + y * m(1, c) + z * m(2, c) + w * m(3, c);
  }
  return result;
}
MPoint& MPoint::operator*=(const MMatrix& m) {
  return *this = *this * m;
}

bool MPoint::operator==(const MPoint& other) const {
  return isEquivalent(other);
}
bool MPoint::operator!=(const MPoint& other) const {
  return !(*this == other);
}

MPoint& MPoint::cartesianize() {
  if (w != 0.0 && w != 1.0) {
    x /= w;
    y /= w;
    z /= w;
    w = 1.0;
  }
  return *this;
}

double MPoint::distanceTo(const MPoint& other) const {
  MPoint a(*this), b(other);
  a.cartesianize();
  b.cartesianize();
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}

// Compared as cartesian points, each coordinate within the tolerance.
bool MPoint::isEquivalent(const MPoint& other, double tolerance) const {
  MPoint a(*this), b(other);
  a.cartesianize();
  b.cartesianize();
  return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance &&
         std::fabs(a.z - b.z) <= tolerance;
}
