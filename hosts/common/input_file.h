// Opening a file that a reader is about to take in: a regular file only,
// and no larger than the reader allows, checked on the open descriptor so
// that a name swapped in between cannot slip past. A pipe, a device or a
// folder is refused by name before anything is read: /dev/zero would
// otherwise fill memory and a FIFO without a writer would hang the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qv::host {

class InputFile {
 public:
  InputFile() = default;
  ~InputFile() { close(); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // False, with "PATH: why" in error (a missing or unreadable file gives
  // "PATH: cannot open file"), unless path is a regular file of at most
  // `limit` bytes. `kind` names what the file should be in the size
  // message ("a text file").
  bool open(const std::string& path, std::uint64_t limit, const char* kind, std::string* error);
  void close();

  // Up to `size` bytes, never beyond the limit however far the file has
  // grown since it was opened; 0 at its end.
  std::size_t read(void* buffer, std::size_t size);
  // Moves by `offset` bytes (may be negative) within what may be read;
  // nothing once the end was read (only rewind() goes back then).
  void skip(long long offset);
  bool atEnd() const { return ended_; }
  // Back to the first byte.
  bool rewind();

  // True once a read failed (an I/O error, not the end of the file).
  bool failed() const { return failed_; }

  // True once a read found more than the limit: the file grew after open().
  bool overLimit() const { return overLimit_; }
  // The message for overLimit(), naming the file.
  std::string overLimitMessage() const;

  // The size when opened.
  std::uint64_t size() const { return size_; }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
  const char* kind_ = "";
  std::uint64_t limit_ = 0;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
  bool ended_ = false;
  bool overLimit_ = false;
  bool failed_ = false;
};

// "256 MiB (268435456 bytes)": a byte count as the size messages give it.
std::string describeBytes(std::uint64_t bytes);

}  // namespace qv::host
