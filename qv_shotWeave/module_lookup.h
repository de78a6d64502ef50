// The one platform seam of the binding: finding an exported function in a
// loaded module. GetProcAddress and GetLastError on Windows, dlsym elsewhere.
#pragma once

#include <string>

namespace qv::mray {

// The address of name in module, or null with a Windows-style error code
// (ERROR_INVALID_HANDLE for no module, ERROR_PROC_NOT_FOUND for no symbol)
// in *error.
void* lookupModuleSymbol(void* module, const char* name, int* error);

// A module handle as the Windows runtime's "%p" prints it: 16 upper-case hex
// digits, so that messages read the same on every platform.
std::string formatHandle(const void* handle);

}  // namespace qv::mray
