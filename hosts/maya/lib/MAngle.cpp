#include <maya/MAngle.h>

#include <cmath>

namespace {
const double kPi = std::acos(-1.0);
}  // namespace

MAngle::MAngle() : val(0.0), valUnit(kRadians) {}
MAngle::MAngle(const MAngle& src) = default;
MAngle::MAngle(double value, Unit u) : val(value), valUnit(u) {}
MAngle::~MAngle() = default;
MAngle& MAngle::operator=(const MAngle& other) = default;

MAngle::Unit MAngle::unit() const {
  return valUnit;
}

double MAngle::value() const {
  return val;
}

double MAngle::asDegrees() const {
  switch (valUnit) {
    case kRadians:
      return val * 180.0 / kPi;
    case kDegrees:
      return val;
    case kAngMinutes:
      return val / 60.0;
    case kAngSeconds:
      return val / 3600.0;
    case kInvalid:
    case kLast:
      break;
  }
  return 0.0;
}

double MAngle::asRadians() const {
  return valUnit == kRadians ? val : asDegrees() * kPi / 180.0;
}
