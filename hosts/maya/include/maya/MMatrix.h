#pragma once

#include <maya/MStatus.h>
#include <maya/MTypes.h>

#define MMatrix_kTol 1.0e-10

// Row-major, row vectors: a point transforms as p * M, translation in row 3.
class MMatrix {
 public:
  MMatrix();
  MMatrix(const MMatrix& src);
  MMatrix(const double m[4][4]);
  MMatrix(const float m[4][4]);
  ~MMatrix();
  MMatrix& operator=(const MMatrix&);

  double operator()(unsigned int row, unsigned int col) const;
  const double* operator[](unsigned int row) const;

  MMatrix operator*(const MMatrix& right) const;
  MMatrix operator*(double) const;
  bool operator==(const MMatrix& other) const;
  bool operator!=(const MMatrix& other) const;
  // Gauss-Jordan with partial pivoting; a singular matrix gives identity.
  MMatrix inverse() const;
  bool isEquivalent(const MMatrix& other, double tolerance = MMatrix_kTol) const;

  double& operator()(unsigned int row, unsigned int col) { return matrix[row][col]; }
  double* operator[](unsigned int row) { return matrix[row]; }
  friend MMatrix operator*(double, const MMatrix& right);

  double matrix[4][4];
  static const MMatrix identity;
};
