// Whole-file reading for the stand-ins' text readers.
#pragma once

#include <cstdint>
#include <string>

#include "input_limits.h"

namespace qv::host {

// On failure `text` is left untouched and `error` holds one message naming
// the file: "PATH: cannot open file" for a missing or unreadable one, else
// why it is refused (a folder, a pipe or a device; more than `limit`
// bytes, when opened or by the time it was read).
bool readTextFile(const std::string& path, std::string* text, std::string* error);
bool readTextFile(const std::string& path, std::string* text, std::string* error,
                  std::uint64_t limit);

}  // namespace qv::host
