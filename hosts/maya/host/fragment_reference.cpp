#include "fragment_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>

namespace qv::maya::reference {
namespace {

// The texel index a sampler reads for index i of a row or column of n
// texels, as Vulkan addresses it; false where the border colour shows.
bool address(std::int64_t i, std::int64_t n, gpu::Address mode, std::int64_t* out) {
  switch (mode) {
    case gpu::Address::kWrap:
      *out = ((i % n) + n) % n;
      return true;
    case gpu::Address::kMirror: {
      const std::int64_t m = ((i % (2 * n)) + 2 * n) % (2 * n);
      *out = m < n ? m : 2 * n - 1 - m;
      return true;
    }
    case gpu::Address::kClamp:
      *out = std::clamp<std::int64_t>(i, 0, n - 1);
      return true;
    case gpu::Address::kBorder:
      *out = i;
      return i >= 0 && i < n;
  }
  return false;
}

std::array<float, 4> texel(const image::Picture& image, gpu::Address mode, std::int64_t x,
                           std::int64_t y) {
  std::int64_t column = 0, row = 0;
  if (!address(x, image.width(), mode, &column) || !address(y, image.height(), mode, &row)) {
    return {0.0f, 0.0f, 0.0f, 0.0f};  // the runner's border: transparent black
  }
  return image.texel(static_cast<int>(column), static_cast<int>(row));
}

// Far enough out to stand for any coordinate, and still exact in an int64.
float bounded(float texels) {
  return std::clamp(texels, -1073741824.0f, 1073741824.0f);
}

using Float3 = std::array<float, 3>;
using Float4 = std::array<float, 4>;

// mul(m, v) with m's rows as HLSL has them.
Float4 mul(const float* m, const Float4& v) {
  Float4 r{};
  for (int row = 0; row < 4; ++row) {
    r[row] =
        m[row * 4] * v[0] + m[row * 4 + 1] * v[1] + m[row * 4 + 2] * v[2] + m[row * 4 + 3] * v[3];
  }
  return r;
}

bool flag(const Argument& a) {
  return a.v[0] != 0.0f;
}

Float3 cross(const Float3& a, const Float3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

float dot(const Float3& a, const Float3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

float length(const Float3& v) {
  return std::sqrt(dot(v, v));
}

// The visibility tests of the fragments' camera projection: how much of the
// point the camera sees.
float projectorVisibility(const Argument* a, const float* placement, const Float4& pw,
                          const float* coords, const float* tanHalf) {
  enum {
    kNw = 27,
    kFacing,
    kAngle,
    kDistance,
    kOcclusion,
    kDilate,
    kSoftEdge,
    kPower,
    kBias,
    kShape,
    kMap,
    kSampler
  };
  const Float4 q = mul(placement, pw);
  const Float3 p = {q[0], q[1], q[2]};
  const Float4 x = mul(placement, {1.0f, 0.0f, 0.0f, 0.0f});
  const Float4 y = mul(placement, {0.0f, 1.0f, 0.0f, 0.0f});
  const Float4 z = mul(placement, {0.0f, 0.0f, 1.0f, 0.0f});
  const Float3 c0 = {x[0], x[1], x[2]}, c1 = {y[0], y[1], y[2]}, c2 = {z[0], z[1], z[2]};
  const float determinant = dot(c0, cross(c1, c2));
  const Float3 toCamera = {-dot(cross(c1, c2), p) / determinant,
                           -dot(cross(c2, c0), p) / determinant,
                           -dot(cross(c0, c1), p) / determinant};
  const float distance = length(toCamera);
  float seen = 1.0f;
  if (flag(a[kFacing])) {
    const Float3 n = {a[kNw].v[0], a[kNw].v[1], a[kNw].v[2]};
    const float nLength = length(n);
    float cosAngle = 0.0f;
    for (int c = 0; c < 3; ++c) cosAngle += n[c] / nLength * (toCamera[c] / distance);
    cosAngle = std::clamp(cosAngle, -1.0f, 1.0f);
    if (std::acos(cosAngle) * (180.0f / 3.14159265358979323846f) > a[kAngle].v[0]) seen = 0.0f;
  }
  const float threshold = a[kDistance].v[0];
  if (threshold != -1.0f && distance > threshold) seen = 0.0f;
  const float* shape = a[kShape].v.data();
  if (seen <= 0.0f || !flag(a[kOcclusion]) || shape[0] <= 0.0f) return seen;

  const float depth = -p[2];
  const float tolerance = a[kBias].v[0] * depth;
  const float dilate = a[kDilate].v[0];
  const float reach = dilate * (1.0f / shape[2] - 1.0f / depth);
  const int looks = dilate > 0.0f && reach > 0.0f ? 25 : 1;
  float blocked = 0.0f;
  for (int i = 0; i < looks && seen > 0.0f; ++i) {
    const float angle = static_cast<float>(i - 1) * 2.39996323f;
    const float radius = (static_cast<float>(i) - 0.5f) / 24.0f * reach;
    float offset[2] = {std::cos(angle) * radius, std::sin(angle) * radius};
    if (i == 0) offset[0] = offset[1] = 0.0f;
    const float nearer =
        sample(a[kMap].image, a[kSampler].sampler, coords[0] + 0.5f * offset[0] / tanHalf[0],
               coords[1] + -0.5f * offset[1] / tanHalf[1])[0];
    const float offsetLength = std::sqrt(offset[0] * offset[0] + offset[1] * offset[1]);
    if (depth - nearer > tolerance && offsetLength <= dilate * (1.0f / nearer - 1.0f / depth)) {
      if (i == 0) seen = 0.0f;
      blocked = blocked + 1.0f;
    }
  }
  if (seen > 0.0f && looks > 1) {
    const float softEdge = a[kSoftEdge].v[0];
    if (softEdge <= 0.0f) {
      if (blocked > 0.0f) seen = 0.0f;
    } else {
      seen = seen * (1.0f - std::min(blocked / (24.0f * softEdge), 1.0f));
      seen = seen > 0.0f ? std::pow(seen, a[kPower].v[0]) : 0.0f;
    }
  }
  return seen;
}

Output projectorFragment(const Argument* a) {
  const float kPi = 3.14159265358979323846264f;
  const float kTwoPi = 6.28318530718f;
  enum {
    kUv,
    kMapType,
    kR,
    kG,
    kB,
    kA,
    kPassThrough,
    kInvert,
    kSolidAlpha,
    kPremultiply,
    kTexWidth,
    kTexHeight,
    kResRatio,
    kFitType,
    kColorOffset,
    kFocalLength,
    kAngleOfView,
    kHAperture,
    kVAperture,
    kFlipU,
    kFlipV,
    kPlacement,
    kPm,
    kPw,
    kWorld,
    kFileMap,
    kSampler,
    kNw,
    kUseFacingRatio,
    kAngleThreshold,
    kDistanceThreshold,
    kUseShadowOcclusion,
    kDilate,
    kSoftEdge,
    kPower,
    kOcclusionBias,
    kDepthMapShape,
    kDepthMap,
    kDepthSampler
  };
  // An int parameter arrives as a float; one out of int's range is no map type.
  const float mapCode = a[kMapType].v[0];
  const int mapType = std::fabs(mapCode) < 1e9f ? static_cast<int>(mapCode) : -1;
  const bool flipU = flag(a[kFlipU]), flipV = flag(a[kFlipV]);
  const float* placement = a[kPlacement].v.data();
  const Float4 pw = {a[kPw].v[0], a[kPw].v[1], a[kPw].v[2], 1.0f};

  Float4 color = {0.0f, 0.0f, 0.0f, 0.0f};
  float uv[2] = {a[kUv].v[0] - std::floor(a[kUv].v[0]), a[kUv].v[1] - std::floor(a[kUv].v[1])};
  uv[1] = 1.0f - uv[1];
  float coords[2] = {uv[0], uv[1]};
  bool inFront = true;
  float viewCoords[2] = {0.0f, 0.0f};
  float tanHalf[2] = {1.0f, 1.0f};
  if (mapType == 0) {
    if (flipU) coords[0] = 1.0f - coords[0];
    if (flipV) coords[1] = 1.0f - coords[1];
  } else if (mapType == 1) {
    Float4 p = mul(placement, pw);
    const float length4 = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2] + p[3] * p[3]);
    for (float& c : p) c = c / length4;
    const float longitude = std::atan2(-p[0], -p[2]);
    const float length3 = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    const float latitude = std::acos(std::clamp(-p[1] / length3, -1.0f, 1.0f));
    float s = longitude / kTwoPi;
    float t = latitude / kPi;
    if (flipU) t = 1.0f - t;
    if (flipV) s = 1.0f - s;
    coords[0] = s;
    coords[1] = -t;
  } else if (mapType == 2) {
    const float nearClip = 0.01f;
    const float farClip = 100000000.0f;
    const float fov = a[kAngleOfView].v[0] * (kPi / 180.0f);
    const float projection[16] = {1.0f / std::tan(fov * 0.5f),
                                  0.0f,
                                  0.0f,
                                  0.0f,
                                  0.0f,
                                  1.0f / std::tan(a[kResRatio].v[0] * 0.5f),
                                  0.0f,
                                  0.0f,
                                  0.0f,
                                  0.0f,
                                  -farClip / (farClip - nearClip),
                                  -farClip * nearClip / (farClip - nearClip),
                                  0.0f,
                                  0.0f,
                                  -1.0f,
                                  0.0f};
    const float bias[16] = {0.5f, 0.0f, 0.0f, 0.5f, 0.0f, 0.5f, 0.0f, 0.5f,
                            0.0f, 0.0f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f, 1.0f};
    const Float4 q = mul(bias, mul(projection, mul(placement, pw)));
    coords[0] = q[0] / q[3];
    coords[1] = 1.0f - q[1] / q[3];
    if (flipU) coords[1] = 1.0f - coords[1];
    if (flipV) coords[0] = 1.0f - coords[0];
    inFront = q[3] > 0.0f;
    viewCoords[0] = q[0] / q[3];
    viewCoords[1] = 1.0f - q[1] / q[3];
    tanHalf[0] = std::tan(fov * 0.5f);
    tanHalf[1] = std::tan(a[kResRatio].v[0] * 0.5f);
  }

  const Float4 sampled = sample(a[kFileMap].image, a[kSampler].sampler, coords[0], coords[1]);
  if (mapType >= 0 && mapType <= 2) {
    if (inFront) {
      color = sampled;
      for (int channel = 0; channel < 4; ++channel) {
        if (!flag(a[kR + channel])) color[channel] = 0.0f;
      }
      if (flag(a[kPremultiply])) {
        const float alpha = color[3];
        for (float& c : color) c = c * alpha;
      }
      if (mapType == 2) {
        const float seen = projectorVisibility(a, placement, pw, viewCoords, tanHalf);
        if (flag(a[kPremultiply])) {
          for (float& c : color) c = c * seen;
        } else {
          color[3] = color[3] * seen;
        }
      }
    }
    if (flag(a[kInvert])) {
      for (float& c : color) c = 1.0f - c;
    }
  }
  if (flag(a[kSolidAlpha])) color[3] = 1.0f;
  if (flag(a[kPassThrough])) color = {0.0f, 0.0f, 0.0f, 0.0f};

  Output result;
  for (int i = 0; i < 3; ++i) {
    result.outColor[i] = color[i] + a[kColorOffset].v[i];
    result.outTransparency[i] = 1.0f - color[3];
  }
  result.outAlpha = color[3];
  return result;
}

constexpr int kLayers = 16;

Output stackFragment(const Argument* a) {
  // Arguments: color0..15, mask0..15, premultiply0..15, solo0..15.
  Float3 colors[kLayers];
  float masks[kLayers];
  for (int i = 0; i < kLayers; ++i) {
    colors[i] = {a[i].v[0], a[i].v[1], a[i].v[2]};
    masks[i] = a[kLayers + i].v[0];
  }
  for (int i = 0; i < kLayers; ++i) {
    if (masks[i] > 1.0f) masks[i] = 1.0f;
    if (masks[i] < 0.0f) masks[i] = 0.0f;
    if (flag(a[2 * kLayers + i])) {
      for (float& c : colors[i]) c = c * masks[i];
    }
  }
  Float3 color = colors[kLayers - 1];
  for (int j = kLayers - 2; j >= 0; --j) {
    for (int c = 0; c < 3; ++c) color[c] = color[c] * (1.0f - masks[j]) + colors[j][c];
  }
  float mask = masks[kLayers - 1];
  for (int k = kLayers - 2; k >= 0; --k) mask = mask + masks[k];
  if (mask > 1.0f) mask = 1.0f;
  if (mask < 0.0f) mask = 0.0f;
  for (int s = 0; s < kLayers; ++s) {
    if (flag(a[3 * kLayers + s])) {
      color = colors[s];
      mask = masks[s];
    }
  }
  Output result;
  result.outColor = color;
  result.outTransparency = {1.0f - mask, 1.0f - mask, 1.0f - mask};
  result.outAlpha = mask;
  return result;
}

std::vector<std::string> projectorTypes() {
  std::vector<std::string> types = {"float2", "int"};
  types.insert(types.end(), 8, "bool");
  types.insert(types.end(), {"int",    "int",    "float",    "int",      "float3",  "float",
                             "float",  "float",  "float",    "bool",     "bool",    "float4x4",
                             "float3", "float3", "float4x4", "texture2", "sampler", "float3",
                             "bool",   "float",  "float",    "bool",     "float",   "float",
                             "float",  "float",  "float3",   "texture2", "sampler"});
  return types;
}

std::vector<std::string> stackTypes() {
  std::vector<std::string> types(kLayers, "float3");
  types.insert(types.end(), kLayers, "float");
  types.insert(types.end(), 2 * kLayers, "bool");
  return types;
}

}  // namespace

std::array<float, 4> sample(const image::Picture* image, const gpu::Sampler& sampler, float s,
                            float t) {
  if (!image || image->empty() || !std::isfinite(s) || !std::isfinite(t)) {
    return {0.0f, 0.0f, 0.0f, 0.0f};
  }
  const float u = bounded(s * static_cast<float>(image->width()));
  const float v = bounded(t * static_cast<float>(image->height()));
  if (sampler.filter == gpu::Filter::kNearest) {
    return texel(*image, sampler.address, static_cast<std::int64_t>(std::floor(u)),
                 static_cast<std::int64_t>(std::floor(v)));
  }
  const float x = u - 0.5f, y = v - 0.5f;
  const float x0 = std::floor(x), y0 = std::floor(y);
  const float fx = x - x0, fy = y - y0;
  const auto i = static_cast<std::int64_t>(x0), j = static_cast<std::int64_t>(y0);
  const Float4 t00 = texel(*image, sampler.address, i, j);
  const Float4 t10 = texel(*image, sampler.address, i + 1, j);
  const Float4 t01 = texel(*image, sampler.address, i, j + 1);
  const Float4 t11 = texel(*image, sampler.address, i + 1, j + 1);
  Float4 result{};
  for (int c = 0; c < 4; ++c) {
    const float top = t00[c] + (t10[c] - t00[c]) * fx;
    const float bottom = t01[c] + (t11[c] - t01[c]) * fx;
    result[c] = top + (bottom - top) * fy;
  }
  return result;
}

bool outputMember(const std::string& name, int* offset, int* size) {
  if (name == "outColor" || name == "outTransparency") {
    *offset = name == "outColor" ? 0 : 3;
    *size = 3;
    return true;
  }
  if (name == "outAlpha") {
    *offset = 6;
    *size = 1;
    return true;
  }
  return false;
}

void flatten(const Output& output, float* floats) {
  std::copy(output.outColor.begin(), output.outColor.end(), floats);
  std::copy(output.outTransparency.begin(), output.outTransparency.end(), floats + 3);
  floats[6] = output.outAlpha;
}

namespace {

// A deque keeps what find() handed out where it is as others are added.
std::deque<Reference>& references() {
  static std::deque<Reference> all = {
      {"qv_vpProjectorFragment", projectorTypes(), projectorFragment},
      {"qv_vpStackFragment", stackTypes(), stackFragment}};
  return all;
}

}  // namespace

const Reference* find(const std::string& function) {
  const std::deque<Reference>& all = references();
  // The latest of a function's name wins.
  for (auto reference = all.rbegin(); reference != all.rend(); ++reference) {
    if (function == reference->function) return &*reference;
  }
  return nullptr;
}

void add(const Reference& reference) {
  references().push_back(reference);
}

}  // namespace qv::maya::reference
