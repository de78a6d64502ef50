// How a qvmaya command says it failed.
#pragma once

#include <string>

namespace qv::qvmaya {

// Thrown by a command; the run reports it and goes on with the next one.
struct CommandError {
  std::string what;
};

[[noreturn]] inline void fail(const std::string& what) {
  throw CommandError{what};
}

}  // namespace qv::qvmaya
