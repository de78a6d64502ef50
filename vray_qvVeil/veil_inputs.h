// The inputs of qvVeil and how each is read at a shading point.
#pragma once

#include "vraytexture.h"

namespace qv::veil {

// Everything the visibility factor needs besides the shading point itself.
struct VisibilitySettings {
  int passThrough = 0;
  float distanceThreshold = -1.0f;  // -1 switches the distance test off
  int useShadowOcclusion = 0;
  float dilate = -1.0f;
  int samples = 1;
  float softEdge = 0.0f;
  int power = 1;
  int useFacingRatio = 0;
  float angleThreshold = 90.0f;  // degrees
  int premult = 0;
};

// The references the visibility factor reads, shared by the texture and its
// matte output (each holding its own copies).
struct VisibilityInputs {
  VUtils::TextureTransformInterface* placementMatrix = nullptr;
  VUtils::TextureIntInterface* passThrough = nullptr;
  VUtils::TextureFloatInterface* distanceThreshold = nullptr;
  VUtils::TextureIntInterface* useShadowOcclusion = nullptr;
  VUtils::TextureFloatInterface* dilate = nullptr;
  VUtils::TextureIntInterface* samples = nullptr;
  VUtils::TextureFloatInterface* softEdge = nullptr;
  VUtils::TextureIntInterface* power = nullptr;
  VUtils::TextureIntInterface* useFacingRatio = nullptr;
  VUtils::TextureFloatInterface* angleThreshold = nullptr;
  VUtils::TextureIntInterface* labelExclude = nullptr;
  VUtils::TextureIntInterface* premult = nullptr;
};

inline VUtils::AColor readColor(VUtils::TextureInterface* input, const VUtils::VRayContext& rc,
                                const VUtils::AColor& fallback) {
  return input ? input->texColor(rc) : fallback;
}

inline float readFloat(VUtils::TextureFloatInterface* input, const VUtils::VRayContext& rc,
                       float fallback) {
  return input ? input->texFloat(rc) : fallback;
}

inline int readInt(VUtils::TextureIntInterface* input, const VUtils::VRayContext& rc,
                   int fallback) {
  return input ? input->texInt(rc) : fallback;
}

// Reads "passThrough" to "premult" in their fixed order. Every input is read
// whether or not the evaluation then needs it: upstream textures may count on
// being asked once per shading point.
inline VisibilitySettings readSettings(const VisibilityInputs& in, const VUtils::VRayContext& rc) {
  VisibilitySettings s;
  s.passThrough = readInt(in.passThrough, rc, 0);
  s.distanceThreshold = readFloat(in.distanceThreshold, rc, -1.0f);
  s.useShadowOcclusion = readInt(in.useShadowOcclusion, rc, 0);
  s.dilate = readFloat(in.dilate, rc, -1.0f);
  s.samples = readInt(in.samples, rc, 1);
  s.softEdge = readFloat(in.softEdge, rc, 0.0f);
  s.power = readInt(in.power, rc, 1);
  s.useFacingRatio = readInt(in.useFacingRatio, rc, 0);
  s.angleThreshold = readFloat(in.angleThreshold, rc, 90.0f);
  readInt(in.labelExclude, rc, 0);  // has no effect on either output
  s.premult = readInt(in.premult, rc, 0);
  return s;
}

}  // namespace qv::veil
