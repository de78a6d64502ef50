// Whole-file reading for the stand-ins' text readers.
#pragma once

#include <string>

namespace qv::host {

// On failure (a missing or unreadable file, or a directory) `text` is left
// untouched and `error` holds "PATH: cannot open file".
bool readTextFile(const std::string& path, std::string* text, std::string* error);

}  // namespace qv::host
