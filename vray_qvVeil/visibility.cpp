#include "visibility.h"

#include <climits>
#include <cmath>

using VUtils::Color;
using VUtils::ShadeVec;
using VUtils::TracePoint;
using VUtils::VRayContext;

namespace qv::veil {

namespace {

// Values V-Ray gives meaning to: a shadow-type spawned context, and what the
// host's context extension is told before occlusion rays go out.
constexpr int kSpawnKindShadow = 2;
constexpr int kShadowRayType = 0x10000;
constexpr uint32 kShadowRayFlags = 0x10000;
constexpr int kOcclusionNotice = 0x77915061;

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kTwoPi = 6.283185307179586;

// A visibility factor is a fraction of the point seen. Light that comes back
// stronger than it left, or a negative power, could push it past 1, and
// undefined arithmetic (NaN) would spread into the colour: both end here.
float unitRange(float f) {
  return f > 1.0f ? 1.0f : (f > 0.0f ? f : 0.0f);
}

// The sample indices of iteration i are i and i + 1, so the loop stops one
// short of the largest int rather than overflow.
constexpr int kMaxJitteredRays = INT_MAX - 1;

float mean(const Color& c) {
  return (c.r + c.g + c.b) * 0.33333334f;
}

float length(const ShadeVec& v) {
  return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

// Divides by the length only when that is safe: a vector whose length has
// underflowed relative to its largest component is left as it is.
ShadeVec guardedNormalize(const ShadeVec& v) {
  const float l = length(v);
  const float ax = std::fabs(v.x), ay = std::fabs(v.y), az = std::fabs(v.z);
  const float m = ax > ay ? (ax > az ? ax : az) : (ay > az ? ay : az);
  if (l * 1e18f > m) return ShadeVec(v.x / l, v.y / l, v.z / l);
  return v;
}

// The shading point in the space of the placement transform.
ShadeVec shadingPoint(const VRayContext& rc) {
  const TracePoint& p = rc.rayresult.wpoint;
  const TracePoint offset = rc.frameData ? rc.frameData->frameOffset : TracePoint();
  return ShadeVec(static_cast<float>(p.x + offset.x), static_cast<float>(p.y + offset.y),
                  static_cast<float>(p.z + offset.z));
}

// Rays leave from the hit point as the renderer stores it, in single precision.
TracePoint roundedHitPoint(const VRayContext& rc) {
  const TracePoint& p = rc.rayresult.wpoint;
  return TracePoint(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z));
}

// Angle in degrees between the normal and the unit direction to the camera.
// A normal that is not unit length can push the cosine past 1; it is clamped
// so that such a point counts as facing (or facing away) rather than giving
// an undefined angle.
float angleToCamera(const ShadeVec& n, const ShadeVec& dir) {
  double dot = static_cast<double>(n.x) * dir.x + static_cast<double>(n.y) * dir.y +
               static_cast<double>(n.z) * dir.z;
  float cosA = static_cast<float>(dot);
  cosA = cosA > 1.0f ? 1.0f : (cosA < -1.0f ? -1.0f : cosA);
  return static_cast<float>(static_cast<double>(std::acos(cosA)) * kDegreesPerRadian);
}

struct DiscBasis {
  ShadeVec u, v;
};

// Two unit vectors spanning the plane perpendicular to the normal. A zero
// normal spans no plane; the disc then lies in the xy plane.
DiscBasis discBasis(const ShadeVec& n) {
  ShadeVec u;
  float s;
  if (n.z * n.z + n.x * n.x > n.y * n.y + n.x * n.x) {
    s = std::sqrt(n.z * n.z + n.x * n.x);
    u = ShadeVec(-n.z / s, 0.0f, n.x / s);
  } else {
    s = std::sqrt(n.y * n.y + n.x * n.x);
    u = ShadeVec(n.y / s, -n.x / s, 0.0f);
  }
  ShadeVec v(n.y * u.z - n.z * u.y, n.z * u.x - n.x * u.z, n.x * u.y - n.y * u.x);
  const float lv = length(v);
  if (!(s > 0.0f) || !(lv > 0.0f) || !std::isfinite(lv)) {
    return {ShadeVec(1.0f, 0.0f, 0.0f), ShadeVec(0.0f, 1.0f, 0.0f)};
  }
  v = ShadeVec(v.x / lv, v.y / lv, v.z / lv);
  return {guardedNormalize(u), guardedNormalize(v)};
}

void aimRay(VRayContext& ray, const ShadeVec& dir, const TracePoint& origin) {
  ray.rayparams.viewDir = dir;
  ray.rayparams.tracedRay.dir = dir;
  ray.rayparams.rayOrigin = origin;
  ray.rayparams.tracedRay.p = origin;
}

// Jittered rays toward a disc of radius "dilate" around the camera widen the
// occluded region and soften its edge. Returns the updated factor.
float dilate(float f, const VisibilitySettings& s, const ShadeVec& k, const ShadeVec& p,
             const VRayContext& rc, VRayContext& ray) {
  float acc = 0.0f;
  ray.rayparams.mint = 0.0;
  if (s.samples >= 1) {
    const DiscBasis basis = discBasis(rc.rayresult.normal);
    const TracePoint origin = roundedHitPoint(rc);
    VUtils::VRayRenderSampler* sampler = ray.vray->getSampler();
    const int samples = s.samples < kMaxJitteredRays ? s.samples : kMaxJitteredRays;
    for (int i = 1; i <= samples; ++i) {
      const float u1 = sampler->getSample(ray, i);
      const float u2 = sampler->getSample(ray, i + 1);
      float r = u2;
      if (s.softEdge > 0.0f) r = u2 - (1.0f / static_cast<float>(i)) * u2 * s.softEdge;
      r = r * s.dilate;
      const float theta = static_cast<float>(static_cast<double>(u1) * kTwoPi);
      const float a = r * std::sin(theta);
      const float b = r * std::cos(theta);
      const ShadeVec q(k.x + basis.u.x * a + basis.v.x * b, k.y + basis.u.y * a + basis.v.y * b,
                       k.z + basis.u.z * a + basis.v.z * b);
      aimRay(ray, guardedNormalize(ShadeVec(q.x - p.x, q.y - p.y, q.z - p.z)), origin);
      ray.vray->traceRay(ray);
      float c = 1.0f - mean(ray.mtlresult.color);
      if (s.softEdge > 0.0f) c = c / (static_cast<float>(s.samples) * s.softEdge);
      acc = acc + c;
      if (acc >= 1.0f) break;
    }
  }
  acc = acc > 1.0f ? 1.0f : (acc < 0.0f ? 0.0f : acc);
  f = f * (1.0f - acc);
  // An occluded point stays occluded whatever the power: 0 to the power 0
  // or less would make it fully (or infinitely) visible.
  if (s.softEdge > 0.0f && f > 0.0f) f = unitRange(std::pow(f, static_cast<float>(s.power)));
  return f;
}

// One shadow ray toward the camera decides most points; dilation refines
// what it leaves visible.
float occlusion(float f, const VisibilitySettings& s, const ShadeVec& k, const ShadeVec& p,
                const ShadeVec& dir, float dist, const VRayContext& rc) {
  if (rc.extension) rc.extension->notify(kOcclusionNotice);
  VRayContext* ray =
      rc.newSpawnContext(kSpawnKindShadow, Color(1.0f, 1.0f, 1.0f), kShadowRayType, dir);
  const float len = length(dir);
  // Component by component: a copy of the whole vector went through memory
  // as two floats stored and read back as one wider word, which stalls.
  const float ux = dir.x / len, uy = dir.y / len, uz = dir.z / len;
  ray->rayparams.viewDir.x = ux;
  ray->rayparams.viewDir.y = uy;
  ray->rayparams.viewDir.z = uz;
  ray->rayparams.rayOrigin = roundedHitPoint(rc);
  ray->rayresult.surface = rc.rayresult.surface;
  ray->rayparams.tracedRay.dir.x = ux;
  ray->rayparams.tracedRay.dir.y = uy;
  ray->rayparams.tracedRay.dir.z = uz;
  ray->rayparams.mint = 0.0;
  ray->rayparams.maxt = dist;
  ray->rayparams.rayFlags = kShadowRayFlags;
  ray->vray->traceRay(*ray);
  f = unitRange(f * mean(ray->mtlresult.color));
  if (f > 0.0f && s.dilate > 0.0f) f = dilate(f, s, k, p, rc, *ray);
  ray->releaseContext();
  return f;
}

}  // namespace

float visibilityFactor(float f, const VisibilityInputs& in, const VisibilitySettings& s,
                       const VRayContext& rc) {
  const ShadeVec p = shadingPoint(rc);
  const ShadeVec k = in.placementMatrix ? in.placementMatrix->texTransform(rc).offs : ShadeVec();
  const ShadeVec d(k.x - p.x, k.y - p.y, k.z - p.z);
  const float dist = length(d);
  // A point or camera position that is not finite leaves the distance, and
  // the direction with it, undefined: a test that reads them cannot say the
  // camera sees the point. With every test off the factor stays as it is.
  if (!std::isfinite(dist)) {
    const bool testsReadDistance =
        s.useFacingRatio != 0 || s.distanceThreshold != -1.0f || s.useShadowOcclusion != 0;
    return testsReadDistance ? 0.0f : unitRange(f);
  }
  // A point at the camera position sees the camera from every side, and
  // nothing can stand between the two.
  const bool atCamera = dist == 0.0f;
  const float inv = 1.0f / dist;
  const ShadeVec dir = atCamera ? ShadeVec() : ShadeVec(d.x * inv, d.y * inv, d.z * inv);

  const float angle = atCamera ? 0.0f : angleToCamera(rc.rayresult.normal, dir);
  if (angle > s.angleThreshold && s.useFacingRatio != 0) f = 0.0f;
  if (dist > s.distanceThreshold && s.distanceThreshold != -1.0f) f = 0.0f;
  if (f > 0.0f && s.useShadowOcclusion != 0 && !atCamera) {
    f = occlusion(f, s, k, p, dir, dist, rc);
  }
  return unitRange(f);
}

}  // namespace qv::veil
