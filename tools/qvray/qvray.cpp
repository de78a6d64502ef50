#include "qvray.h"

#include "command_line.h"
#include "probe.h"

#ifndef QV_DEFAULT_PLUGIN_DIR
#define QV_DEFAULT_PLUGIN_DIR "."
#endif

namespace qv::qvray {

namespace {

const char* const kUsage =
    "usage: qvray probe SCENE.vrscene TEXTURE[::OUTPUT] [--plugins DIR] [--threads N]\n"
    "  Shades the points read from standard input, one per line as\n"
    "  'px py pz nx ny nz', and prints the texture's colour (r g b a) or float.\n";

const tools::Tool kTool = {"qvray", kUsage};

int runProbe(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
             std::ostream& err) {
  ProbeOptions options;
  options.pluginDir = QV_DEFAULT_PLUGIN_DIR;
  const auto set = [&](const std::string& option, const std::string& value) {
    if (option == "--threads") return tools::parseThreads(value, &options.threads);
    options.pluginDir = value;
    return std::string();
  };
  std::vector<std::string> positional;
  if (!tools::scanArguments(kTool, args, {"--plugins", "--threads"}, set, 2, &positional, err)) {
    return 2;
  }
  options.scenePath = positional[0];
  options.texture = positional[1];
  return probe(options, in, out, err);
}

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
  return tools::runCommand(kTool, args, out, err, [&] { return runProbe(args, in, out, err); });
}

}  // namespace qv::qvray
