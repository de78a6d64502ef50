#include "dynamic_library.h"

#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/stat.h>
#endif

namespace qv::host {

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), path_(std::move(other.path_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, nullptr);
    path_ = std::move(other.path_);
  }
  return *this;
}

#if defined(_WIN32)

bool DynamicLibrary::open(const std::string& path, std::string* error) {
  close();
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) {
    if (error) *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  handle_ = reinterpret_cast<void*>(module);
  path_ = path;
  return true;
}

void DynamicLibrary::close() {
  if (handle_) FreeLibrary(reinterpret_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

void* DynamicLibrary::symbol(const char* name) const {
  if (!handle_) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
}

const char* libraryFileSuffix() {
  return ".dll";
}

#else

bool DynamicLibrary::open(const std::string& path, std::string* error) {
  close();
  // dlopen looks for a name without a slash on the library path only, never
  // in the current folder; a host given "plugin.so" means the file there,
  // as it does for every other file it is given.
  std::string where = path;
  struct stat info {};
  if (path.find('/') == std::string::npos && ::stat(path.c_str(), &info) == 0) {
    where = "./" + path;
  }
  // RTLD_LOCAL keeps each plug-in's symbols to itself, as a host expects.
  handle_ = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* reason = dlerror();
    if (error) *error = reason ? reason : ("cannot load " + path);
    return false;
  }
  path_ = path;
  return true;
}

void DynamicLibrary::close() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

void* DynamicLibrary::symbol(const char* name) const {
  return handle_ ? dlsym(handle_, name) : nullptr;
}

const char* libraryFileSuffix() {
  return ".so";
}

#endif

}  // namespace qv::host
