#pragma once

class MAngle {
 public:
  enum Unit { kInvalid, kRadians, kDegrees, kAngMinutes, kAngSeconds, kLast };

  MAngle() = default;
  MAngle(double value, Unit unit = kRadians);

  Unit unit() const { return unit_; }
  double value() const { return value_; }
  // An angle of an invalid unit reads as 0.
  double asRadians() const;
  double asDegrees() const;

 private:
  double value_ = 0.0;
  Unit unit_ = kRadians;
};
