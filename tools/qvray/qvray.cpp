#include "qvray.h"

#include <cstdlib>
#include <ostream>

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

bool parseThreads(const std::string& text, int* threads) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 1 || value > 1024) return false;
  *threads = static_cast<int>(value);
  return true;
}

int runProbe(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
             std::ostream& err) {
  ProbeOptions options;
  options.pluginDir = QV_DEFAULT_PLUGIN_DIR;
  std::vector<std::string> positional;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--plugins" || arg == "--threads") {
      if (i + 1 >= args.size()) {
        err << "qvray: " << arg << " needs a value\n" << kUsage;
        return 2;
      }
      const std::string& value = args[++i];
      if (arg == "--plugins") {
        options.pluginDir = value;
      } else if (!parseThreads(value, &options.threads)) {
        err << "qvray: --threads takes a whole number from 1 to 1024, not '" << value << "'\n"
            << kUsage;
        return 2;
      }
    } else if (arg.rfind("--", 0) == 0) {
      err << "qvray: unknown option '" << arg << "'\n" << kUsage;
      return 2;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) {
    err << kUsage;
    return 2;
  }
  options.scenePath = positional[0];
  options.texture = positional[1];
  return probe(options, in, out, err);
}

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    (args.empty() ? err : out) << kUsage;
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "probe") return runProbe(args, in, out, err);
  err << "qvray: unknown command '" << args[0] << "'\n" << kUsage;
  return 2;
}

}  // namespace qv::qvray
