// Mental ray shader libraries as the host loads them: each library, the
// host module handed to it and its shaders found by name, and the set of
// libraries a render uses with the declarations read beside them.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dynamic_library.h"
#include "mi_declaration.h"
#include "mi_scene.h"
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

// How a library finds the host's functions: through the module the host
// hands it with miSetModuleHandle (mental ray on Windows), or where the
// dynamic linker put them, in the process's global scope, with no module
// handed over (mental ray on Linux and macOS).
enum class Binding { kModuleHandle, kGlobalScope };

// The binding mental ray uses on this platform.
#if defined(_WIN32)
constexpr Binding kPlatformBinding = Binding::kModuleHandle;
#else
constexpr Binding kPlatformBinding = Binding::kGlobalScope;
#endif

class ShaderLibrary {
 public:
  ShaderLibrary() = default;
  ~ShaderLibrary();
  ShaderLibrary(const ShaderLibrary&) = delete;
  ShaderLibrary& operator=(const ShaderLibrary&) = delete;

  // Loads the library and, bound by module handle, hands it the host module
  // when it asks for it through miSetModuleHandle. False, with a message,
  // when either cannot be had; nothing is kept then.
  bool load(const std::string& path, Binding binding, std::string* error);

  // The shader of this name, looked up once. Null, with a message, when the
  // library exports no such function or no NAME_version beside it.
  const Shader* find(const std::string& name, std::string* error);

  // Whether the library exports a function of this name.
  bool exports(const std::string& name) const;

  const std::string& path() const { return library_.path(); }

 private:
  void release();

  // The host module must outlive the library that was handed it.
  void* hostModule_ = nullptr;
  host::DynamicLibrary library_;
  std::map<std::string, Shader> shaders_;
};

// The declaration file installed beside a shader library: its path with
// ".mi" for the library's extension (qv_shotWeave.so: qv_shotWeave.mi).
std::string declarationFileOf(const std::string& libraryPath);

// The shader libraries of a render, as mental ray for Maya holds those on its
// shader path: each is loaded once, with the declaration file installed
// beside it read, and shaders are found among the host's own and then the
// libraries' in the order they were loaded.
class ShaderLibraries : public Linker {
 public:
  // `pluginFolder` is where `link` looks for a library given by a relative
  // name, before the scene's own folder.
  // `binding` is how every library it loads finds the host's functions.
  explicit ShaderLibraries(std::string pluginFolder = "", Binding binding = Binding::kModuleHandle);

  // Loads the library unless it is loaded already, and adds the declarations
  // beside it, when there are any. False, with a message, when the library
  // cannot be loaded or its declarations are malformed or conflict with
  // those known; nothing is kept then.
  bool load(const std::string& path, std::string* error);

  // A scene's `link "NAME"`: NAME as the plug-in folder or the scene's folder
  // has it. An extension .so or .dll names the platform's own, so that one
  // scene serves Linux and Windows alike (mental ray links "base.so" as
  // base.dll on Windows).
  bool link(const std::string& name, const std::string& sceneFolder, Declarations* into,
            std::string* error) override;

  // The host's own and every loaded library's declarations.
  const Declarations& declarations() const { return declarations_; }
  const std::string& pluginFolder() const { return pluginFolder_; }

  // The code of a shader: the host's own, or the first library's that
  // exports it. Null with a message when none has it.
  const Shader* find(const std::string& name, std::string* error);

 private:
  std::string pluginFolder_;
  Binding binding_;
  std::string hostError_;  // why the host's own declarations could not be read
  Declarations declarations_;
  std::vector<std::unique_ptr<ShaderLibrary>> libraries_;
  std::vector<Declarations> beside_;  // per library, what was declared beside it
};

}  // namespace qv::mrhost
