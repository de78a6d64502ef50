// The host functions a shader library resolves by name in the host module.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "hash_mix.h"
#include "mrhost/render_context.h"

#if defined(_WIN32)
#define MI_HOST_EXPORT extern "C" __declspec(dllexport)
#else
#define MI_HOST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using qv::host::mixBits;
using qv::mrhost::RenderContext;

RenderContext* contextOf(const miState* state) {
  return state ? static_cast<RenderContext*>(state->user) : nullptr;
}

const qv::host::SceneObject* objectOfTag(const RenderContext* ctx, miTag tag) {
  if (!ctx || !ctx->tracer || tag == miNULLTAG) return nullptr;
  const auto& objects = ctx->tracer->objects();
  return tag <= objects.size() ? &objects[tag - 1] : nullptr;
}

// A per-point rotation of a stratified sequence: samples spread evenly over
// the unit square for every point, and the same point always gets the same.
// A shader asks for all its samples at one point in a row, so the point's
// seed is kept between calls.
std::uint64_t pointSeed(RenderContext* ctx, const miVector& p) {
  std::uint32_t bits[3];
  std::memcpy(bits, &p, sizeof bits);
  if (ctx && ctx->hasSampleSeed && std::memcmp(bits, ctx->sampleKey, sizeof bits) == 0) {
    return ctx->sampleSeed;
  }
  const std::uint64_t seed =
      mixBits(mixBits(mixBits(bits[0] + 0x9e3779b97f4a7c15ULL) ^ bits[1]) ^ bits[2]);
  if (ctx) {
    std::memcpy(ctx->sampleKey, bits, sizeof bits);
    ctx->sampleSeed = seed;
    ctx->hasSampleSeed = true;
  }
  return seed;
}

double rotation(std::uint64_t seed, miUint dimension) {
  return static_cast<double>(mixBits(seed ^ dimension) >> 11) * (1.0 / 9007199254740992.0);
}

// Shaders ask for a few dozen samples a point, so the first of each base's
// values are worked out once.
template <unsigned Base>
double radicalInverse(unsigned index) {
  const auto compute = [](unsigned i) {
    double result = 0.0, scale = 1.0 / Base;
    for (; i > 0; i /= Base, scale /= Base) result += (i % Base) * scale;
    return result;
  };
  static const std::array<double, 256> kFirst = [&] {
    std::array<double, 256> values{};
    for (unsigned i = 0; i < values.size(); ++i) values[i] = compute(i);
    return values;
  }();
  return index < kFirst.size() ? kFirst[index] : compute(index);
}

double radicalInverse(miUint dimension, unsigned index) {
  switch ((dimension - 1) % 5) {
    case 0:
      return radicalInverse<3>(index);
    case 1:
      return radicalInverse<5>(index);
    case 2:
      return radicalInverse<7>(index);
    case 3:
      return radicalInverse<11>(index);
    default:
      return radicalInverse<13>(index);
  }
}

// A shader traces many rays from one state, and each trace copies it into
// the child. Assigning the record compiles to a string move whose start-up
// costs more than the copy itself; copied in blocks it stays in registers.
void copyState(miState* to, const miState& from) {
  constexpr std::size_t kBlock = 32;
  static_assert(sizeof(miState) % kBlock == 0, "the state copies in whole blocks");
  auto* out = reinterpret_cast<unsigned char*>(to);
  const auto* in = reinterpret_cast<const unsigned char*>(&from);
  for (std::size_t i = 0; i < sizeof(miState); i += kBlock) std::memcpy(out + i, in + i, kBlock);
}

}  // namespace

// The connection tag lies ghost_offs bytes past the parameter, where the
// host laid the instance out; a parameter that is not connected, or one the
// host cannot evaluate, keeps the value in its block.
MI_HOST_EXPORT void* mi_phen_eval(miState* state, void* param) {
  RenderContext* ctx = contextOf(state);
  const miFunction* shader = state ? state->shader : nullptr;
  if (!ctx || !ctx->evaluate || !shader || !mi_has_ghosts(state)) return param;
  // Only an address inside the block has a tag to read.
  const auto address = reinterpret_cast<std::uintptr_t>(param);
  const auto block = reinterpret_cast<std::uintptr_t>(shader->parameters);
  if (address < block || shader->parameter_size < 4 ||
      address - block > static_cast<std::uintptr_t>(shader->parameter_size) - 4) {
    return param;
  }
  const miTag tag = mi_get_ghost(state, param);
  if (mi_is_nonshader_tag(tag)) return param;
  const void* value = ctx->evaluate(ctx->scene, state, tag);
  return value ? const_cast<void*>(value) : param;
}

MI_HOST_EXPORT miBoolean mi_query(miQ_type query, miState* state, miUint tag, void* result, ...) {
  const RenderContext* ctx = contextOf(state);
  if (!result) return miFALSE;
  switch (query) {
    case miQ_INST_ITEM:
      // An instance places exactly one object, under the same tag.
      if (!objectOfTag(ctx, tag)) return miFALSE;
      *static_cast<miTag*>(result) = tag;
      return miTRUE;
    case miQ_OBJ_LABEL:
      if (const qv::host::SceneObject* object = objectOfTag(ctx, tag)) {
        *static_cast<miInteger*>(result) = object->label;
        return miTRUE;
      }
      return miFALSE;
    default:
      // What the stand-in's scenes do not hold, it cannot answer.
      return miFALSE;
  }
}

MI_HOST_EXPORT miBoolean mi_tri_vectors(miState* state, int which, int ntex, const miVector** a,
                                        const miVector** b, const miVector** c) {
  const RenderContext* ctx = contextOf(state);
  if (which != 'p' || ntex != 0 || !ctx || !ctx->tracer || !state->pri || !a || !b || !c) {
    return miFALSE;
  }
  const qv::host::SurfaceId* surface = qv::mrhost::surfaceOf(state);
  const auto& objects = ctx->tracer->objects();
  if (surface->object >= objects.size()) return miFALSE;
  const qv::host::TriangleMesh& mesh = objects[surface->object].mesh;
  if (surface->triangle >= mesh.triangles.size()) return miFALSE;
  static_assert(sizeof(miVector) == sizeof(qv::host::Vec3f), "vertex layouts must match");
  const auto& triangle = mesh.triangles[surface->triangle];
  const miVector** out[3] = {a, b, c};
  for (int i = 0; i < 3; ++i) {
    *out[i] =
        reinterpret_cast<const miVector*>(&mesh.vertices[triangle[static_cast<std::size_t>(i)]]);
  }
  return miTRUE;
}

// The stand-in's geometry is exact enough that shaders' offsets stand as given.
MI_HOST_EXPORT miBoolean mi_ray_offset(const miState* state, double* offset) {
  return state && offset ? miTRUE : miFALSE;
}

// Continues the state's ray from the shading point, as mental ray does, and
// answers the nearest surface behind it: its colour, with its opacity as
// alpha. Surfaces further on are not gathered: the stand-in's objects have no
// material shaders that would trace on through them.
MI_HOST_EXPORT miBoolean mi_trace_transparent(miColor* result, miState* state) {
  RenderContext* ctx = contextOf(state);
  if (!ctx || !result || ctx->failTraces) return miFALSE;
  miState& child = ctx->child;
  copyState(&child, *state);
  child.parent = state;
  child.child = nullptr;
  child.type = miRAY_TRANSPARENT;
  child.dist = -1.0;
  state->child = &child;
  *result = miColor{0.0f, 0.0f, 0.0f, 0.0f};
  if (!ctx->tracer) return miTRUE;

  qv::host::Ray ray;
  ray.origin[0] = state->point.x;
  ray.origin[1] = state->point.y;
  ray.origin[2] = state->point.z;
  ray.direction[0] = state->dir.x;
  ray.direction[1] = state->dir.y;
  ray.direction[2] = state->dir.z;
  ray.skip = qv::mrhost::surfaceOf(state);
  ++ctx->rays;
  const auto hit = ctx->tracer->nearestSurface(ray);
  if (!hit) return miTRUE;
  const double length = std::sqrt(static_cast<double>(state->dir.x) * state->dir.x +
                                  static_cast<double>(state->dir.y) * state->dir.y +
                                  static_cast<double>(state->dir.z) * state->dir.z);
  child.dist = hit->distance * length;
  child.point = miVector{static_cast<float>(ray.origin[0] + hit->distance * ray.direction[0]),
                         static_cast<float>(ray.origin[1] + hit->distance * ray.direction[1]),
                         static_cast<float>(ray.origin[2] + hit->distance * ray.direction[2])};
  child.instance = qv::mrhost::instanceTag(hit->surface.object);
  child.pri = nullptr;
  const qv::host::SceneObject& object = ctx->tracer->objects()[hit->surface.object];
  *result = miColor{object.color[0], object.color[1], object.color[2], object.opacity};
  return miTRUE;
}

MI_HOST_EXPORT miBoolean mi_sample(double* sample, int* instance, miState* state,
                                   const miUshort dimension, const miUint* n) {
  if (!sample || !instance || !state || !n || *instance < 0 ||
      static_cast<miUint>(*instance) >= *n) {
    return miFALSE;
  }
  const unsigned i = static_cast<unsigned>(*instance);
  const std::uint64_t seed = pointSeed(contextOf(state), state->point);
  for (miUint d = 0; d < dimension; ++d) {
    // Dimension 0 stratified, the others the radical inverses in 3, 5, 7 ...
    const double value = d == 0 ? (i + 0.5) / *n : radicalInverse(d, i + 1);
    const double rotated = value + rotation(seed, d);
    sample[d] = rotated - std::floor(rotated);
  }
  ++*instance;
  return miTRUE;
}
