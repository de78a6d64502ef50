#include "module_lookup.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace qv::mray {

#if defined(_WIN32)

void* lookupModuleSymbol(void* module, const char* name, int* error) {
  FARPROC address = GetProcAddress(static_cast<HMODULE>(module), name);
  *error = address ? 0 : static_cast<int>(GetLastError());
  return reinterpret_cast<void*>(address);
}

#else

namespace {
constexpr int kErrorProcNotFound = 127;
}  // namespace

void* lookupModuleSymbol(void* module, const char* name, int* error) {
  void* address = dlsym(module ? module : RTLD_DEFAULT, name);
  *error = address ? 0 : kErrorProcNotFound;
  return address;
}

#endif

std::string formatHandle(const void* handle) {
  char text[32];
  std::snprintf(text, sizeof text, "%016" PRIXPTR, reinterpret_cast<std::uintptr_t>(handle));
  return text;
}

}  // namespace qv::mray
