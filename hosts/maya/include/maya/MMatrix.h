#pragma once

// Row-major, row vectors: a point transforms as p * M, translation in row 3.
class MMatrix {
 public:
  MMatrix();
  explicit MMatrix(const double m[4][4]);

  double operator()(unsigned int row, unsigned int col) const { return matrix[row][col]; }
  double& operator()(unsigned int row, unsigned int col) { return matrix[row][col]; }
  const double* operator[](unsigned int row) const { return matrix[row]; }
  double* operator[](unsigned int row) { return matrix[row]; }

  MMatrix operator*(const MMatrix& right) const;
  // Gauss-Jordan with partial pivoting; a singular matrix gives identity.
  MMatrix inverse() const;
  bool operator==(const MMatrix& other) const;
  bool operator!=(const MMatrix& other) const { return !(*this == other); }
  bool isEquivalent(const MMatrix& other, double tolerance = 1e-10) const;

  static const MMatrix identity;

  double matrix[4][4];
};
