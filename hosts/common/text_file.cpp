#include "text_file.h"

#include <exception>
#include <fstream>
#include <iterator>
#include <utility>

namespace qv::host {

bool readTextFile(const std::string& path, std::string* text, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  std::string contents;
  if (in) {
    // A directory opens but fails on the first read, which libstdc++
    // reports by throwing from the stream buffer.
    try {
      contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
      in.setstate(std::ios::badbit);
    }
  }
  if (!in.is_open() || in.bad()) {
    *error = path + ": cannot open file";
    return false;
  }
  *text = std::move(contents);
  return true;
}

}  // namespace qv::host
