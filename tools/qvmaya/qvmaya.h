// The qvmaya command line, callable from tests as well as from main().
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace qv::maya {
class Host;
class Viewport;
}  // namespace qv::maya

namespace qv::qvmaya {

// Runs `qvmaya ARGS...` (args excludes the program name): the scripts named,
// or standard input when none is. Returns 0, 1 when any command failed, or 2
// on bad usage.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

// What runs on a scene that opened: its session's host and viewport and the
// scene file's folder; returns the exit status.
using SceneUser =
    std::function<int(maya::Host& host, maya::Viewport& viewport, const std::string& folder)>;

// Opens the scene in a fresh session as `file -open` does (plug-ins that it
// requires are found as `requires` finds them), stopping at its first
// failing command, and runs `use` on it. A scene that does not open gets one
// message, "qvmaya: FILE line N: what", and exit status 1.
int withScene(const std::string& path, std::ostream& out, std::ostream& err, const SceneUser& use);

// Where `requires` looks for a plug-in: the folders of MAYA_PLUG_IN_PATH, or
// the build's plug-in folder when that is unset.
std::vector<std::string> pluginSearchPath();

}  // namespace qv::qvmaya
