#include "qvVeil.h"

#include "colour_math.h"
#include "visibility.h"

using VUtils::AColor;
using VUtils::VRayContext;

namespace qv::veil {

namespace {

AColor scale(const AColor& c, float f) {
  return AColor(c.r * f, c.g * f, c.b * f, c.a * f);
}

// An unconnected colour reports the widest range it could be given.
void colorBounds(VUtils::TextureInterface* color, AColor& cmin, AColor& cmax) {
  AColor min1(0.0f, 0.0f, 0.0f, 1.0f), max1 = min1;
  AColor min2(1.0f, 1.0f, 1.0f, 1.0f), max2 = min2;
  if (color) color->texColorBounds(min1, max1);
  if (color) color->texColorBounds(min2, max2);
  cmin = vray::channelMin(min1, min2);
  cmax = vray::channelMax(max1, max2);
}

}  // namespace

void qvVeil::registerParameters(VUtils::VRayParameterListDesc& params) {
  params.addParamTexture("color", -1, nullptr, nullptr);
  params.addParamTextureFloat("mask", -1, nullptr, nullptr);
  params.addParamTexture("colorOffset", -1, nullptr, nullptr);
  params.addParamTextureTransform("placementMatrix", -1, "Camera transformation matrix.", nullptr);
  params.addParamTextureInt("passThrough", -1, nullptr, nullptr);
  params.addParamTextureFloat("distanceThreshold", -1, nullptr, nullptr);
  params.addParamTextureInt("useShadowOcclusion", -1, nullptr, nullptr);
  params.addParamTextureFloat("dilate", -1, nullptr, nullptr);
  params.addParamTextureInt("samples", -1, nullptr, nullptr);
  params.addParamTextureFloat("softEdge", -1, nullptr, nullptr);
  params.addParamTextureInt("power", -1, nullptr, nullptr);
  params.addParamTextureInt("useFacingRatio", -1, nullptr, nullptr);
  params.addParamTextureFloat("angleThreshold", 90.0f, -1, nullptr, nullptr);
  params.addParamTextureInt("labelExclude", -1, nullptr, nullptr);
  params.addParamTextureInt("premult", -1, nullptr, nullptr);
  params.addOutputParamTexture("outColor", "oc", nullptr);
  params.addOutputParamTexture("outMatte", "om", nullptr);
}

qvVeil::qvVeil(PluginDesc* desc) : CachedTexture(desc) {
  VUtils::VRayParameterList& list = paramList();
  list.setParamCache("color", &color_);
  list.setParamCache("mask", &mask_);
  list.setParamCache("colorOffset", &colorOffset_);
  list.setParamCache("placementMatrix", &visibility_.placementMatrix);
  list.setParamCache("passThrough", &visibility_.passThrough);
  list.setParamCache("distanceThreshold", &visibility_.distanceThreshold);
  list.setParamCache("useShadowOcclusion", &visibility_.useShadowOcclusion);
  list.setParamCache("dilate", &visibility_.dilate);
  list.setParamCache("samples", &visibility_.samples);
  list.setParamCache("softEdge", &visibility_.softEdge);
  list.setParamCache("power", &visibility_.power);
  list.setParamCache("useFacingRatio", &visibility_.useFacingRatio);
  list.setParamCache("angleThreshold", &visibility_.angleThreshold);
  list.setParamCache("labelExclude", &visibility_.labelExclude);
  list.setParamCache("premult", &visibility_.premult);
  // "outColor" is the texture's own colour: nothing to bind for it.
  list.setOutputParamCache("outMatte", &outMatte_);
}

void qvVeil::copyInputsToOutputs() {
  outMatte_.color = color_;
  outMatte_.mask = mask_;
  outMatte_.visibility = visibility_;
}

AColor qvVeil::texColor(const VRayContext& rc) {
  AColor cached;
  if (cache_.lookup(rc, cached)) return cached;
  return computeColor(rc);
}

// Kept out of line so that a cache hit pays for nothing it does not use.
QV_NOINLINE AColor qvVeil::computeColor(const VRayContext& rc) {
  float m = readFloat(mask_, rc, 1.0f);
  AColor c = readColor(color_, rc, AColor(0.0f, 0.0f, 0.0f, 0.0f));
  const AColor offset = readColor(colorOffset_, rc, AColor(0.0f, 0.0f, 0.0f, 1.0f));
  c = AColor(c.r + offset.r, c.g + offset.g, c.b + offset.b, c.a + offset.a);
  const VisibilitySettings s = readSettings(visibility_, rc);
  float f = 1.0f;
  if (s.passThrough != 0) {
    f = 0.0f;
    m = 0.0f;
    c = AColor(0.0f, 0.0f, 0.0f, 0.0f);
  }
  if (s.premult != 0) c = scale(c, m);
  f = visibilityFactor(f, visibility_, s, rc);
  const AColor result = scale(c, f);
  cache_.store(rc, result);
  return result;
}

void qvVeil::texColorBounds(AColor& cmin, AColor& cmax) {
  colorBounds(color_, cmin, cmax);
}

VUtils::Vector qvVeil::colorBumpGradient(const VRayContext& rc) {
  return color_ ? color_->colorBumpGradient(rc) : VUtils::Vector(0.0f, 0.0f, 0.0f);
}

AColor OutMatteTex::texColor(const VRayContext& rc) {
  const float m = readFloat(mask, rc, 1.0f);
  readColor(color, rc, AColor());  // read for its side effects only, as the texture does
  const VisibilitySettings s = readSettings(visibility, rc);
  AColor c(m, m, m, m);
  float f = 1.0f;
  if (s.passThrough != 0) {
    f = 0.0f;
    c = AColor(0.0f, 0.0f, 0.0f, 0.0f);
  }
  return scale(c, visibilityFactor(f, visibility, s, rc));
}

void OutMatteTex::texColorBounds(AColor& cmin, AColor& cmax) {
  colorBounds(color, cmin, cmax);
}

}  // namespace qv::veil

QV_VRAY_TEXTURE_LIBRARY(qv::veil::qvVeil)
