// setenv and unsetenv, which the tests use to steer the hosts' search paths,
// for Windows builds: MinGW's C library has only _putenv_s. Included into
// every test there by qv_add_test.
#pragma once

#if defined(_WIN32)
#include <cstdlib>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && std::getenv(name)) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

// An empty value removes the variable on Windows.
inline int unsetenv(const char* name) {
  return _putenv_s(name, "") == 0 ? 0 : -1;
}
#endif
