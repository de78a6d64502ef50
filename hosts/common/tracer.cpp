#include "tracer.h"

#if QV_HAVE_EMBREE
#include <embree3/rtcore.h>
#endif
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <type_traits>
#include <utility>

#include "input_limits.h"

namespace qv::host {
namespace {

bool finite(const Vec3f& v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

std::string formatCoordinate(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// What every build refuses before tracing: NaN opacities, vertices that are
// not finite or lie beyond kMaxCoordinate (Embree drops such triangles
// silently and aborts on rays that start near them), and indices out of
// range.
bool validate(const std::vector<SceneObject>& objects, std::size_t* triangleCount,
              std::string* error) {
  *triangleCount = 0;
  for (const SceneObject& object : objects) {
    const auto& mesh = object.mesh;
    if (std::isnan(object.opacity)) {
      error->assign(object.name + ": opacity is not a number");
      return false;
    }
    for (std::size_t v = 0; v < mesh.vertices.size(); ++v) {
      const Vec3f& vertex = mesh.vertices[v];
      if (!finite(vertex)) {
        error->assign(object.name + ": vertex " + std::to_string(v) + " is not finite");
        return false;
      }
      for (int axis = 0; axis < 3; ++axis) {
        if (std::fabs(static_cast<double>(vertex[axis])) > kMaxCoordinate) {
          error->assign(object.name + ": vertex " + std::to_string(v) + " has " + "xyz"[axis] +
                        " = " + formatCoordinate(vertex[axis]) + ", beyond the " +
                        formatCoordinate(kMaxCoordinate) + " the ray tracer takes");
          return false;
        }
      }
    }
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
      for (std::uint32_t index : mesh.triangles[t]) {
        if (index >= mesh.vertices.size()) {
          error->assign(object.name + ": triangle " + std::to_string(t) + " uses vertex " +
                        std::to_string(index) + " of only " + std::to_string(mesh.vertices.size()));
          return false;
        }
      }
    }
    *triangleCount += mesh.triangles.size();
  }
  return true;
}

#if QV_HAVE_EMBREE

// Rays start on the surfaces they leave, and their float origins are rounded
// from double; without a margin they would find that surface again, or one
// sharing its edge. The margin grows with the origin's magnitude because the
// rounding does, and it is a length, so it is divided by the direction's
// length to become a ray parameter.
constexpr double kSelfIntersectionEpsilon = 1e-5;

// Crossings of one partly transparent object remembered per ray, to count a
// ray through a shared edge or vertex once. Beyond this many, further
// crossings are counted without that check.
constexpr unsigned kRememberedCrossings = 16;

struct Vec3d {
  double x, y, z;
};

Vec3d toVec3d(const Vec3f& v) {
  return {v[0], v[1], v[2]};
}
Vec3d operator-(const Vec3d& a, const Vec3d& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
double dot(const Vec3d& a, const Vec3d& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3d cross(const Vec3d& a, const Vec3d& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double segmentDistanceSquared(const Vec3d& p, const Vec3d& a, const Vec3d& b) {
  const Vec3d ab = b - a;
  const double len2 = dot(ab, ab);
  double s = len2 > 0.0 ? dot(p - a, ab) / len2 : 0.0;
  s = std::clamp(s, 0.0, 1.0);
  const Vec3d d = p - Vec3d{a.x + s * ab.x, a.y + s * ab.y, a.z + s * ab.z};
  return dot(d, d);
}

// Exact in double, including for degenerate triangles, which have no inside
// and reduce to their edges.
double pointTriangleDistance(const Vec3d& p, const Vec3d& a, const Vec3d& b, const Vec3d& c) {
  const Vec3d n = cross(b - a, c - a);
  const double nn = dot(n, n);
  if (nn > 0.0 && dot(cross(b - a, p - a), n) >= 0.0 && dot(cross(c - b, p - b), n) >= 0.0 &&
      dot(cross(a - c, p - c), n) >= 0.0) {
    return std::fabs(dot(p - a, n)) / std::sqrt(nn);
  }
  const double d2 = std::min({segmentDistanceSquared(p, a, b), segmentDistanceSquared(p, b, c),
                              segmentDistanceSquared(p, c, a)});
  return std::sqrt(d2);
}

// Narrowing a double beyond float's range is undefined; such a value cannot
// be traced anyway.
bool toFloat(double v, float* out) {
  if (!std::isfinite(v) || std::fabs(v) > FLT_MAX) return false;
  *out = static_cast<float>(v);
  return true;
}

// Ray origins and query points as far out as the geometry may lie and a
// little more; Embree asserts beyond about 1.8e18. Nothing there can be hit.
constexpr double kMaxRayCoordinate = 4.0 * kMaxCoordinate;

// NaN fails the comparison, and the limit lies well inside float's range.
bool toRayCoordinate(double v, float* out) {
  static_assert(kMaxRayCoordinate < FLT_MAX, "coordinates within the limit narrow safely");
  if (!(std::fabs(v) <= kMaxRayCoordinate)) return false;
  *out = static_cast<float>(v);
  return true;
}

// Embree takes direction components up to 1.8e18 as well. A longer
// direction is scaled by a power of two, which is exact, and the ray's
// parameters with it.
constexpr double kMaxRayDirection = 1e17;

bool isSkipped(const SurfaceId* skip, unsigned geomID, unsigned primID) {
  return skip != nullptr && skip->object == geomID && skip->triangle == primID;
}

// Embree hands the context given to rtcOccluded1 or rtcIntersect1 to the
// filter, so the per-ray state rides behind it. Each context is a first
// member of the next, all of standard layout, so that a filter may take the
// pointer Embree hands it as whichever context it was given.
struct SkipContext {
  RTCIntersectContext base;
  const SurfaceId* skip = nullptr;
};

struct OcclusionContext {
  SkipContext surface;  // the skip filter reads this part alone
  float transmittance = 1.0f;
  float margin = 0.0f;  // the self-intersection margin as a ray parameter
  unsigned crossingCount = 0;
  struct Crossing {
    unsigned object;
    float t;
  } crossings[kRememberedCrossings];

  // A ray through an edge that two triangles share hits both at the same
  // distance; it still crosses the object's surface only once there.
  bool crossedAlready(unsigned object, float t) {
    for (unsigned i = 0; i < std::min(crossingCount, kRememberedCrossings); ++i) {
      const Crossing& c = crossings[i];
      const float gap = margin + static_cast<float>(kSelfIntersectionEpsilon) * std::max(c.t, t);
      if (c.object == object && std::fabs(c.t - t) <= gap) {
        return true;
      }
    }
    if (crossingCount < kRememberedCrossings) crossings[crossingCount] = {object, t};
    ++crossingCount;
    return false;
  }
};

static_assert(std::is_standard_layout_v<SkipContext> && std::is_standard_layout_v<OcclusionContext>,
              "a context and its first member share their address");

struct PointQueryState {
  const std::vector<SceneObject>* objects;
  Vec3d p;
  double tolerance;
  std::optional<SurfaceId> best;
  double bestDistance = std::numeric_limits<double>::infinity();
};

// The filters ride on the intersection context rather than on the
// geometries, so that each ray carries only the one it needs: none for a ray
// that leaves no surface through a scene of opaque objects (camera rays), a
// bare test of the surface it leaves for other rays there, and the whole
// transparency bookkeeping only where some object is partly transparent.
void occlusionFilter(const RTCFilterFunctionNArguments* args) {
  auto* ctx = reinterpret_cast<OcclusionContext*>(args->context);
  const float opacity = static_cast<const SceneObject*>(args->geometryUserPtr)->opacity;
  for (unsigned i = 0; i < args->N; ++i) {
    if (args->valid[i] == 0) continue;
    const unsigned geomID = RTCHitN_geomID(args->hit, args->N, i);
    const unsigned primID = RTCHitN_primID(args->hit, args->N, i);
    if (isSkipped(ctx->surface.skip, geomID, primID)) {
      args->valid[i] = 0;
      continue;
    }
    if (opacity >= 1.0f) continue;  // accepted: the ray is blocked
    args->valid[i] = 0;             // rejected: traversal goes on behind it
    if (opacity <= 0.0f) continue;
    if (ctx->crossedAlready(geomID, RTCRayN_tfar(args->ray, args->N, i))) continue;
    ctx->transmittance *= 1.0f - opacity;
  }
}

void skipFilter(const RTCFilterFunctionNArguments* args) {
  const auto* ctx = reinterpret_cast<const SkipContext*>(args->context);
  for (unsigned i = 0; i < args->N; ++i) {
    if (args->valid[i] == 0) continue;
    if (isSkipped(ctx->skip, RTCHitN_geomID(args->hit, args->N, i),
                  RTCHitN_primID(args->hit, args->N, i))) {
      args->valid[i] = 0;
    }
  }
}

bool pointQuery(RTCPointQueryFunctionArguments* args) {
  auto* state = static_cast<PointQueryState*>(args->userPtr);
  const TriangleMesh& mesh = (*state->objects)[args->geomID].mesh;
  const auto& tri = mesh.triangles[args->primID];
  const double d =
      pointTriangleDistance(state->p, toVec3d(mesh.vertices[tri[0]]),
                            toVec3d(mesh.vertices[tri[1]]), toVec3d(mesh.vertices[tri[2]]));
  if (d > state->tolerance) return false;
  // Embree's traversal order is not part of the answer: equal distances go to
  // the lowest object and triangle.
  const SurfaceId id{args->geomID, args->primID};
  if (!state->best || d < state->bestDistance ||
      (d == state->bestDistance &&
       std::pair(id.object, id.triangle) < std::pair(state->best->object, state->best->triangle))) {
    state->best = id;
    state->bestDistance = d;
  }
  return false;
}

// Embree reads a ray in three 16-byte blocks (origin and tnear, direction
// and time, tfar and the rest). Written a float at a time, each block would
// make the first read of it wait for four stores to reach the cache; written
// whole, the read takes the stored block at once.
void storeRay(RTCRay* out, const float origin[3], float tnear, const float direction[3],
              float tfar) {
#if defined(__SSE2__) || defined(_M_X64)
  static_assert(offsetof(RTCRay, tnear) == offsetof(RTCRay, org_x) + 12 &&
                    offsetof(RTCRay, time) == offsetof(RTCRay, dir_x) + 12 &&
                    offsetof(RTCRay, flags) == offsetof(RTCRay, tfar) + 12,
                "Embree's ray is three blocks of four words");
  std::uint32_t tfarBits;
  std::memcpy(&tfarBits, &tfar, sizeof tfarBits);
  _mm_storeu_ps(&out->org_x, _mm_setr_ps(origin[0], origin[1], origin[2], tnear));
  _mm_storeu_ps(&out->dir_x, _mm_setr_ps(direction[0], direction[1], direction[2], 0.0f));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&out->tfar),
                   _mm_setr_epi32(static_cast<int>(tfarBits), -1, 0, 0));
#else
  out->org_x = origin[0];
  out->org_y = origin[1];
  out->org_z = origin[2];
  out->tnear = tnear;
  out->dir_x = direction[0];
  out->dir_y = direction[1];
  out->dir_z = direction[2];
  out->time = 0.0f;
  out->tfar = tfar;
  out->mask = ~0u;
  out->id = 0;
  out->flags = 0;
#endif
}

// A ray in Embree's terms; false when nothing along it can be hit. `margin`
// is the self-intersection margin as a ray parameter.
// `directionScale` is what the direction was divided by (a power of two, 1 for any
// direction of sane length): distances along the ray Embree answers are in
// units of the scaled direction.
bool prepareRay(const Ray& in, RTCRay* out, double* margin, double* directionScale) {
  const double dx = in.direction[0], dy = in.direction[1], dz = in.direction[2];
  // Squares of floats cannot overflow a double, so the squared length
  // answers for the length, and nothing waits on the square root to decide.
  const double lengthSquared = dx * dx + dy * dy + dz * dz;
  if (!(lengthSquared > 0.0) || !std::isfinite(lengthSquared)) return false;
  float origin[3];
  if (!toRayCoordinate(in.origin[0], &origin[0]) || !toRayCoordinate(in.origin[1], &origin[1]) ||
      !toRayCoordinate(in.origin[2], &origin[2])) {
    return false;
  }
  *directionScale = 1.0;
  const double longest = std::max({std::fabs(dx), std::fabs(dy), std::fabs(dz)});
  if (longest > kMaxRayDirection) {
    int exponent = 0;
    std::frexp(longest / kMaxRayDirection, &exponent);
    *directionScale = std::ldexp(1.0, exponent);
  }
  if (*directionScale != 1.0) {
    Ray scaled = in;
    for (int k = 0; k < 3; ++k) {
      scaled.direction[k] = static_cast<float>(in.direction[k] / *directionScale);
    }
    scaled.tmin = in.tmin * *directionScale;
    scaled.tmax = in.tmax * *directionScale;
    double unused = 1.0;
    return prepareRay(scaled, out, margin, &unused);
  }
  const double scale =
      std::max({1.0, std::fabs(in.origin[0]), std::fabs(in.origin[1]), std::fabs(in.origin[2])});
  *margin = kSelfIntersectionEpsilon * scale / std::sqrt(lengthSquared);
  const double tnearWide = std::max(in.tmin, *margin);
  float tnear = 0.0f;
  if (std::isnan(in.tmax) || !(tnearWide <= in.tmax) || !toFloat(tnearWide, &tnear)) return false;
  const float tfar =
      in.tmax > FLT_MAX ? std::numeric_limits<float>::infinity() : static_cast<float>(in.tmax);
  if (tnear > tfar) return false;
  storeRay(out, origin, tnear, in.direction, tfar);
  return true;
}

}  // namespace

struct Tracer::Impl {
  RTCDevice device = nullptr;
  RTCScene scene = nullptr;
  std::vector<SceneObject> objects;
  std::size_t triangleCount = 0;
  // No object with triangles lets any light through: an occlusion ray then
  // ends at the first surface it does not skip.
  bool opaque = true;

  std::mutex errorMutex;
  std::string deviceError;

  static void onError(void* userPtr, RTCError, const char* message) {
    auto* impl = static_cast<Impl*>(userPtr);
    const std::lock_guard<std::mutex> lock(impl->errorMutex);
    if (impl->deviceError.empty()) impl->deviceError = message != nullptr ? message : "unknown";
  }

  std::string takeError(const char* fallback) {
    const std::lock_guard<std::mutex> lock(errorMutex);
    std::string message = deviceError.empty() ? fallback : std::move(deviceError);
    deviceError.clear();
    return "Embree: " + message;
  }

  void release() {
    if (scene != nullptr) rtcReleaseScene(scene);
    scene = nullptr;
    objects.clear();
    triangleCount = 0;
  }

  bool addGeometry(unsigned index, std::string* error) {
    const SceneObject& object = objects[index];
    const TriangleMesh& mesh = object.mesh;
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    if (geometry == nullptr) {
      *error = object.name + ": " + takeError("cannot create a geometry");
      return false;
    }
    auto* vertices = static_cast<float*>(
        rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                sizeof(Vec3f), mesh.vertices.size()));
    auto* indices = static_cast<std::uint32_t*>(
        rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                3 * sizeof(std::uint32_t), mesh.triangles.size()));
    if (vertices == nullptr || indices == nullptr) {
      rtcReleaseGeometry(geometry);
      *error = object.name + ": " + takeError("cannot allocate the mesh");
      return false;
    }
    for (const Vec3f& v : mesh.vertices) vertices = std::copy(v.begin(), v.end(), vertices);
    for (const auto& t : mesh.triangles) indices = std::copy(t.begin(), t.end(), indices);
    rtcSetGeometryBuildQuality(geometry, RTC_BUILD_QUALITY_MEDIUM);
    rtcSetGeometryUserData(geometry, const_cast<SceneObject*>(&object));
    rtcCommitGeometry(geometry);
    rtcAttachGeometryByID(scene, geometry, index);
    rtcReleaseGeometry(geometry);
    return true;
  }
};

Tracer::Tracer() : impl_(std::make_unique<Impl>()) {
  // Embree's worker threads would only speed up building, and they are
  // invisible to ThreadSanitizer, which then reports the memory they hand
  // over as races. Queries run on the caller's threads either way.
  impl_->device = rtcNewDevice("threads=1");
  if (impl_->device != nullptr) {
    rtcSetDeviceErrorFunction(impl_->device, &Impl::onError, impl_.get());
  }
}

Tracer::~Tracer() {
  impl_->release();
  if (impl_->device != nullptr) rtcReleaseDevice(impl_->device);
}

bool Tracer::build(std::vector<SceneObject> objects, std::string* error) {
  impl_->release();
  if (impl_->device == nullptr) {
    error->assign("Embree: cannot create a device (error " +
                  std::to_string(static_cast<int>(rtcGetDeviceError(nullptr))) + ")");
    return false;
  }
  if (objects.size() >= RTC_INVALID_GEOMETRY_ID) {
    error->assign("too many objects (" + std::to_string(objects.size()) + ")");
    return false;
  }
  std::size_t triangleCount = 0;
  if (!validate(objects, &triangleCount, error)) return false;

  impl_->takeError("");  // forget errors of earlier builds
  impl_->objects = std::move(objects);
  impl_->scene = rtcNewScene(impl_->device);
  if (impl_->scene == nullptr) {
    *error = impl_->takeError("cannot create a scene");
    impl_->release();
    return false;
  }
  // Medium quality never splits a triangle across leaves, so the occlusion
  // filter meets each triangle at most once per ray.
  rtcSetSceneBuildQuality(impl_->scene, RTC_BUILD_QUALITY_MEDIUM);
  rtcSetSceneFlags(impl_->scene, RTC_SCENE_FLAG_ROBUST | RTC_SCENE_FLAG_CONTEXT_FILTER_FUNCTION);
  impl_->opaque = true;
  for (std::size_t i = 0; i < impl_->objects.size(); ++i) {
    // Objects without triangles leave their ID unused, so IDs stay indices.
    if (impl_->objects[i].mesh.triangles.empty()) continue;
    if (!(impl_->objects[i].opacity >= 1.0f)) impl_->opaque = false;
    if (!impl_->addGeometry(static_cast<unsigned>(i), error)) {
      impl_->release();
      return false;
    }
  }
  rtcCommitScene(impl_->scene);
  if (rtcGetDeviceError(impl_->device) != RTC_ERROR_NONE) {
    *error = impl_->takeError("cannot build the scene");
    impl_->release();
    return false;
  }
  impl_->triangleCount = triangleCount;
  return true;
}

const std::vector<SceneObject>& Tracer::objects() const {
  return impl_->objects;
}

std::size_t Tracer::triangleCount() const {
  return impl_->triangleCount;
}

float Tracer::transmittance(const Ray& ray) const {
  RTCRay r;
  double margin = 0.0, directionScale = 1.0;
  if (impl_->scene == nullptr || !prepareRay(ray, &r, &margin, &directionScale)) return 1.0f;
  OcclusionContext ctx;
  rtcInitIntersectContext(&ctx.surface.base);
  ctx.surface.skip = ray.skip;
  if (!impl_->opaque) {
    ctx.surface.base.filter = occlusionFilter;
    ctx.margin = static_cast<float>(margin);
  } else if (ray.skip != nullptr) {
    ctx.surface.base.filter = skipFilter;
  }
  rtcOccluded1(impl_->scene, &ctx.surface.base, &r);
  // Embree marks an accepted (opaque) hit with a negative tfar.
  return r.tfar < 0.0f ? 0.0f : ctx.transmittance;
}

std::optional<Hit> Tracer::nearest(const Ray& ray, bool withNormal) const {
  RTCRayHit rh;
  double margin = 0.0, directionScale = 1.0;
  if (impl_->scene == nullptr || !prepareRay(ray, &rh.ray, &margin, &directionScale))
    return std::nullopt;
  rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
  rh.hit.primID = RTC_INVALID_GEOMETRY_ID;
  rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
  SkipContext ctx;
  rtcInitIntersectContext(&ctx.base);
  ctx.skip = ray.skip;
  if (ray.skip != nullptr) ctx.base.filter = skipFilter;
  rtcIntersect1(impl_->scene, &ctx.base, &rh);
  if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID) return std::nullopt;

  Hit hit;
  hit.distance = directionScale == 1.0 ? rh.ray.tfar : rh.ray.tfar / directionScale;
  hit.surface = {rh.hit.geomID, rh.hit.primID};
  if (!withNormal) return hit;
  // From the mesh rather than Embree's Ng, whose sign follows Embree's own
  // convention: this one faces the side the vertices wind counterclockwise.
  const TriangleMesh& mesh = impl_->objects[rh.hit.geomID].mesh;
  const auto& tri = mesh.triangles[rh.hit.primID];
  const Vec3d a = toVec3d(mesh.vertices[tri[0]]);
  const Vec3d n = cross(toVec3d(mesh.vertices[tri[1]]) - a, toVec3d(mesh.vertices[tri[2]]) - a);
  const double length = std::sqrt(dot(n, n));
  if (length > 0.0) {
    hit.geometricNormal[0] = static_cast<float>(n.x / length);
    hit.geometricNormal[1] = static_cast<float>(n.y / length);
    hit.geometricNormal[2] = static_cast<float>(n.z / length);
  }
  return hit;
}

std::optional<SurfaceId> Tracer::surfaceAt(const double p[3], double tolerance) const {
  if (impl_->scene == nullptr || !(tolerance >= 0.0)) return std::nullopt;
  RTCPointQuery query;
  if (!toRayCoordinate(p[0], &query.x) || !toRayCoordinate(p[1], &query.y) ||
      !toRayCoordinate(p[2], &query.z)) {
    return std::nullopt;
  }
  // Embree culls with the float-rounded point; a wider radius keeps rounding
  // from losing a candidate, and the exact distance decides.
  const double slack =
      kSelfIntersectionEpsilon * std::max({1.0, std::fabs(p[0]), std::fabs(p[1]), std::fabs(p[2])});
  if (!toFloat(tolerance + slack, &query.radius)) {
    query.radius = std::numeric_limits<float>::infinity();
  }
  query.time = 0.0f;
  PointQueryState state{&impl_->objects, {p[0], p[1], p[2]}, tolerance, std::nullopt};
  RTCPointQueryContext context;
  rtcInitPointQueryContext(&context);
  rtcPointQuery(impl_->scene, &query, &context, pointQuery, &state);
  return state.best;
}

#else  // QV_HAVE_EMBREE

}  // namespace

// Builds without Embree (the Windows one: Debian has no Embree for MinGW)
// hold scenes that need no tracing, those without triangles, where nothing
// is ever hit; a scene with triangles is refused with a message.
struct Tracer::Impl {
  std::vector<SceneObject> objects;
};

Tracer::Tracer() : impl_(std::make_unique<Impl>()) {}

Tracer::~Tracer() = default;

bool Tracer::build(std::vector<SceneObject> objects, std::string* error) {
  impl_->objects.clear();
  std::size_t triangleCount = 0;
  if (!validate(objects, &triangleCount, error)) return false;
  if (triangleCount > 0) {
    error->assign("ray tracing is not available in this build (no Embree)");
    return false;
  }
  impl_->objects = std::move(objects);
  return true;
}

const std::vector<SceneObject>& Tracer::objects() const {
  return impl_->objects;
}

std::size_t Tracer::triangleCount() const {
  return 0;
}

float Tracer::transmittance(const Ray&) const {
  return 1.0f;
}

std::optional<Hit> Tracer::nearest(const Ray&, bool) const {
  return std::nullopt;
}

std::optional<SurfaceId> Tracer::surfaceAt(const double*, double) const {
  return std::nullopt;
}

#endif  // QV_HAVE_EMBREE

std::optional<Hit> Tracer::intersect(const Ray& ray) const {
  return nearest(ray, true);
}

std::optional<Hit> Tracer::nearestSurface(const Ray& ray) const {
  return nearest(ray, false);
}

}  // namespace qv::host
