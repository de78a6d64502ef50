// A mental ray shader library as the host loads it: the library itself, the
// host module handed to it, and its shaders found by name.
#pragma once

#include <map>
#include <string>

#include "dynamic_library.h"
#include "shader.h"

namespace qv::mrhost {

using ShaderFunction = miBoolean (*)(void* result, miState* state, void* params);
using VersionFunction = int (*)();
// Called once with null params; when it sets *instanceInit, once more per
// shader instance with that instance's params and a null flag.
using InitFunction = void (*)(miState* state, void* params, miBoolean* instanceInit);
// Called per instance (when instances were initialised), then with null params.
using ExitFunction = void (*)(miState* state, void* params);

struct Shader {
  std::string name;
  ShaderFunction function = nullptr;
  int version = 0;              // what NAME_version answers
  InitFunction init = nullptr;  // optional
  ExitFunction exit = nullptr;  // optional
};

class ShaderLibrary {
 public:
  ShaderLibrary() = default;
  ~ShaderLibrary();
  ShaderLibrary(const ShaderLibrary&) = delete;
  ShaderLibrary& operator=(const ShaderLibrary&) = delete;

  // Loads the library and, when it asks for it through miSetModuleHandle,
  // hands it the host module. False, with a message, when either cannot be
  // had; nothing is kept then.
  bool load(const std::string& path, std::string* error);

  // The shader of this name, looked up once. Null, with a message, when the
  // library exports no such function or no NAME_version beside it.
  const Shader* find(const std::string& name, std::string* error);

  const std::string& path() const { return library_.path(); }

 private:
  void release();

  // The host module must outlive the library that was handed it.
  void* hostModule_ = nullptr;
  host::DynamicLibrary library_;
  std::map<std::string, Shader> shaders_;
};

}  // namespace qv::mrhost
