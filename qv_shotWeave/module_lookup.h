// The one platform seam of the binding: finding an exported function in a
// loaded module. GetProcAddress and GetLastError on Windows, dlsym elsewhere.
#pragma once

#include <string>

namespace qv::mray {

// Whether a library that was handed no module finds the host's functions
// in the process's global scope. mental ray on Linux and macOS loads shader
// libraries into a process whose global scope holds its functions and hands
// them no module; on Windows the host hands its module over, and a null one
// names the executable.
#if defined(_WIN32)
constexpr bool kUnboundLookupIsGlobal = false;
#else
constexpr bool kUnboundLookupIsGlobal = true;
#endif

// The address of name in module (for a null module: in the process's global
// scope where kUnboundLookupIsGlobal, in the executable on Windows), or null
// with a Windows-style error code (ERROR_PROC_NOT_FOUND for no symbol) in
// *error.
void* lookupModuleSymbol(void* module, const char* name, int* error);

// A module handle as the Windows runtime's "%p" prints it: 16 upper-case hex
// digits, so that messages read the same on every platform.
std::string formatHandle(const void* handle);

}  // namespace qv::mray
