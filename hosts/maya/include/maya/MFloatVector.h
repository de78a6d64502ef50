#pragma once

class MFloatVector {
 public:
  MFloatVector() = default;
  MFloatVector(float x_, float y_, float z_ = 0.0f) : x(x_), y(y_), z(z_) {}
  explicit MFloatVector(const float v[3]) : x(v[0]), y(v[1]), z(v[2]) {}

  float operator[](unsigned int i) const { return i == 0 ? x : i == 1 ? y : z; }
  float& operator[](unsigned int i) { return i == 0 ? x : i == 1 ? y : z; }
  bool operator==(const MFloatVector& o) const { return x == o.x && y == o.y && z == o.z; }
  bool operator!=(const MFloatVector& o) const { return !(*this == o); }

  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};
