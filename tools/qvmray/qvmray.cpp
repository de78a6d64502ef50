#include "qvmray.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <thread>

#include "command_line.h"
#include "mi_render.h"
#include "probe.h"
#include "render.h"
#include "shader_library.h"

#ifndef QV_DEFAULT_SHADER_LIBRARY
#define QV_DEFAULT_SHADER_LIBRARY "qv_shotWeave.so"
#endif

namespace qv::qvmray {

namespace {

const char* const kUsage =
    "usage: qvmray probe SCENE.mi SHADER [--ray-type N] [--threads N] [--library PATH]\n"
    "              [--bind handle|global]\n"
    "       qvmray render SCENE.mi -o IMAGE [--samples N] [--threads N]\n"
    "              [--aov NAME[=FILE]]... [--quiet] [--plugins DIR] [--bind handle|global]\n"
    "  probe shades the points read from standard input, one per line as\n"
    "  'px py pz nx ny nz [dx dy dz]' (the ray direction defaults to the\n"
    "  reversed normal), and prints the shader's result, or 'false'.\n"
    "  Ray types: 0 eye (default), 1 transparent, 2 reflect, 3 refract,\n"
    "  4 light, 5 shadow, 6 environment, 16 displace.\n"
    "  render renders the scene from its camera with each object's material\n"
    "  into IMAGE (.png or .exr), N rays per pixel, and each --aov member of\n"
    "  the materials' result (outColor, outMask0 ...) into an OpenEXR file\n"
    "  (default: IMAGE's path without extension + \".NAME.exr\"). --plugins\n"
    "  names the folder of the shader library.\n"
    "  --bind says how shader libraries find the host's functions: through the\n"
    "  module handed to miSetModuleHandle (mental ray on Windows), or in the\n"
    "  process's global scope, with no module handed over (mental ray on Linux\n"
    "  and macOS). The default is this platform's.\n";

const tools::Tool kTool = {"qvmray", kUsage};

std::string parseBinding(const std::string& text, mrhost::Binding* binding) {
  if (text == "handle") {
    *binding = mrhost::Binding::kModuleHandle;
  } else if (text == "global") {
    *binding = mrhost::Binding::kGlobalScope;
  } else {
    return "--bind takes handle or global, not '" + text + "'";
  }
  return "";
}

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
    if (option == "--bind") return parseBinding(value, &options.binding);
    if (option == "--library") {
      options.library = value;
    } else if (!parseRayType(value, &options.rayType)) {
      return "--ray-type takes 0 to 6 or 16, not '" + value + "'";
    }
    return std::string();
  };
  std::vector<std::string> positional;
  if (!tools::scanArguments(kTool, args, {"--ray-type", "--threads", "--library", "--bind"}, set, 2,
                            &positional, err)) {
    return 2;
  }
  options.scenePath = positional[0];
  options.shader = positional[1];
  return probe(options, in, out, err);
}

bool hasExtension(const std::string& path, const std::string& extension) {
  std::string actual = std::filesystem::path(path).extension().string();
  std::transform(actual.begin(), actual.end(), actual.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return actual == extension;
}

// IMAGE without its extension, then ".NAME.exr" ("::" in NAME made "_").
std::string defaultAovPath(const std::string& image, std::string name) {
  for (std::size_t at; (at = name.find("::")) != std::string::npos;) name.replace(at, 2, "_");
  return (std::filesystem::path(image).replace_extension()).string() + "." + name + ".exr";
}

int runRender(const std::vector<std::string>& args, std::ostream& err) {
  RenderCommand command;
  command.pluginDir = std::filesystem::path(QV_DEFAULT_SHADER_LIBRARY).parent_path().string();
  command.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  // --quiet is the one option without a value.
  std::vector<std::string> rest;
  for (const std::string& arg : args) {
    if (arg == "--quiet") {
      command.quiet = true;
    } else {
      rest.push_back(arg);
    }
  }
  std::vector<std::pair<std::string, std::string>> aovs;  // name, file as given
  const auto set = [&](const std::string& option, const std::string& value) -> std::string {
    if (option == "-o") {
      command.imagePath = value;
    } else if (option == "--samples") {
      long samples = 0;
      if (!tools::parseWholeNumber(value, 1, 1024, &samples)) {
        return "--samples takes a whole number from 1 to 1024, not '" + value + "'";
      }
      command.samples = static_cast<int>(samples);
    } else if (option == "--threads") {
      return tools::parseThreads(value, &command.threads);
    } else if (option == "--plugins") {
      command.pluginDir = value;
    } else if (option == "--bind") {
      return parseBinding(value, &command.binding);
    } else {
      const std::size_t equals = value.find('=');
      const std::string name = value.substr(0, equals);
      const std::string file = equals == std::string::npos ? "" : value.substr(equals + 1);
      if (equals != std::string::npos && !hasExtension(file, ".exr")) {
        return "--aov " + name + " is written as OpenEXR: its file must end in .exr, not '" + file +
               "'";
      }
      aovs.emplace_back(name, file);
    }
    return "";
  };
  std::vector<std::string> positional;
  if (!tools::scanArguments(kTool, rest,
                            {"-o", "--samples", "--threads", "--aov", "--plugins", "--bind"}, set,
                            1, &positional, err)) {
    return 2;
  }
  if (command.imagePath.empty()) return tools::usageError(kTool, err, "render needs -o IMAGE");
  if (!hasExtension(command.imagePath, ".png") && !hasExtension(command.imagePath, ".exr")) {
    return tools::usageError(kTool, err,
                             "-o takes a .png or .exr file, not '" + command.imagePath + "'");
  }
  command.scenePath = positional[0];
  // The members are the declared ones, from beside the library. Where its
  // declarations cannot be read, the render says why.
  mrhost::Declarations declared;
  std::string unread;
  const std::string library = (std::filesystem::path(command.pluginDir) /
                               std::filesystem::path(QV_DEFAULT_SHADER_LIBRARY).filename())
                                  .string();
  if (mrhost::readDeclarations(mrhost::declarationFileOf(library), &declared, &unread)) {
    for (const auto& aov : aovs) {
      if (!mrhost::isAovName(declared, aov.first, nullptr)) {
        return tools::usageError(kTool, err,
                                 "--aov: '" + aov.first + "' is no member of the result of " +
                                     mrhost::kAovShader + " (" + mrhost::aovNames(declared) + ")");
      }
    }
  }
  for (const auto& [name, file] : aovs) {
    command.aovs.push_back({name, file.empty() ? defaultAovPath(command.imagePath, name) : file});
  }
  return render(command, err);
}

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
  if (!args.empty() && args[0] == "render") return runRender(args, err);
  return tools::runCommand(kTool, args, out, err, [&] { return runProbe(args, in, out, err); });
}

}  // namespace qv::qvmray
