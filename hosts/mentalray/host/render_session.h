// Shading the way mental ray drives a shader: every render thread shades its
// own share of the points at once, each with its own state, and a shader's
// connected parameters are answered by calling the connected shaders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "image_file.h"
#include "mi_scene.h"
#include "mrhost/render_context.h"
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

// A shader instance as mental ray lays one out, in one allocation: the
// miFunction record, a copy of the parameter block that the shader may treat
// as its own (from miFunction::parameters on), then one connection tag per
// word of the block, ghost_offs bytes past the word.
class ShaderRecord {
 public:
  explicit ShaderRecord(const ShaderInstance& instance);
  miFunction* function() const { return function_; }
  char* parameters() const { return function_->parameters; }

 private:
  std::unique_ptr<std::uint64_t[]> storage_;
  miFunction* function_ = nullptr;
};

// Keeps references to the scene, the tracer built from its objects, the
// libraries and the scene's texture images: all must outlive it.
class RenderSession {
 public:
  RenderSession(const MiScene& scene, const host::Tracer& tracer, ShaderLibraries& libraries,
                const std::vector<image::Picture>* textures = nullptr)
      : scene_(scene), tracer_(tracer), libraries_(libraries), textures_(textures) {}
  RenderSession(const RenderSession&) = delete;
  RenderSession& operator=(const RenderSession&) = delete;

  // Chooses the scene's shader instance to shade with and finds the code of
  // it and of every shader connected to it, directly or not. False, with a
  // message, when the scene has no such shader or no library has one, or has
  // another version of it than its declaration.
  bool prepare(const std::string& shaderName, std::string* error);

  // The same for the materials of all the scene's objects, for rendering.
  bool prepareMaterials(std::string* error);

  // Shades the points with the shader chosen by prepare() on options.threads
  // threads; thread t shades points t, t + N, t + 2N, ...
  ShadingResults shade(const std::vector<ShadingPoint>& points, const ShadingOptions& options);

  // One render thread's shading: its host context and its shaders' results.
  class ThreadShading;

  // Runs `work` on `threads` threads at once, the calling thread among them,
  // each with its own ThreadShading. Shaders' init functions run before and
  // their exit functions after.
  void run(int threads, const std::function<void(ThreadShading&)>& work);

 private:
  bool prepareShaders(const std::vector<std::size_t>& tops, std::string* error);
  void initShaders(ThreadShading& thread);
  void exitShaders(ThreadShading& thread);

  const MiScene& scene_;
  const host::Tracer& tracer_;
  ShaderLibraries& libraries_;
  const std::vector<image::Picture>* textures_;
  std::size_t top_ = 0;  // what shade() shades with
  // Per scene shader: its code (null where no prepared shader reaches it)
  // and its record.
  std::vector<const Shader*> code_;
  std::vector<ShaderRecord> records_;
  // Shaders whose init ran, in order, and whether it asked for instances.
  std::vector<std::pair<const Shader*, bool>> initialised_;
};

// On a cache line of its own: the context is written with every ray traced.
class alignas(64) RenderSession::ThreadShading {
 public:
  ThreadShading(const RenderSession& session, int thread);

  // A state for this thread with nothing hit yet: what init and exit get,
  // and what a caller fills in before shade().
  miState idleState();

  // Runs the prepared scene shader `shader` from `state` (which idleState()
  // began); its result record goes to `values`, which has room for it.
  // False when the shader returns false.
  bool shade(std::size_t shader, miState* state, float* values);

  int index() const { return thread_; }  // 0 to the thread count - 1

  // Rays traced for shaders on this thread so far.
  std::uint64_t raysTraced() const { return context_.rays; }

 private:
  // A connected shader's result at one shading point, or its false answer.
  struct Result {
    miState asked{};
    bool ok = false;
    std::unique_ptr<std::uint32_t[]> storage;
  };
  // The results of one shader of the scene in this shading call. Shaders
  // keep the addresses they are handed until the call returns, so a result
  // is never overwritten within it.
  struct Slot {
    std::vector<Result> results;
    std::size_t used = 0;
  };

  std::size_t resultWords(std::size_t shader) const;
  void forgetResults();
  static const void* evaluateConnection(void* scene, miState* state, miTag tag);
  const void* evaluate(miState* state, miTag tag);

  const RenderSession& session_;
  const int thread_;
  RenderContext context_;
  std::vector<Slot> slots_;           // per scene shader
  std::vector<std::size_t> touched_;  // slots used in this shading call
};

}  // namespace qv::mrhost
