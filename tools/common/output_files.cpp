#include "output_files.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <new>
#include <ostream>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace qv::tools {
namespace {

namespace fs = std::filesystem;

// The temporary files a signal must remove. A handler may only make
// async-signal-safe calls, so the names live in fixed buffers, published
// through an atomic state that the handler reads without a lock.
constexpr int kSlots = 64;
constexpr std::size_t kLongestName = 4096;

enum SlotState : int { kFree = 0, kFilling = 1, kLive = 2 };

struct Slot {
  std::atomic<int> state{kFree};
  char name[kLongestName];
};

Slot g_slots[kSlots];
std::mutex g_slotsMutex;  // between threads that register, never in the handler

void removeRegistered() {
  for (Slot& slot : g_slots) {
    if (slot.state.load() == kLive) {
#if defined(_WIN32)
      std::remove(slot.name);
#else
      ::unlink(slot.name);
#endif
    }
  }
}

const int kSignals[] = {
    SIGINT,
    SIGTERM,
#if !defined(_WIN32)
    SIGHUP,
#endif
};

extern "C" void onSignal(int number) {
  removeRegistered();
  // Dies of the signal as it would have, so that the caller sees why.
  std::signal(number, SIG_DFL);
  std::raise(number);
}

// On every claim, so that a disposition set meanwhile is respected: a
// signal the process ignores (nohup's SIGHUP) stays ignored, and one with
// a handler of its own keeps it.
void installHandlers() {
  for (int number : kSignals) {
#if defined(_WIN32)
    const auto previous = std::signal(number, onSignal);
    if (previous == SIG_IGN || (previous != SIG_DFL && previous != onSignal)) {
      std::signal(number, previous);
    }
#else
    struct sigaction previous {};
    if (::sigaction(number, nullptr, &previous) != 0) continue;
    if (previous.sa_handler != SIG_DFL) continue;  // ignored, or ours already, or the caller's
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(number, &action, nullptr);
#endif
  }
}

int registerName(const std::string& name) {
  if (name.size() >= kLongestName) return -1;
  installHandlers();
  const std::lock_guard<std::mutex> lock(g_slotsMutex);
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (g_slots[i].state.compare_exchange_strong(expected, kFilling)) {
      std::memcpy(g_slots[i].name, name.c_str(), name.size() + 1);
      g_slots[i].state.store(kLive);
      return i;
    }
  }
  return -1;
}

void unregisterName(int slot) {
  if (slot >= 0) g_slots[slot].state.store(kFree);
}

long processId() {
#if defined(_WIN32)
  return static_cast<long>(::_getpid());
#else
  return static_cast<long>(::getpid());
#endif
}

}  // namespace

std::string temporaryName(const std::string& path, const char* tool) {
  const fs::path final(path);
  // The extension stays last: the image writers choose the format by it.
  return (final.parent_path() /
          ("." + final.stem().string() + "." + tool + "-" + std::to_string(processId()) +
           ".partial" + final.extension().string()))
      .string();
}

bool OutputFiles::claim(const std::string& path, std::string* error) {
  File file;
  file.path = path;
  file.temporary = temporaryName(path, tool_);
  // Registered before it exists, so that no moment leaves it unguarded.
  file.slot = registerName(file.temporary);
  std::FILE* created = std::fopen(file.temporary.c_str(), "wb");
  if (!created) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    unregisterName(file.slot);
    return false;
  }
  std::fclose(created);
  files_.push_back(std::move(file));
  return true;
}

bool OutputFiles::commit(std::string* error) {
  for (std::size_t i = 0; i < files_.size(); ++i) {
    std::error_code ec;
    fs::rename(files_[i].temporary, files_[i].path, ec);
    if (ec) {
      *error = "cannot write " + files_[i].path + ": " + ec.message();
      for (std::size_t k = 0; k < i; ++k) fs::remove(files_[k].path, ec);
      for (std::size_t k = 0; k < i; ++k) unregisterName(files_[k].slot);
      files_.erase(files_.begin(), files_.begin() + static_cast<std::ptrdiff_t>(i));
      discard();
      return false;
    }
    unregisterName(files_[i].slot);
  }
  files_.clear();
  return true;
}

void OutputFiles::discard() {
  for (const File& file : files_) {
    std::error_code ec;
    fs::remove(file.temporary, ec);
    unregisterName(file.slot);
  }
  files_.clear();
}

int guard(const char* tool, const std::string& doing, std::ostream& err,
          const std::function<int()>& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    err << tool << ": " << doing << ": not enough memory\n";
  } catch (const std::exception& e) {
    err << tool << ": " << doing << ": " << e.what() << "\n";
  } catch (...) {
    err << tool << ": " << doing << ": an unexpected failure\n";
  }
  return 1;
}

}  // namespace qv::tools
