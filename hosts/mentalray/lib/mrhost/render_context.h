// What the stand-in's host functions need to answer a shader: hung off every
// shading state it hands out (miState::user). Shaders never see this header.
#pragma once

#include <cstdint>
#include <vector>

#include "image_file.h"
#include "shader.h"
#include "tracer.h"

namespace qv::mrhost {

// Evaluates the shader connected at a parameter (tag is the parameter's
// connection tag) and answers the address of its result, valid for the rest
// of the shading call.
using ConnectionEvaluator = const void* (*)(void* scene, miState* state, miTag tag);

struct RenderContext {
  const host::Tracer* tracer = nullptr;  // null: an empty scene
  void* scene = nullptr;
  ConnectionEvaluator evaluate = nullptr;
  // Makes every mi_trace_transparent fail, as a host does past its trace depth.
  bool failTraces = false;
  miState child{};  // the state of the last ray traced
  // The scene's color textures, texture tag t being element t - 1; for the
  // host's own texture shaders.
  const std::vector<image::Picture>* textures = nullptr;
  std::uint64_t rays = 0;  // rays the tracer was asked for on behalf of shaders
  // mi_sample's seed for the point it was last asked about.
  bool hasSampleSeed = false;
  std::uint32_t sampleKey[3] = {0, 0, 0};  // the point's bits
  std::uint64_t sampleSeed = 0;
};

// The host's record of the primitive hit (miState::pri) is the tracer's
// surface id; shaders only pass it back.
inline miRc_intersection* primitiveOf(const host::SurfaceId* surface) {
  return reinterpret_cast<miRc_intersection*>(const_cast<host::SurfaceId*>(surface));
}
inline const host::SurfaceId* surfaceOf(const miState* state) {
  return reinterpret_cast<const host::SurfaceId*>(state->pri);
}

// The instance tag of an object: its index plus one (0 is the null tag).
inline miTag instanceTag(std::size_t objectIndex) {
  return static_cast<miTag>(objectIndex + 1);
}

}  // namespace qv::mrhost
