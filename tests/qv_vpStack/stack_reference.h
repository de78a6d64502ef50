// What the layer stack should give, worked out independently of the plug-in:
// the node's compute (masks as they are, only the alpha sum clamped) and the
// shade fragment's function (every mask clamped to [0, 1] first).
#pragma once

#include <array>
#include <random>

namespace qv::vpstack::test {

constexpr int kLayers = 16;

using Rgb = std::array<float, 3>;

struct Layers {
  std::array<Rgb, kLayers> color{};
  std::array<float, kLayers> mask{};
  std::array<bool, kLayers> premultiply{};
  std::array<bool, kLayers> solo{};
};

struct Stacked {
  Rgb color{};
  float alpha = 0.0f;
  Rgb transparency{};
};

inline Rgb times(const Rgb& c, float f) {
  return {c[0] * f, c[1] * f, c[2] * f};
}

inline Rgb plus(const Rgb& a, const Rgb& b) {
  return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}

// The node: factors 1 - mask formed in double and rounded to float, sums in
// float, the alpha summed from layer 0 up; a soloed mask is not clamped.
inline Stacked nodeStack(const Layers& in) {
  std::array<Rgb, kLayers> p = in.color;
  for (int n = 0; n < kLayers; ++n) {
    if (in.premultiply[n]) p[n] = times(p[n], in.mask[n]);
  }
  Stacked out;
  out.color = p[kLayers - 1];
  for (int n = kLayers - 2; n >= 0; --n) {
    out.color = plus(times(out.color, static_cast<float>(1.0 - double{in.mask[n]})), p[n]);
  }
  out.alpha = in.mask[0];
  for (int n = 1; n < kLayers; ++n) out.alpha += in.mask[n];
  out.alpha = out.alpha > 1.0f ? 1.0f : out.alpha < 0.0f ? 0.0f : out.alpha;
  for (int n = 0; n < kLayers; ++n) {
    if (in.solo[n]) {
      out.color = p[n];
      out.alpha = in.mask[n];
    }
  }
  const float t = 1.0f - out.alpha;
  out.transparency = {t, t, t};
  return out;
}

// The fragment: every mask clamped first, the alpha summed from layer 15 down.
inline Stacked fragmentStack(const Layers& in) {
  Layers clamped = in;
  for (float& m : clamped.mask) m = m > 1.0f ? 1.0f : m < 0.0f ? 0.0f : m;
  std::array<Rgb, kLayers> p = clamped.color;
  for (int n = 0; n < kLayers; ++n) {
    if (clamped.premultiply[n]) p[n] = times(p[n], clamped.mask[n]);
  }
  Stacked out;
  out.color = p[kLayers - 1];
  for (int n = kLayers - 2; n >= 0; --n) {
    out.color = plus(times(out.color, 1.0f - clamped.mask[n]), p[n]);
  }
  out.alpha = clamped.mask[kLayers - 1];
  for (int n = kLayers - 2; n >= 0; --n) out.alpha += clamped.mask[n];
  out.alpha = out.alpha > 1.0f ? 1.0f : out.alpha < 0.0f ? 0.0f : out.alpha;
  for (int n = 0; n < kLayers; ++n) {
    if (clamped.solo[n]) {
      out.color = p[n];
      out.alpha = clamped.mask[n];
    }
  }
  const float t = 1.0f - out.alpha;
  out.transparency = {t, t, t};
  return out;
}

// Colours in [-0.25, 1.25], masks in [lowMask, highMask], premultiply on
// half the time and each solo one time in `soloOdds`.
inline Layers randomLayers(std::mt19937& random, float lowMask, float highMask, int soloOdds) {
  std::uniform_real_distribution<float> colour(-0.25f, 1.25f);
  std::uniform_real_distribution<float> mask(lowMask, highMask);
  std::uniform_int_distribution<int> coin(0, 1);
  std::uniform_int_distribution<int> die(1, soloOdds);
  Layers layers;
  for (int n = 0; n < kLayers; ++n) {
    for (float& c : layers.color[n]) c = colour(random);
    layers.mask[n] = mask(random);
    layers.premultiply[n] = coin(random) == 1;
    layers.solo[n] = die(random) == 1;
  }
  return layers;
}

}  // namespace qv::vpstack::test
