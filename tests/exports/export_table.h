// The export table of a loadable library, read from the file itself: the
// PE export directory of a Windows DLL, the dynamic symbols of an ELF shared
// object. What a host's GetProcAddress or dlsym can find there, and nothing
// the compiler or linker says about it.
#pragma once

#include <string>
#include <vector>

namespace qv::test {

struct ExportedSymbol {
  std::string name;   // as the loader looks it up
  bool code = false;  // in executable code (a function), not data
  // For data: its bytes up to the first zero byte (at most 64), as the file
  // holds them.
  std::string text;
};

// The library's exports in the order its table lists them. False, with a
// message naming the file, for a file that is no 64-bit little-endian PE or
// ELF library or whose tables run past its end.
bool readExports(const std::string& path, std::vector<ExportedSymbol>* exports, std::string* error);

}  // namespace qv::test
