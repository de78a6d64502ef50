// The qvmray command line, callable from tests as well as from main().
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qv::qvmray {

// Runs `qvmray ARGS...` (args excludes the program name). Returns the exit
// status: 0 on success, 1 on bad input, 2 on bad usage.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

}  // namespace qv::qvmray
