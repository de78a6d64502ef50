#pragma once

#include <maya/MStatus.h>
#include <maya/MTypes.h>

class MAngle {
 public:
  enum Unit { kInvalid, kRadians, kDegrees, kAngMinutes, kAngSeconds, kLast };

  MAngle();
  MAngle(const MAngle& src);
  MAngle(double value, Unit u = kRadians);
  ~MAngle();
  MAngle& operator=(const MAngle& other);

  Unit unit() const;
  double value() const;
  // An angle of an invalid unit reads as 0.
  double asRadians() const;
  double asDegrees() const;

 protected:
  double val;
  Unit valUnit;
};
