// The files a render writes, in one place for every tool: each is written
// under a temporary name beside its final one and moved into place only
// once all of them are written, so that a failed render leaves nothing
// behind and an image of an earlier render stays whole. The temporary
// files are removed on every way out: a failure, an exception unwinding
// through, and SIGINT, SIGTERM or SIGHUP.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace qv::tools {

class OutputFiles {
 public:
  // `tool` goes into the temporary names: ".NAME.TOOL-PID.partial.EXT".
  explicit OutputFiles(const char* tool) : tool_(tool) {}
  ~OutputFiles() { discard(); }
  OutputFiles(const OutputFiles&) = delete;
  OutputFiles& operator=(const OutputFiles&) = delete;

  // Creates the temporary file for `path` now, so that a place that cannot
  // be written fails before the render rather than after it. False, with
  // "cannot write PATH: why", when it cannot.
  bool claim(const std::string& path, std::string* error);

  std::size_t size() const { return files_.size(); }
  // Where the i-th claimed file is to be written until commit().
  const std::string& temporary(std::size_t i) const { return files_[i].temporary; }
  const std::string& path(std::size_t i) const { return files_[i].path; }

  // Moves every file into place; on failure removes what it moved and what
  // is left.
  bool commit(std::string* error);
  // Removes every temporary file.
  void discard();

 private:
  struct File {
    std::string path;
    std::string temporary;
    int slot = -1;  // in the signal handler's list
  };
  const char* tool_;
  std::vector<File> files_;
};

// The temporary name claim() gives `path`.
std::string temporaryName(const std::string& path, const char* tool);

// Runs `body` and returns its exit status; an exception that escapes it
// (std::bad_alloc above all) becomes one message "TOOL: DOING: why" on err
// and exit status 1.
int guard(const char* tool, const std::string& doing, std::ostream& err,
          const std::function<int()>& body);

}  // namespace qv::tools
