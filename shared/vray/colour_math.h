// Channel arithmetic shared by the texture libraries.
#pragma once

#include "vraybase.h"

namespace qv::vray {

// Mean of r, g and b; alpha never enters a mean.
inline float mean(const VUtils::AColor& c) {
  return (c.r + c.g + c.b) / 3.0f;
}

inline VUtils::AColor channelMin(const VUtils::AColor& x, const VUtils::AColor& y) {
  return VUtils::AColor(x.r < y.r ? x.r : y.r, x.g < y.g ? x.g : y.g, x.b < y.b ? x.b : y.b,
                        x.a < y.a ? x.a : y.a);
}

inline VUtils::AColor channelMax(const VUtils::AColor& x, const VUtils::AColor& y) {
  return VUtils::AColor(x.r > y.r ? x.r : y.r, x.g > y.g ? x.g : y.g, x.b > y.b ? x.b : y.b,
                        x.a > y.a ? x.a : y.a);
}

}  // namespace qv::vray
