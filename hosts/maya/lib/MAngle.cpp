#include <maya/MAngle.h>

#include <cmath>

namespace {
const double kPi = std::acos(-1.0);
}  // namespace

MAngle::MAngle(double value, Unit unit) : value_(value), unit_(unit) {}

double MAngle::asDegrees() const {
  switch (unit_) {
    case kRadians:
      return value_ * 180.0 / kPi;
    case kDegrees:
      return value_;
    case kAngMinutes:
      return value_ / 60.0;
    case kAngSeconds:
      return value_ / 3600.0;
    case kInvalid:
    case kLast:
      break;
  }
  return 0.0;
}

double MAngle::asRadians() const {
  return unit_ == kRadians ? value_ : asDegrees() * kPi / 180.0;
}
