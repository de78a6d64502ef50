#include "qvShotWeave.h"

#include "colour_math.h"

using VUtils::AColor;
using VUtils::Vector;
using VUtils::VRayContext;

namespace qv::shotweave {

namespace {

constexpr AColor kUnconnected(0.0f, 0.0f, 0.0f, 1.0f);
// An unconnected colour B must not narrow the bounds: a consumer may feed it later.
constexpr AColor kUnconnectedBoundsB(1.0f, 1.0f, 1.0f, 1.0f);

AColor evaluate(VUtils::TextureInterface* input, const VRayContext& rc, const AColor& fallback) {
  return input ? input->texColor(rc) : fallback;
}

Vector bumpGradient(VUtils::TextureInterface* input, const VRayContext& rc) {
  return input ? input->colorBumpGradient(rc) : Vector(0.0f, 0.0f, 0.0f);
}

// How much of B shows through matte A. Not clamped: a matte beyond [0, 1]
// subtracts or amplifies B.
float coverWeightOfB(const AColor& matteA) {
  return 1.0f - vray::mean(matteA);
}

// Sum of the two mattes' r, g and b; their alphas take no part anywhere.
AColor matteSum(const Inputs& in, const VRayContext& rc, const AColor& fallback) {
  const AColor ma = evaluate(in.matteA, rc, fallback);
  const AColor mb = evaluate(in.matteB, rc, fallback);
  return AColor(ma.r + mb.r, ma.g + mb.g, ma.b + mb.b, 0.0f);
}

float capAtOne(float x) {
  return x > 1.0f ? 1.0f : x;
}
float clampUnit(float x) {
  x = capAtOne(x);
  return x < 0.0f ? 0.0f : x;
}

void colorBounds(const Inputs& in, AColor& cmin, AColor& cmax) {
  AColor minA = kUnconnected, maxA = kUnconnected;
  AColor minB = kUnconnectedBoundsB, maxB = kUnconnectedBoundsB;
  if (in.colorA) in.colorA->texColorBounds(minA, maxA);
  if (in.colorB) in.colorB->texColorBounds(minB, maxB);
  cmin = vray::channelMin(minA, minB);
  cmax = vray::channelMax(maxA, maxB);
}

}  // namespace

void qvShotWeave::registerParameters(VUtils::VRayParameterListDesc& params) {
  params.addParamTexture("color_a", -1, nullptr, nullptr);
  params.addParamTexture("matte_a", -1, nullptr, nullptr);
  params.addParamTexture("color_b", -1, nullptr, nullptr);
  params.addParamTexture("matte_b", -1, nullptr, nullptr);
  params.addOutputParamTextureFloat("outAlpha", nullptr, nullptr);
  params.addOutputParamTexture("outMatte", nullptr, nullptr);
  params.addOutputParamTexture("outTransparency", nullptr, nullptr);
}

qvShotWeave::qvShotWeave(PluginDesc* desc) : CachedTexture(desc) {
  VUtils::VRayParameterList& list = paramList();
  list.setParamCache("color_a", &inputs_.colorA);
  list.setParamCache("matte_a", &inputs_.matteA);
  list.setParamCache("color_b", &inputs_.colorB);
  list.setParamCache("matte_b", &inputs_.matteB);
  list.setOutputParamCache("outAlpha", &outAlpha_);
  list.setOutputParamCache("outMatte", &outMatte_);
  list.setOutputParamCache("outTransparency", &outTransparency_);
}

void qvShotWeave::copyInputsToOutputs() {
  outAlpha_.inputs = inputs_;
  outMatte_.inputs = inputs_;
  outTransparency_.inputs = inputs_;
}

AColor qvShotWeave::texColor(const VRayContext& rc) {
  AColor cached;
  if (cache_.lookup(rc, cached)) return cached;
  return computeColor(rc);
}

// Kept out of line so that a cache hit pays for nothing it does not use.
QV_NOINLINE AColor qvShotWeave::computeColor(const VRayContext& rc) {
  const AColor b = evaluate(inputs_.colorB, rc, kUnconnected);
  const AColor a = evaluate(inputs_.colorA, rc, kUnconnected);
  const float w = coverWeightOfB(evaluate(inputs_.matteA, rc, kUnconnected));
  const AColor result(a.r + w * b.r, a.g + w * b.g, a.b + w * b.b, a.a + w * b.a);
  cache_.store(rc, result);
  return result;
}

void qvShotWeave::texColorBounds(AColor& cmin, AColor& cmax) {
  colorBounds(inputs_, cmin, cmax);
}

Vector qvShotWeave::colorBumpGradient(const VRayContext& rc) {
  const Vector ga = bumpGradient(inputs_.colorA, rc);
  const Vector gb = bumpGradient(inputs_.colorB, rc);
  const float w = coverWeightOfB(evaluate(inputs_.matteA, rc, kUnconnected));
  return Vector(ga.x + w * gb.x, ga.y + w * gb.y, ga.z + w * gb.z);
}

float OutAlphaTex::texFloat(const VRayContext& rc) {
  const AColor s = matteSum(inputs, rc, kUnconnected);
  return (capAtOne(s.r) + capAtOne(s.g) + capAtOne(s.b)) / 3.0f;
}

void OutAlphaTex::texFloatBounds(float& fmin, float& fmax) {
  fmin = 0.0f;
  fmax = 0.0f;
}

AColor OutMatteTex::texColor(const VRayContext& rc) {
  const AColor s = matteSum(inputs, rc, kUnconnected);
  return AColor(capAtOne(s.r), capAtOne(s.g), capAtOne(s.b), 1.0f);
}

void OutMatteTex::texColorBounds(AColor& cmin, AColor& cmax) {
  colorBounds(inputs, cmin, cmax);
}

AColor OutTranspTex::texColor(const VRayContext& rc) {
  // Transparency reads an unconnected matte as fully clear.
  const AColor s = matteSum(inputs, rc, AColor(0.0f, 0.0f, 0.0f, 0.0f));
  return AColor(clampUnit(1.0f - s.r), clampUnit(1.0f - s.g), clampUnit(1.0f - s.b), 1.0f);
}

void OutTranspTex::texColorBounds(AColor& cmin, AColor& cmax) {
  colorBounds(inputs, cmin, cmax);
}

}  // namespace qv::shotweave

QV_VRAY_TEXTURE_LIBRARY(qv::shotweave::qvShotWeave)
