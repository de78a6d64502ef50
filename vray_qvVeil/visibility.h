// How much of a shading point the projection camera really sees.
#pragma once

#include "veil_inputs.h"

namespace qv::veil {

// Multiplies f (1, or 0 after pass-through) by what the camera at the
// placement transform's origin sees of rc's point: cut to 0 beyond the facing
// angle or the distance, scaled by the light that reaches the camera when
// occlusion is on, and by the dilated soft edge when dilation is on.
float visibilityFactor(float f, const VisibilityInputs& in, const VisibilitySettings& s,
                       const VUtils::VRayContext& rc);

}  // namespace qv::veil
