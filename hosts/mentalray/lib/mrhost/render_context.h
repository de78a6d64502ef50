// What the stand-in's host functions need to answer a shader: hung off every
// shading state it hands out (miState::user). Shaders never see this header.
#pragma once

#include <deque>
#include <vector>

#include "shader.h"
#include "tracer.h"

namespace qv::mrhost {

// Evaluates the shader connected at a parameter (entry is the parameter's
// ghost entry) and answers the address of its result, valid for the rest of
// the shading call.
using ConnectionEvaluator = const void* (*)(void* scene, miState* state, miInteger entry);

struct RenderContext {
  const host::Tracer* tracer = nullptr;  // null: an empty scene
  void* scene = nullptr;
  ConnectionEvaluator evaluate = nullptr;
  // Makes every mi_trace_transparent fail, as a host does past its trace depth.
  bool failTraces = false;
  miState child{};  // the state of the last ray traced
};

// The instance tag of an object: its index plus one (0 is the null tag).
inline miTag instanceTag(std::size_t objectIndex) {
  return static_cast<miTag>(objectIndex + 1);
}

}  // namespace qv::mrhost
