#pragma once

#include <maya/MIOStreamFwd.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

#include <math.h>

#define MFloatVector_kTol 1.0e-5F

class MFloatVector {
 public:
  MFloatVector() = default;
  MFloatVector(const MFloatVector&) = default;
  MFloatVector(float xx, float yy, float zz = 0.0);
  MFloatVector(const float f[3]);
  MFloatVector(const double d[3]);
  ~MFloatVector() = default;

  MFloatVector& operator=(const MFloatVector& src) = default;
  float operator()(unsigned int i) const;
  float operator[](unsigned int i) const;
  // Cross product.
  MFloatVector operator^(const MFloatVector& right) const;
  MFloatVector& operator/=(float scalar);
  MFloatVector operator/(float scalar) const;
  MFloatVector& operator*=(float scalar);
  MFloatVector operator*(float scalar) const;
  MFloatVector operator+(const MFloatVector& other) const;
  MFloatVector& operator+=(const MFloatVector& other);
  MFloatVector operator-() const;
  MFloatVector operator-(const MFloatVector& other) const;
  MFloatVector& operator-=(const MFloatVector& other);
  // Dot product.
  float operator*(const MFloatVector& other) const;
  bool operator!=(const MFloatVector& other) const;
  bool operator==(const MFloatVector& other) const;
  MStatus get(float[3]) const;
  float length() const;
  // A zero vector stays zero.
  MFloatVector normal() const;
  MStatus normalize();
  float angle(const MFloatVector& other) const;
  bool isEquivalent(const MFloatVector& other, float tolerance = MFloatVector_kTol) const;
  float& operator()(unsigned int i);
  float& operator[](unsigned int i);

  friend MFloatVector operator*(int, const MFloatVector&);
  friend MFloatVector operator*(short, const MFloatVector&);
  friend MFloatVector operator*(unsigned int, const MFloatVector&);
  friend MFloatVector operator*(unsigned short, const MFloatVector&);
  friend MFloatVector operator*(float, const MFloatVector&);
  friend MFloatVector operator*(double, const MFloatVector&);
  friend std::ostream& operator<<(std::ostream& os, const MFloatVector& v);

  static const MFloatVector zero;
  static const MFloatVector one;
  static const MFloatVector xAxis;
  static const MFloatVector yAxis;
  static const MFloatVector zAxis;
  static const MFloatVector xNegAxis;
  static const MFloatVector yNegAxis;
  static const MFloatVector zNegAxis;

  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};
