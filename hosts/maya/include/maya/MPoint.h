#pragma once

#include <maya/MStatus.h>
#include <maya/MTypes.h>

#define MPoint_kTol 1.0e-10

// A point in homogeneous coordinates, w 1 for a cartesian one.
class MPoint {
 public:
  MPoint();
  MPoint(const MPoint& srcpt);
  MPoint(double xx, double yy, double zz = 0.0, double ww = 1.0);
  MPoint(const double d[4]);
  ~MPoint();

  double operator[](unsigned int i) const;
  double operator()(unsigned int i) const;
  MPoint& operator=(const MPoint& src);
  // As a row vector: the matrix's translation is in its last row.
  MPoint operator*(const MMatrix&) const;
  MPoint& operator*=(const MMatrix&);
  bool operator==(const MPoint& other) const;
  bool operator!=(const MPoint& other) const;
  MPoint& cartesianize();
  double distanceTo(const MPoint& other) const;
  bool isEquivalent(const MPoint& other, double tolerance = MPoint_kTol) const;
  double& operator[](unsigned int i);
  double& operator()(unsigned int i);

  static const MPoint origin;

  double x;
  double y;
  double z;
  double w;
};
