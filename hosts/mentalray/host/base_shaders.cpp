#include "base_shaders.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "mrhost/render_context.h"

namespace qv::mrhost {

namespace {

struct TextureProjectionParams {
  miTag tex;
  miMatrix placementMatrix;
  miScalar focal;
  miScalar aperture;
  miColor defaultColor;
};
static_assert(sizeof(TextureProjectionParams) == 92, "laid out as the scene reader declares it");

// As every shader reads a parameter: from the connected shader's result when
// the host marks it connected.
template <class T>
const T& eval(miState* state, const T& param) {
  const miFunction* shader = state->shader;
  if (shader && shader->ghost_connected == 1 && shader->ghost) {
    const auto address = reinterpret_cast<std::uintptr_t>(&param);
    const auto base = reinterpret_cast<std::uintptr_t>(shader->param);
    if (address >= base && (address - base) / 4 < shader->ghost_size) {
      const miInteger entry = shader->ghost[(address - base) / 4];
      if (entry != 0 && entry != -2) {
        if (const void* value = mi_phen_eval(state, const_cast<T*>(&param))) {
          return *static_cast<const T*>(value);
        }
      }
    }
  }
  return param;
}

struct Vec3 {
  double x, y, z;
};
double dot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

miBoolean textureProjection(void* result, miState* state, void* rawParams) {
  auto* params = static_cast<TextureProjectionParams*>(rawParams);
  auto* color = static_cast<miColor*>(result);
  *color = eval(state, params->defaultColor);
  const auto* ctx = static_cast<const RenderContext*>(state->user);
  const miTag tag = params->tex;  // textures are never connected
  if (!ctx || !ctx->textures || tag == miNULLTAG || tag > ctx->textures->size()) return miTRUE;
  const image::Rgba& painting = (*ctx->textures)[tag - 1];
  if (painting.width <= 0 || painting.height <= 0) return miTRUE;
  const double tanHalfWidth =
      eval(state, params->aperture) / (2.0 * static_cast<double>(eval(state, params->focal)));
  if (!(tanHalfWidth > 0.0) || !std::isfinite(tanHalfWidth)) return miTRUE;
  const double tanHalfHeight = tanHalfWidth * painting.height / painting.width;

  // World = camera * L + position for row vectors, so camera space is the
  // offset times the inverse of L, whose columns are the cross products of
  // L's rows over its determinant.
  const float* m = params->placementMatrix;
  const Vec3 r0{m[0], m[1], m[2]}, r1{m[4], m[5], m[6]}, r2{m[8], m[9], m[10]};
  const Vec3 q{state->point.x - static_cast<double>(m[12]),
               state->point.y - static_cast<double>(m[13]),
               state->point.z - static_cast<double>(m[14])};
  const Vec3 c0 = cross(r1, r2);
  const double det = dot(r0, c0);
  if (det == 0.0) return miTRUE;
  const Vec3 pc{dot(c0, q) / det, dot(cross(r2, r0), q) / det, dot(cross(r0, r1), q) / det};
  if (!(pc.z < 0.0)) return miTRUE;  // behind the camera
  const double u = 0.5 + 0.5 * pc.x / (-pc.z * tanHalfWidth);
  const double v = 0.5 - 0.5 * pc.y / (-pc.z * tanHalfHeight);
  if (!(u >= 0.0 && u <= 1.0 && v >= 0.0 && v <= 1.0)) return miTRUE;
  const int column = std::min(static_cast<int>(u * painting.width), painting.width - 1);
  const int row = std::min(static_cast<int>(v * painting.height), painting.height - 1);
  const float* texel = painting.at(column, row);
  *color = miColor{texel[0], texel[1], texel[2], texel[3]};
  return miTRUE;
}

}  // namespace

const Shader* findHostShader(const std::string& name) {
  static const Shader kTextureProjection{"mib_texture_projection", &textureProjection, 1};
  return name == kTextureProjection.name ? &kTextureProjection : nullptr;
}

}  // namespace qv::mrhost
