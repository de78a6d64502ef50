#include "shader_library.h"

#include <filesystem>
#include <utility>

#include "base_shaders.h"

#if defined(_WIN32)
#include <windows.h>

// Imported, its address is the function's in the host module, which the
// import table holds; a plain reference names this executable's jump stub.
extern "C" __declspec(dllimport) void* mi_phen_eval(miState* state, void* param);
#else
#include <dlfcn.h>
#endif

namespace qv::mrhost {

namespace {

// The host module is the one whose host functions this process already
// runs with: found from the address of one of them, never loaded again by a
// path that could name another copy.
#if defined(_WIN32)

void* openHostModule(std::string* error) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&mi_phen_eval), &module)) {
    *error = "cannot find the host module (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  return reinterpret_cast<void*>(module);
}

void closeHostModule(void*) {}

#else

void* openHostModule(std::string* error) {
  Dl_info info{};
  void* handle = nullptr;
  if (dladdr(reinterpret_cast<void*>(&mi_phen_eval), &info) != 0 && info.dli_fname) {
    handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  }
  if (!handle || !dlsym(handle, "mi_phen_eval")) {
    if (handle) dlclose(handle);
    const char* reason = dlerror();
    *error =
        std::string("cannot find the host module") + (reason ? std::string(": ") + reason : "");
    return nullptr;
  }
  return handle;
}

void closeHostModule(void* handle) {
  if (handle) dlclose(handle);
}

#endif

}  // namespace

ShaderLibrary::~ShaderLibrary() {
  release();
}

void ShaderLibrary::release() {
  shaders_.clear();
  library_.close();
  closeHostModule(hostModule_);
  hostModule_ = nullptr;
}

bool ShaderLibrary::load(const std::string& path, Binding binding, std::string* error) {
  release();
  std::string reason;
  if (!library_.open(path, &reason)) {
    *error = "cannot load shader library " + path + ": " + reason;
    return false;
  }
  if (binding == Binding::kGlobalScope) return true;
  hostModule_ = openHostModule(&reason);
  if (!hostModule_) {
    release();
    *error = path + ": " + reason;
    return false;
  }
  // Libraries that call no host function have no use for the handle.
  if (auto* setModuleHandle =
          reinterpret_cast<void (*)(void*)>(library_.symbol("miSetModuleHandle"))) {
    setModuleHandle(hostModule_);
  }
  return true;
}

const Shader* ShaderLibrary::find(const std::string& name, std::string* error) {
  if (const auto it = shaders_.find(name); it != shaders_.end()) return &it->second;
  if (!library_.isOpen()) {
    *error = "no shader library is loaded";
    return nullptr;
  }
  Shader shader;
  shader.name = name;
  shader.function = reinterpret_cast<ShaderFunction>(library_.symbol(name.c_str()));
  if (!shader.function) {
    *error = library_.path() + " has no shader '" + name + "'";
    return nullptr;
  }
  // The version is what ties a shader to the declaration its parameters are
  // laid out by; a shader without one cannot be trusted with a block.
  const auto version =
      reinterpret_cast<VersionFunction>(library_.symbol((name + "_version").c_str()));
  if (!version) {
    *error = library_.path() + ": shader '" + name + "' has no " + name + "_version function";
    return nullptr;
  }
  shader.version = version();
  shader.init = reinterpret_cast<InitFunction>(library_.symbol((name + "_init").c_str()));
  shader.exit = reinterpret_cast<ExitFunction>(library_.symbol((name + "_exit").c_str()));
  return &shaders_.emplace(name, std::move(shader)).first->second;
}

bool ShaderLibrary::exports(const std::string& name) const {
  return library_.isOpen() && library_.symbol(name.c_str()) != nullptr;
}

namespace fs = std::filesystem;

std::string declarationFileOf(const std::string& libraryPath) {
  return fs::path(libraryPath).replace_extension(".mi").string();
}

ShaderLibraries::ShaderLibraries(std::string pluginFolder, Binding binding)
    : pluginFolder_(std::move(pluginFolder)), binding_(binding) {
  addHostDeclarations(&declarations_, &hostError_);
}

bool ShaderLibraries::load(const std::string& path, std::string* error) {
  if (!hostError_.empty()) {
    *error = hostError_;
    return false;
  }
  for (const auto& library : libraries_) {
    std::error_code ec;
    if (fs::equivalent(library->path(), path, ec)) return true;
  }
  auto library = std::make_unique<ShaderLibrary>();
  if (!library->load(path, binding_, error)) return false;
  Declarations beside;
  const std::string declarations = declarationFileOf(path);
  std::error_code ec;
  if (fs::exists(declarations, ec) && !readDeclarations(declarations, &beside, error)) {
    return false;
  }
  Declarations all = declarations_;
  if (!all.add(beside, error)) return false;
  declarations_ = std::move(all);
  libraries_.push_back(std::move(library));
  beside_.push_back(std::move(beside));
  return true;
}

bool ShaderLibraries::link(const std::string& name, const std::string& sceneFolder,
                           Declarations* into, std::string* error) {
  fs::path given(name);
  std::vector<fs::path> names;
  const std::string extension = given.extension().string();
  if (extension == ".so" || extension == ".dll") {
    names.push_back(fs::path(given).replace_extension(host::libraryFileSuffix()));
  }
  if (names.empty() || names.front() != given) names.push_back(given);
  std::vector<fs::path> candidates;
  for (const fs::path& n : names) {
    if (n.is_absolute()) {
      candidates.push_back(n);
      continue;
    }
    if (!pluginFolder_.empty()) candidates.push_back(fs::path(pluginFolder_) / n);
    candidates.push_back(fs::path(sceneFolder) / n);
  }
  std::string tried;
  for (const fs::path& candidate : candidates) {
    std::error_code ec;
    if (!fs::is_regular_file(candidate, ec)) {
      tried += (tried.empty() ? "" : ", ") + candidate.string();
      continue;
    }
    if (!load(candidate.string(), error)) return false;
    // What the library declares, on the scene's terms: the scene may have
    // declared its shaders itself.
    std::error_code same;
    for (std::size_t i = 0; i < libraries_.size(); ++i) {
      if (fs::equivalent(libraries_[i]->path(), candidate, same))
        return into->add(beside_[i], error);
    }
    return true;
  }
  *error = "no such shader library (looked for " + tried + ")";
  return false;
}

const Shader* ShaderLibraries::find(const std::string& name, std::string* error) {
  if (const Shader* own = findHostShader(name)) return own;
  for (const auto& library : libraries_) {
    if (library->exports(name)) return library->find(name, error);
  }
  if (libraries_.empty()) {
    *error = "no shader library is loaded to find shader '" + name + "' in";
  } else {
    std::string paths;
    for (const auto& library : libraries_) paths += (paths.empty() ? "" : ", ") + library->path();
    *error = "no shader library exports shader '" + name + "' (" + paths + ")";
  }
  return nullptr;
}

}  // namespace qv::mrhost
