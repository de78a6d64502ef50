#include "qvmray.h"

#include <cstdlib>
#include <ostream>

#include "probe.h"

#ifndef QV_DEFAULT_SHADER_LIBRARY
#define QV_DEFAULT_SHADER_LIBRARY "qv_shotWeave.so"
#endif

namespace qv::qvmray {

namespace {

const char* const kUsage =
    "usage: qvmray probe SCENE.mi SHADER [--ray-type N] [--threads N] [--library PATH]\n"
    "  Shades the points read from standard input, one per line as\n"
    "  'px py pz nx ny nz [dx dy dz]' (the ray direction defaults to the\n"
    "  reversed normal), and prints the shader's result, or 'false'.\n"
    "  Ray types: 0 eye (default), 1 transparent, 2 reflect, 3 refract,\n"
    "  4 light, 5 shadow, 6 environment, 16 displace.\n";

bool parseWhole(const std::string& text, long low, long high, long* value) {
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

// Only the ray types the shader interface names: any other value would not
// be a miRay_type at all.
bool parseRayType(const std::string& text, miRay_type* type) {
  long value = 0;
  if (!parseWhole(text, 0, 16, &value) || (value > 6 && value != 16)) return false;
  *type = static_cast<miRay_type>(value);
  return true;
}

int runProbe(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
             std::ostream& err) {
  ProbeOptions options;
  options.library = QV_DEFAULT_SHADER_LIBRARY;
  std::vector<std::string> positional;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--ray-type" || arg == "--threads" || arg == "--library") {
      if (i + 1 >= args.size()) {
        err << "qvmray: " << arg << " needs a value\n" << kUsage;
        return 2;
      }
      const std::string& value = args[++i];
      long threads = 0;
      if (arg == "--library") {
        options.library = value;
      } else if (arg == "--threads") {
        if (!parseWhole(value, 1, 1024, &threads)) {
          err << "qvmray: --threads takes a whole number from 1 to 1024, not '" << value << "'\n"
              << kUsage;
          return 2;
        }
        options.threads = static_cast<int>(threads);
      } else if (!parseRayType(value, &options.rayType)) {
        err << "qvmray: --ray-type takes 0 to 6 or 16, not '" << value << "'\n" << kUsage;
        return 2;
      }
    } else if (arg.rfind("--", 0) == 0) {
      err << "qvmray: unknown option '" << arg << "'\n" << kUsage;
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
  options.shader = positional[1];
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
  err << "qvmray: unknown command '" << args[0] << "'\n" << kUsage;
  return 2;
}

}  // namespace qv::qvmray
