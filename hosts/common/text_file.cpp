#include "text_file.h"

#include <new>
#include <utility>

#include "input_file.h"

namespace qv::host {

bool readTextFile(const std::string& path, std::string* text, std::string* error) {
  return readTextFile(path, text, error, kMaxTextFileBytes);
}

bool readTextFile(const std::string& path, std::string* text, std::string* error,
                  std::uint64_t limit) {
  InputFile file;
  if (!file.open(path, limit, "a text file", error)) return false;
  std::string contents;
  try {
    // The size when opened is read at once; what a file that grows
    // meanwhile adds comes in steps, up to the limit.
    std::size_t length = static_cast<std::size_t>(file.size());
    contents.resize(length + 1);
    std::size_t filled = 0;
    for (;;) {
      if (filled == contents.size()) contents.resize(contents.size() + (std::size_t{1} << 20));
      const std::size_t n = file.read(&contents[filled], contents.size() - filled);
      if (n == 0) break;
      filled += n;
    }
    length = filled;
    contents.resize(length);
  } catch (const std::bad_alloc&) {
    *error = path + ": not enough memory to read its " + describeBytes(file.size());
    return false;
  }
  if (file.failed()) {
    *error = path + ": cannot read file";
    return false;
  }
  if (file.overLimit()) {
    *error = file.overLimitMessage();
    return false;
  }
  *text = std::move(contents);
  return true;
}

}  // namespace qv::host
