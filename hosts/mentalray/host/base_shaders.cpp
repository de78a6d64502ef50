#include "base_shaders.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

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
static_assert(sizeof(TextureProjectionParams) == 92, "laid out as base.mi declares it");

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
  *color = *mi_eval_color(&params->defaultColor);
  const auto* ctx = static_cast<const RenderContext*>(state->user);
  const miTag tag = params->tex;  // textures are never connected
  if (!ctx || !ctx->textures || tag == miNULLTAG || tag > ctx->textures->size()) return miTRUE;
  const image::Picture& painting = (*ctx->textures)[tag - 1];
  if (painting.empty()) return miTRUE;
  const double tanHalfWidth = *mi_eval_scalar(&params->aperture) /
                              (2.0 * static_cast<double>(*mi_eval_scalar(&params->focal)));
  if (!(tanHalfWidth > 0.0) || !std::isfinite(tanHalfWidth)) return miTRUE;
  const double tanHalfHeight = tanHalfWidth * painting.height() / painting.width();

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
  const int column = std::min(static_cast<int>(u * painting.width()), painting.width() - 1);
  const int row = std::min(static_cast<int>(v * painting.height()), painting.height() - 1);
  const std::array<float, 4> texel = painting.texel(column, row);
  *color = miColor{texel[0], texel[1], texel[2], texel[3]};
  return miTRUE;
}

}  // namespace

const Shader* findHostShader(const std::string& name) {
  static const Shader kTextureProjection{"mib_texture_projection", &textureProjection, 1};
  return name == kTextureProjection.name ? &kTextureProjection : nullptr;
}

namespace {

// The word a parameter of the instance starts at, by its declared name.
const ParamDecl* declared(const ShaderInstance& instance, const char* name) {
  for (const ParamDecl& p : instance.decl->params) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

float scalarAt(const ShaderInstance& instance, std::size_t offset) {
  float value;
  std::memcpy(&value, &instance.block[offset / 4], sizeof value);
  return value;
}

// Of the 3x3 part of a row-major 4x4 transform: 0 when it flattens space.
double linearDeterminant(const float* m) {
  const double a = m[0], b = m[1], c = m[2], d = m[4], e = m[5], f = m[6], g = m[8], h = m[9],
               i = m[10];
  return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
}

// A literal lens or placement the projection could only answer with
// nonsense; connected values are the connected shader's business.
std::string checkTextureProjection(const ShaderInstance& instance) {
  const ParamDecl* tex = declared(instance, "tex");
  const ParamDecl* matrix = declared(instance, "placementMatrix");
  if (!tex || tex->kind != ParamKind::Texture || !matrix || matrix->kind != ParamKind::Transform) {
    return "is declared with other parameters than the host's shader has";
  }
  if (instance.block[tex->offset / 4] == 0) return "names no texture (\"tex\" \"NAME\")";
  for (const char* name : {"focal", "aperture"}) {
    const ParamDecl* lens = declared(instance, name);
    if (!lens || lens->kind != ParamKind::Scalar) {
      return "is declared with other parameters than the host's shader has";
    }
    if (mi_is_nonshader_tag(instance.tags[lens->offset / 4]) &&
        !(scalarAt(instance, lens->offset) > 0.0f)) {
      return std::string("\"") + name + "\" must be positive";
    }
  }
  float m[16];
  for (std::size_t i = 0; i < 16; ++i) m[i] = scalarAt(instance, matrix->offset + 4 * i);
  if (linearDeterminant(m) == 0.0) return "\"placementMatrix\" cannot be inverted";
  return "";
}

}  // namespace

std::string checkHostShader(const ShaderInstance& instance) {
  if (instance.decl && instance.decl->name == "mib_texture_projection") {
    return checkTextureProjection(instance);
  }
  return "";
}

}  // namespace qv::mrhost
