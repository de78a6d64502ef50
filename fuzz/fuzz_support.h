// What the fuzz targets share: a scratch folder for the files a reader is
// pointed at, quiet standard streams, and the check that turns a broken
// promise of a reader into a crash libFuzzer reports.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace qv::fuzz {

// A reader's promise, such as "a refusal names the file", broken.
#define QV_FUZZ_CHECK(condition)                                                           \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      std::fprintf(stderr, "%s:%d: promise broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                        \
    }                                                                                      \
  } while (false)

// A fresh folder of this process's own, made once; nothing in it outlives
// the run but what the reader wrote there.
inline const std::filesystem::path& scratchFolder() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "qv_fuzz_XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return std::filesystem::path(pattern);
  }();
  return folder;
}

// Messages of the hosts and plug-ins, millions of them in a run, would
// drown libFuzzer's own report, which it writes to the stderr FILE.
inline void quietStreams() {
  std::cout.rdbuf(nullptr);
  std::cerr.rdbuf(nullptr);
  std::clog.rdbuf(nullptr);
}

inline bool startsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

}  // namespace qv::fuzz
