#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace qv::host {
namespace {

#if defined(_WIN32)
// MinGW's C runtime: open and read in binary, no non-blocking opens (it has
// no FIFOs to block on).
constexpr int kOpenFlags = O_RDONLY | O_BINARY;
int readSome(int fd, void* buffer, std::size_t size) {
  return ::_read(fd, buffer, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
long long seekTo(int fd, long long offset) {
  return ::_lseeki64(fd, offset, SEEK_SET);
}
#else
// Non-blocking so that opening a FIFO without a writer returns at once; it
// is refused right after, and regular files ignore the flag.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
long readSome(int fd, void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, std::min<std::size_t>(size, std::size_t{1} << 30));
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}
long long seekTo(int fd, long long offset) {
  return static_cast<long long>(::lseek(fd, static_cast<off_t>(offset), SEEK_SET));
}
#endif

const char* notRegular(unsigned mode) {
  if (S_ISDIR(mode)) return "is a folder, not a file";
#if !defined(_WIN32)
  if (S_ISFIFO(mode)) return "is a pipe (FIFO), not a regular file";
  if (S_ISSOCK(mode)) return "is a socket, not a regular file";
  if (S_ISBLK(mode)) return "is a block device, not a regular file";
#endif
  if (S_ISCHR(mode)) return "is a device, not a regular file";
  if (!S_ISREG(mode)) return "is not a regular file";
  return nullptr;
}

}  // namespace

std::string describeBytes(std::uint64_t bytes) {
  const char* units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (unit < 4 && bytes >= (std::uint64_t{1} << (10 * (unit + 1)))) ++unit;
  if (unit == 0) return std::to_string(bytes) + " bytes";
  char whole[64];
  std::snprintf(whole, sizeof whole, "%.4g %s (%llu bytes)",
                static_cast<double>(bytes) / static_cast<double>(std::uint64_t{1} << (10 * unit)),
                units[unit], static_cast<unsigned long long>(bytes));
  return whole;
}

bool InputFile::open(const std::string& path, std::uint64_t limit, const char* kind,
                     std::string* error) {
  close();
  const int fd = ::open(path.c_str(), kOpenFlags);
  if (fd < 0) {
#if defined(_WIN32)
    // Windows opens no folder as a file: say what it is by its name.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
      if (const char* why = notRegular(static_cast<unsigned>(info.st_mode))) {
        *error = path + ": " + why;
        return false;
      }
    }
#endif
    *error = path + ": cannot open file";
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    *error = path + ": cannot open file";
    return false;
  }
  if (const char* why = notRegular(static_cast<unsigned>(info.st_mode))) {
    ::close(fd);
    *error = path + ": " + why;
    return false;
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size > limit) {
    ::close(fd);
    *error = path + ": " + describeBytes(size) + ", more than the " + describeBytes(limit) + " " +
             kind + " may have";
    return false;
  }
  fd_ = fd;
  path_ = path;
  kind_ = kind;
  limit_ = limit;
  size_ = size;
  position_ = 0;
  ended_ = false;
  overLimit_ = false;
  failed_ = false;
  return true;
}

void InputFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::size_t InputFile::read(void* buffer, std::size_t size) {
  if (fd_ < 0 || ended_ || size == 0) return 0;
  // One byte past the limit tells a file that grew from one that ends there.
  const std::uint64_t allowed = limit_ + 1 - std::min(position_, limit_ + 1);
  const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, allowed));
  const long n = wanted == 0 ? 0 : static_cast<long>(readSome(fd_, buffer, wanted));
  if (n <= 0) {
    failed_ = n < 0;
    ended_ = true;
    return 0;
  }
  position_ += static_cast<std::uint64_t>(n);
  if (position_ > limit_) {
    overLimit_ = true;
    ended_ = true;
    const std::uint64_t over = position_ - limit_;
    position_ = limit_;
    return static_cast<std::size_t>(static_cast<std::uint64_t>(n) - over);
  }
  return static_cast<std::size_t>(n);
}

void InputFile::skip(long long offset) {
  // Once a read has found the end, the file stays at its end: stb stops
  // reading after the first empty read and asks only whether the end was
  // reached, so a skip that forgot it would keep stb looking for ever.
  if (fd_ < 0 || ended_) return;
  const long long target = std::clamp<long long>(static_cast<long long>(position_) + offset, 0,
                                                 static_cast<long long>(limit_));
  if (seekTo(fd_, target) < 0) {
    ended_ = true;
    return;
  }
  position_ = static_cast<std::uint64_t>(target);
}

bool InputFile::rewind() {
  if (fd_ < 0 || seekTo(fd_, 0) != 0) return false;
  position_ = 0;
  ended_ = false;
  overLimit_ = false;
  failed_ = false;
  return true;
}

std::string InputFile::overLimitMessage() const {
  return path_ + ": grew beyond the " + describeBytes(limit_) + " " + kind_ +
         " may have while it was read";
}

}  // namespace qv::host
