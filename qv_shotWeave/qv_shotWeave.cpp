// qv_shotWeave: projection layers composited by how much each projector
// really sees of the shading point, the first layer on top.
#include <cmath>
#include <cstdint>

#include "exports.h"
#include "shader_records.h"

namespace qv::mray {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kTwoPi = 6.283185307179586;

miVector sub(const miVector& a, const miVector& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
float dot(const miVector& a, const miVector& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
double dotd(const miVector& a, const miVector& b) {
  return static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
         static_cast<double>(a.z) * b.z;
}
miVector cross(const miVector& a, const miVector& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float length(const miVector& v) {
  return std::sqrt(dot(v, v));
}
// A zero-length vector has no direction to keep; it is left as it is.
miVector normalized(const miVector& v) {
  const float l = length(v);
  return l != 0.0f ? miVector{v.x / l, v.y / l, v.z / l} : v;
}
float clampUnit(float x) {
  return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x);
}

// Two unit vectors perpendicular to a, spanning the disc of soft samples.
void discBasis(const miVector& a, miVector* u, miVector* w) {
  *u = cross(a, miVector{0.643782f, 0.98432f, 0.324632f});
  if (length(*u) < 1e-12f) *u = cross(a, miVector{0.432902f, 0.43223f, 0.908953f});
  *u = normalized(*u);
  *w = normalized(cross(a, *u));
}

// The geometry of one occlusion test: how far the projector is and from
// which distance on a hit counts.
struct OcclusionRay {
  float distance;  // to the projector
  double offset;   // hits nearer than this are the surface itself
};

// Traces the state's ray; the light it loses (the alpha met) when something
// stands between the point and the projector, else 0. A failed trace counts
// as unblocked.
float blockedAlpha(miState* state, const OcclusionRay& ray) {
  miColor t;
  if (!mi_trace_transparent(&t, state) || !state->child) return 0.0f;
  const double hit = state->child->dist;
  const bool blocked = hit != -1.0 && hit <= ray.distance &&
                       static_cast<double>(static_cast<float>(hit)) > ray.offset;
  return blocked ? t.a : 0.0f;
}

// Below the highest vertex of the shaded triangle along the normal, a hit
// belongs to the surface the ray leaves.
double surfaceOffset(miState* state, const miVector& dir) {
  const miVector& n = state->normal;
  const miVector* v[3] = {nullptr, nullptr, nullptr};
  double h;
  if (mi_tri_vectors(state, 'p', 0, &v[0], &v[1], &v[2]) && v[0] && v[1] && v[2]) {
    h = std::fmax(dotd(n, *v[0]), std::fmax(dotd(n, *v[1]), dotd(n, *v[2])));
  } else {
    // Without its triangle, the shading point is the surface's best estimate.
    h = dotd(n, state->point);
  }
  double offset = h - dotd(n, dir);
  mi_ray_offset(state, &offset);
  return offset;
}

// The layer's visibility from the shadow test: the central ray toward the
// projector and, where it passes, soft samples toward a disc around it.
float occlusionVisibility(miState* state, const ShotWeaveLayer& layer, const miVector& projector,
                          const miVector& dir, float distance) {
  const miInteger samples = *mi_eval_integer(&layer.samples);
  const miScalar radius = *mi_eval_scalar(&layer.dilate);
  const miScalar softEdge = *mi_eval_scalar(&layer.softEdge);
  const miScalar power = *mi_eval_scalar(&layer.power);
  float y = 1.0f;
  float z = 0.0f;

  const miVector entryDir = state->dir;
  const miVector entryOrg = state->org;
  const miVector entryPoint = state->point;
  const miVector p = state->point;
  state->dir = dir;
  state->org = p;
  const OcclusionRay ray{distance, surfaceOffset(state, dir)};
  y = 1.0f - blockedAlpha(state, ray);

  if (y == 1.0f && radius > 0.0f) {
    miVector u, w;
    discBasis(normalized(sub(p, projector)), &u, &w);
    double sample[2];
    int instance = 0;
    // A negative count would read as billions of samples to the host.
    const miUint count = samples > 0 ? static_cast<miUint>(samples) : 0u;
    while (mi_sample(sample, &instance, state, 2, &count)) {
      const float rho = static_cast<float>(radius * sample[0]);
      const float theta = static_cast<float>(kTwoPi * sample[1]);
      const float a = rho * std::cos(theta);
      const float b = rho * std::sin(theta);
      const miVector target{projector.x + a * u.x + b * w.x, projector.y + a * u.y + b * w.y,
                            projector.z + a * u.z + b * w.z};
      state->dir = normalized(sub(target, p));
      const float alpha = blockedAlpha(state, ray);
      if (alpha != 0.0f) {
        z += softEdge > 0.0f ? alpha / (static_cast<float>(samples) * softEdge) : alpha;
      }
      state->dir = entryDir;
      state->org = entryOrg;
      if (z >= 1.0f) break;
    }
  }
  state->dir = entryDir;
  state->org = entryOrg;
  state->point = entryPoint;

  float v = y * (1.0f - clampUnit(z));
  // An occluded layer stays occluded whatever the power: 0 to the power 0
  // or less would make it fully (or infinitely) visible.
  if (softEdge > 0.0f && v > 0.0f) v = std::pow(v, power);
  return std::isnan(v) ? 0.0f : clampUnit(v);
}

miInteger shadedObjectLabel(miState* state) {
  miTag item = miNULLTAG;
  miInteger label = 0;
  mi_query(miQ_INST_ITEM, state, state->instance, &item);
  mi_query(miQ_OBJ_LABEL, state, item, &label);
  return label;
}

}  // namespace

}  // namespace qv::mray

using namespace qv::mray;

QV_MI_EXPORT int qv_shotWeave_version() {
  return 22;
}

QV_MI_EXPORT void qv_shotWeave_init(miState*, ShotWeaveParams*, miBoolean*) {}

QV_MI_EXPORT void qv_shotWeave_exit(miState*, ShotWeaveParams*) {}

QV_MI_EXPORT miBoolean qv_shotWeave(ShotWeaveResult* result, miState* state,
                                    ShotWeaveParams* params) {
  if (state->type == miRAY_SHADOW || state->type == miRAY_DISPLACE) return miFALSE;
  const miInteger first = *mi_eval_integer(&params->i_layers);
  const miInteger count = *mi_eval_integer(&params->n_layers);

  float k[3] = {0.0f, 0.0f, 0.0f};
  float alpha = 0.0f;
  float masks[kMaskOutputs] = {};
  // In 64 bits: the host's index of the first layer plus the count may pass
  // the int range. No layer lies before the start of the array storage.
  for (std::int64_t index = std::int64_t{count} - 1; index >= 0; --index) {
    const std::int64_t s = std::int64_t{first} + index;
    if (s < 0) continue;
    const ShotWeaveLayer& layer = params->layers[s];

    float v = 1.0f;
    miColor l = *mi_eval_color(&layer.color);
    const miScalar m = *mi_eval_scalar(&layer.mask);
    const miColor offset = *mi_eval_color(&layer.colorOffset);
    l = {l.r + offset.r, l.g + offset.g, l.b + offset.b, l.a};
    if (*mi_eval_boolean(&layer.premult)) l = {l.r * m, l.g * m, l.b * m, l.a * m};

    const miScalar* matrix = mi_eval_transform(layer.placementMatrix);
    const miVector projector{matrix[12], matrix[13], matrix[14]};
    miVector d = sub(projector, state->point);
    const float distance = length(d);
    if (distance != 0.0f) d = {d.x / distance, d.y / distance, d.z / distance};

    const miInteger labelExclude = *mi_eval_integer(&layer.labelExclude);
    const bool active =
        !(shadedObjectLabel(state) == labelExclude || *mi_eval_boolean(&layer.passThrough));
    if (!active) {
      v = 0.0f;
      l = {0.0f, 0.0f, 0.0f, l.a};
    } else {
      // A projector or point that is not finite leaves the distance and the
      // direction, and with them what a test sees, undefined: each test
      // that reads them cuts the layer, no ray can tell. With every test
      // off the layer shows as it is.
      const bool finite = std::isfinite(distance);
      const miBoolean occlusion = *mi_eval_boolean(&layer.useShadowOcclusion);
      if (occlusion && finite) v = v * occlusionVisibility(state, layer, projector, d, distance);
      if (*mi_eval_boolean(&layer.useFacingRatio) || occlusion) {
        // A normal that is not unit length may push the cosine past 1; it is
        // clamped so that the angle stays defined.
        float cosine = dot(d, state->normal);
        cosine = cosine > 1.0f ? 1.0f : (cosine < -1.0f ? -1.0f : cosine);
        const double angle = std::acos(static_cast<double>(cosine)) * kDegreesPerRadian;
        const miScalar angleThreshold = *mi_eval_scalar(&layer.angleThreshold);
        if (!finite || angle > angleThreshold) v = 0.0f;
      }
      const miScalar threshold = *mi_eval_scalar(&layer.distanceThreshold);
      if (threshold > 0.0f && !(distance <= threshold)) v = 0.0f;
    }
    v = std::isnan(v) ? 0.0f : clampUnit(v);

    const float visibleMask = v * m;
    k[0] = k[0] * (1.0f - visibleMask) + l.r * v;
    k[1] = k[1] * (1.0f - visibleMask) + l.g * v;
    k[2] = k[2] * (1.0f - visibleMask) + l.b * v;
    alpha = clampUnit(alpha + visibleMask);
    if (s >= 0 && s < kMaskOutputs) masks[s] = visibleMask + m;
  }

  for (float& channel : k) channel = channel < 0.0f ? 0.0f : channel;
  result->outColor = {k[0], k[1], k[2], alpha};
  result->outTransparency = {1.0f - alpha, 1.0f - alpha, 1.0f - alpha, 1.0f};
  result->outMatte = {alpha, alpha, alpha, 1.0f};
  result->outAlpha = alpha;
  for (int i = 0; i < kMaskOutputs; ++i) result->outMask[i] = masks[i];
  return miTRUE;
}
