// Parameter and result records of the library's shaders, laid out as the
// host stores them (32-bit ints for integers and booleans, float scalars,
// four-float colours). Shaders read every parameter through the host's
// mi_eval, which answers the connected shader's value where there is one.
#pragma once

#include <cstddef>

#include "shader.h"

namespace qv::mray {

struct ShotWeaveLayer {
  miColor color;
  miScalar mask;
  miColor colorOffset;
  miMatrix placementMatrix;  // row-major; elements 12..14 are the projector position
  miBoolean passThrough;
  miScalar distanceThreshold;
  miBoolean useShadowOcclusion;
  miScalar dilate;
  miInteger samples;
  miScalar softEdge;
  miScalar power;
  miBoolean useFacingRatio;
  miScalar angleThreshold;
  miInteger labelExclude;
  miBoolean premult;
};
static_assert(sizeof(ShotWeaveLayer) == 144, "the host lays a layer out in 144 bytes");
static_assert(offsetof(ShotWeaveLayer, placementMatrix) == 36, "layer layout");
static_assert(offsetof(ShotWeaveLayer, premult) == 140, "layer layout");

// An array parameter: the index of its first element in the host's array
// storage, the element count, then the storage itself.
struct ShotWeaveParams {
  miInteger i_layers;
  miInteger n_layers;
  ShotWeaveLayer layers[1];
};

constexpr int kMaskOutputs = 20;

struct ShotWeaveResult {
  miColor outColor;
  miColor outTransparency;
  miColor outMatte;
  miScalar outAlpha;
  miScalar outMask[kMaskOutputs];  // outMask0 ... outMask19
};
static_assert(sizeof(ShotWeaveResult) == 132, "the host lays the result out in 132 bytes");
static_assert(offsetof(ShotWeaveResult, outMask) == 52, "result layout");

struct ConstParams {
  miColor color;
  miScalar opacity;
  miBoolean alphaOverride;
  miScalar alphaValue;
};

}  // namespace qv::mray
