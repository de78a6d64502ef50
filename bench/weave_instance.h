// One qv_shotWeave instance as the mental ray benchmarks shade it: its block
// laid out by the host's .mi reader from the library's declarations, its
// init and exit called as the host calls them, and points shaded the way the
// host's render threads shade a point whose primitive they know.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "mi_scene.h"
#include "mrhost/render_context.h"
#include "render_session.h"
#include "shader.h"
#include "shader_library.h"
#include "tracer.h"

namespace qv::bench {

class WeaveInstance {
 public:
  // text declares the instance as its first shader; what fails ends the
  // benchmark with a message.
  WeaveInstance(const std::string& text, const char* file, mrhost::ShaderLibraries& libraries,
                const host::Tracer& tracer) {
    mrhost::MiReadOptions reading;
    reading.declarations = &libraries.declarations();
    const mrhost::MiParseResult parsed = mrhost::parseMi(text, file, reading);
    if (!parsed.scene) fail(parsed.error);
    scene_ = *parsed.scene;
    const mrhost::ShaderInstance& instance = scene_.shaders.at(0);
    std::string error;
    shader_ = libraries.find(instance.decl->name, &error);
    if (!shader_) fail(error);
    if (shader_->version != instance.decl->version) {
      fail("the library's " + instance.decl->name + " is another version");
    }
    record_ = std::make_unique<mrhost::ShaderRecord>(instance);
    context_.tracer = &tracer;
    miState idle = idleState();
    idle.shader = record_->function();
    miBoolean instanceInit = miFALSE;
    if (shader_->init) shader_->init(&idle, nullptr, &instanceInit);
    if (instanceInit && shader_->init) shader_->init(&idle, record_->parameters(), nullptr);
    instanceInit_ = instanceInit != miFALSE;
  }
  ~WeaveInstance() {
    miState idle = idleState();
    idle.shader = record_->function();
    if (instanceInit_ && shader_->exit) shader_->exit(&idle, record_->parameters());
    if (shader_->exit) shader_->exit(&idle, nullptr);
  }
  WeaveInstance(const WeaveInstance&) = delete;
  WeaveInstance& operator=(const WeaveInstance&) = delete;

  // Shades the point into result, words long; what the shader returned.
  bool shade(const mrhost::ShadingPoint& point, const host::SurfaceId& surface,
             std::uint32_t* result, std::size_t words) {
    miState state = idleState();
    state.shader = record_->function();
    state.point = point.point;
    state.normal = point.normal;
    state.dir = point.dir;
    state.org = {state.point.x - state.dir.x, state.point.y - state.dir.y,
                 state.point.z - state.dir.z};
    state.dist = 1.0;
    state.pri = mrhost::primitiveOf(&surface);
    state.instance = mrhost::instanceTag(surface.object);
    std::fill(result, result + words, 0u);
    return shader_->function(result, &state, record_->parameters()) != miFALSE;
  }

  const mrhost::MiScene& scene() const { return scene_; }

 private:
  [[noreturn]] static void fail(const std::string& message) {
    std::fprintf(stderr, "benchmark: %s\n", message.c_str());
    std::exit(1);
  }

  miState idleState() {
    miState state{};
    state.type = miRAY_EYE;
    state.dist = -1.0;
    state.user = &context_;
    return state;
  }

  mrhost::MiScene scene_;
  const mrhost::Shader* shader_ = nullptr;
  std::unique_ptr<mrhost::ShaderRecord> record_;
  mrhost::RenderContext context_;
  bool instanceInit_ = false;
};

// The shader library as the host loads it, with the host module it was
// handed and its own miSetModuleHandle: a benchmark binds it to itself, whose
// exported mi_trace_transparent is selfTrace, and back to the host.
struct ReboundShaderLibrary {
  ReboundShaderLibrary(const char* libraryPath, const char* hostPath, const void* selfTrace) {
    std::string error;
    if (!shaders.load(libraryPath, &error)) fail(error);
    host = dlopen(hostPath, RTLD_NOW | RTLD_NOLOAD);
    self = dlopen(nullptr, RTLD_NOW);
    library = dlopen(libraryPath, RTLD_NOW | RTLD_NOLOAD);
    if (!host || !self || !library) fail("cannot reopen the loaded modules");
    bind = reinterpret_cast<void (*)(void*)>(dlsym(library, "miSetModuleHandle"));
    hostTrace =
        reinterpret_cast<miBoolean (*)(miColor*, miState*)>(dlsym(host, "mi_trace_transparent"));
    if (!bind || !hostTrace) fail("the library or the host lacks its entry points");
    if (reinterpret_cast<const void*>(hostTrace) == selfTrace ||
        dlsym(self, "mi_trace_transparent") != selfTrace) {
      fail("this executable's mi_trace_transparent and the host's are not told apart");
    }
    bind(host);
  }
  ~ReboundShaderLibrary() {
    bind(host);
    dlclose(library);
    dlclose(self);
    dlclose(host);
  }
  ReboundShaderLibrary(const ReboundShaderLibrary&) = delete;
  ReboundShaderLibrary& operator=(const ReboundShaderLibrary&) = delete;

  mrhost::ShaderLibraries shaders;
  void* host = nullptr;
  void* self = nullptr;
  void* library = nullptr;
  void (*bind)(void*) = nullptr;
  miBoolean (*hostTrace)(miColor*, miState*) = nullptr;

 private:
  [[noreturn]] static void fail(const std::string& message) {
    std::fprintf(stderr, "benchmark: %s\n", message.c_str());
    std::exit(1);
  }
};

}  // namespace qv::bench
