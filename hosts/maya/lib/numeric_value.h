// What a numeric attribute of each type can hold, and the conversions from
// the double every number is kept as. A double outside an integer type's
// range (NaN above all) has no defined conversion to it in C++, and values
// reach the graph from scene files, plug-in code and connections between
// attributes of different types, so every conversion goes through here.
#pragma once

#include <maya/MFnNumericData.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

namespace qv::maya::detail {

// The range of an integer (or boolean) type, false for a floating-point one.
inline bool integerRange(MFnNumericData::Type type, double* low, double* high) {
  switch (type) {
    case MFnNumericData::kBoolean:
      *low = 0.0;
      *high = 1.0;
      return true;
    case MFnNumericData::kByte:
      *low = 0.0;
      *high = 255.0;
      return true;
    case MFnNumericData::kChar:
      *low = -128.0;
      *high = 127.0;
      return true;
    case MFnNumericData::kShort:
      *low = std::numeric_limits<short>::min();
      *high = std::numeric_limits<short>::max();
      return true;
    case MFnNumericData::kLong:
      *low = std::numeric_limits<int>::min();
      *high = std::numeric_limits<int>::max();
      return true;
    default:
      return false;
  }
}

// The name setAttr's messages give a scalar type.
inline const char* scalarTypeName(MFnNumericData::Type type) {
  switch (type) {
    case MFnNumericData::kBoolean:
      return "bool";
    case MFnNumericData::kByte:
      return "byte";
    case MFnNumericData::kChar:
      return "char";
    case MFnNumericData::kShort:
      return "short";
    case MFnNumericData::kLong:
      return "long";
    case MFnNumericData::kFloat:
      return "float";
    default:
      return "double";
  }
}

// An integer of type Int for any double: truncated toward zero, held to
// Int's range, NaN as 0.
template <typename Int>
Int toInteger(double value) {
  if (std::isnan(value)) return 0;
  constexpr double low = static_cast<double>(std::numeric_limits<Int>::min());
  constexpr double high = static_cast<double>(std::numeric_limits<Int>::max());
  // For a 64-bit Int, high rounds up to 2^63, which no Int holds.
  if (value <= low) return std::numeric_limits<Int>::min();
  if (value >= high) return std::numeric_limits<Int>::max();
  return static_cast<Int>(value);
}

// A float for any double: finite values beyond float's range become its
// largest magnitude instead of an undefined conversion.
inline float toFloat(double value) {
  if (std::isfinite(value) && std::fabs(value) > FLT_MAX) {
    return value > 0 ? FLT_MAX : -FLT_MAX;
  }
  return static_cast<float>(value);
}

// A value as an attribute of the scalar type stores it: integers truncated
// and held to their range, booleans 0 or 1, floats rounded to float.
inline double storedValue(MFnNumericData::Type type, double value) {
  double low = 0.0, high = 0.0;
  if (type == MFnNumericData::kBoolean) return !std::isnan(value) && value != 0.0 ? 1.0 : 0.0;
  if (integerRange(type, &low, &high)) {
    if (std::isnan(value)) return 0.0;
    return std::trunc(std::fmin(high, std::fmax(low, value)));
  }
  if (type == MFnNumericData::kFloat) return toFloat(value);
  return value;
}

// Why `value` does not fit an attribute of the scalar type, or "" when it
// does: integers must be finite and within the type's range once truncated,
// a float's finite values within float's range. NaN and infinity are
// floating-point values like any other.
std::string misfit(MFnNumericData::Type type, double value);

}  // namespace qv::maya::detail
