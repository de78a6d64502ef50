// What the command-line tools' tests share: running a tool's entry point
// on given arguments and input, reading what it printed, and a scratch
// folder for the scene files they write.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace qv::test {

struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};

using CommandEntry = int (*)(const std::vector<std::string>&, std::istream&, std::ostream&,
                             std::ostream&);

inline CommandResult runCommand(CommandEntry entry, const std::vector<std::string>& args,
                                const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  CommandResult result;
  result.status = entry(args, in, out, err);
  result.out = out.str();
  result.err = err.str();
  return result;
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A number as the tools print it.
inline std::string format(float value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6g", static_cast<double>(value));
  return buffer;
}

// A fresh folder per test, unique across processes running tests in parallel.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix) {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            (prefix + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  std::string write(const std::string& name, const std::string& text) const {
    const std::string file = (path_ / name).string();
    std::ofstream(file) << text;
    return file;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace qv::test
