// Shading the way mental ray drives a shader: every render thread shades its
// own share of the points at once, each with its own state, and a shader's
// connected parameters are answered by calling the connected shaders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "mi_scene.h"
#include "shader.h"
#include "shader_library.h"
#include "tracer.h"

namespace qv::mrhost {

struct ShadingPoint {
  miVector point;
  miVector normal;
  miVector dir;  // the ray that reached the point, unit length (or zero)
};

struct ShadingOptions {
  miRay_type rayType = miRAY_EYE;
  int threads = 1;
};

struct ShadingResults {
  std::size_t valuesPerPoint = 0;  // the floats of the shader's result
  std::vector<float> values;       // valuesPerPoint per point; 0 where not shaded
  std::vector<char> shaded;        // 0 where the shader returned false
};

// Keeps references to the scene, the tracer built from its objects and the
// library: all must outlive it.
class RenderSession {
 public:
  RenderSession(const MiScene& scene, const host::Tracer& tracer, ShaderLibrary& library)
      : scene_(scene), tracer_(tracer), library_(library) {}
  RenderSession(const RenderSession&) = delete;
  RenderSession& operator=(const RenderSession&) = delete;

  // Chooses the scene's shader instance to shade with and finds the code of
  // it and of every shader connected to it, directly or not. False, with a
  // message, when the scene has no such shader or the library lacks one or
  // has another version of it than its declaration.
  bool prepare(const std::string& shaderName, std::string* error);

  // Shades the points with the prepared shader on options.threads threads;
  // thread t shades points t, t + N, t + 2N, ... Shaders' init functions run
  // before and their exit functions after.
  ShadingResults shade(const std::vector<ShadingPoint>& points, const ShadingOptions& options);

 private:
  class ThreadShading;

  void initShaders(ThreadShading& thread);
  void exitShaders(ThreadShading& thread);

  const MiScene& scene_;
  const host::Tracer& tracer_;
  ShaderLibrary& library_;
  std::size_t top_ = 0;
  // Per scene shader: its code (null where the top shader does not reach
  // it), a copy of its block that shaders may treat as their own, and its
  // shader record over that block.
  std::vector<const Shader*> code_;
  std::vector<std::vector<std::uint32_t>> blocks_;
  std::vector<miFunction> functions_;
  // Shaders whose init ran, in order, and whether it asked for instances.
  std::vector<std::pair<const Shader*, bool>> initialised_;
};

}  // namespace qv::mrhost
