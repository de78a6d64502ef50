#include "qvmray.h"

#include "command_line.h"
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

const tools::Tool kTool = {"qvmray", kUsage};

// Only the ray types the shader interface names: any other value would not
// be a miRay_type at all.
bool parseRayType(const std::string& text, miRay_type* type) {
  long value = 0;
  if (!tools::parseWholeNumber(text, 0, 16, &value) || (value > 6 && value != 16)) return false;
  *type = static_cast<miRay_type>(value);
  return true;
}

int runProbe(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
             std::ostream& err) {
  ProbeOptions options;
  options.library = QV_DEFAULT_SHADER_LIBRARY;
  const auto set = [&](const std::string& option, const std::string& value) {
    if (option == "--threads") return tools::parseThreads(value, &options.threads);
    if (option == "--library") {
      options.library = value;
    } else if (!parseRayType(value, &options.rayType)) {
      return "--ray-type takes 0 to 6 or 16, not '" + value + "'";
    }
    return std::string();
  };
  std::vector<std::string> positional;
  if (!tools::scanArguments(kTool, args, {"--ray-type", "--threads", "--library"}, set, 2,
                            &positional, err)) {
    return 2;
  }
  options.scenePath = positional[0];
  options.shader = positional[1];
  return probe(options, in, out, err);
}

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
  return tools::runCommand(kTool, args, out, err, [&] { return runProbe(args, in, out, err); });
}

}  // namespace qv::qvmray
