
#include <maya/MMatrix.h>

#include <cmath>
#include <utility>

const MMatrix MMatrix::identity;

MMatrix MMatrix::inverse() const {
  double a[4][8];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      a[r][c] = matrix[r][c];
      a[r][c + 4] = r == c ? 1.0 : 0.0;
    }
  }
  for (int c = 0; c < 4; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 4; ++r) {
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    }
    if (a[pivot][c] == 0.0) return MMatrix();
    if (pivot != c) std::swap(a[pivot], a[c]);
    const double scale = 1.0 / a[c][c];
    for (double& value : a[c]) value *= scale;
    for (int r = 0; r < 4; ++r) {
      if (r == c || a[r][c] == 0.0) continue;
      const double factor = a[r][c];
      for (int k = 0; k < 8; ++k) a[r][k] -= factor * a[c][k];
    }
  }
  MMatrix result;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) result.matrix[r][c] = a[r][c + 4];
  }
  return result;
}

MMatrix::MMatrix() {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) matrix[r][c] = r == c ? 1.0 : 0.0;
  }
}

MMatrix::MMatrix(const double m[4][4]) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) matrix[r][c] = m[r][c];
  }
}

MMatrix::MMatrix(const float m[4][4]) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) matrix[r][c] = m[r][c];
  }
}

MMatrix::MMatrix(const MMatrix& src) = default;
MMatrix::~MMatrix() = default;
MMatrix& MMatrix::operator=(const MMatrix&) = default;

double MMatrix::operator()(unsigned int row, unsigned int col) const {
  return matrix[row][col];
}

const double* MMatrix::operator[](unsigned int row) const {
  return matrix[row];
}

MMatrix MMatrix::operator*(double scale) const {
  MMatrix result;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) result.matrix[r][c] = matrix[r][c] * scale;
  }
  return result;
}

MMatrix operator*(double scale, const MMatrix& right) {
  return right * scale;
}

MMatrix MMatrix::operator*(const MMatrix& right) const {
  MMatrix result;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += matrix[r][k] * right.matrix[k][c];
      result.matrix[r][c] = sum;
    }
  }
  return result;
}

bool MMatrix::operator==(const MMatrix& other) const {
  return isEquivalent(other, 0.0);
}

bool MMatrix::operator!=(const MMatrix& other) const {
  return !(*this == other);
}

bool MMatrix::isEquivalent(const MMatrix& other, double tolerance) const {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      if (std::fabs(matrix[r][c] - other.matrix[r][c]) > tolerance) return false;
    }
  }
  return true;
}
