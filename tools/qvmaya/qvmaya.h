// The qvmaya command line, callable from tests as well as from main().
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qv::qvmaya {

// Runs `qvmaya ARGS...` (args excludes the program name): the scripts named,
// or standard input when none is. Returns 0, 1 when any command failed, or 2
// on bad usage.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

// Where `requires` looks for a plug-in: the folders of MAYA_PLUG_IN_PATH, or
// the build's plug-in folder when that is unset.
std::vector<std::string> pluginSearchPath();

}  // namespace qv::qvmaya
