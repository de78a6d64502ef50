// Loading plug-in libraries from disk, the one platform seam the stand-in
// hosts share: dlopen on POSIX systems, LoadLibrary on Windows.
#pragma once

#include <string>

namespace qv::host {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary() { close(); }
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // False, with the system's reason in error, when the library cannot load.
  bool open(const std::string& path, std::string* error);
  void close();

  // The address of an exported symbol, or null.
  void* symbol(const char* name) const;
  void* nativeHandle() const { return handle_; }
  bool isOpen() const { return handle_ != nullptr; }
  const std::string& path() const { return path_; }

 private:
  void* handle_ = nullptr;
  std::string path_;
};

// File name suffix of loadable libraries on this platform (".so", ".dll").
const char* libraryFileSuffix();

}  // namespace qv::host
