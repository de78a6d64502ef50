#include "qvray.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <thread>

#include "command_line.h"
#include "probe.h"
#include "render.h"

#ifndef QV_DEFAULT_PLUGIN_DIR
#define QV_DEFAULT_PLUGIN_DIR "."
#endif

namespace qv::qvray {

namespace {

const char* const kUsage =
    "usage: qvray probe SCENE.vrscene TEXTURE[::OUTPUT] [--plugins DIR] [--threads N]\n"
    "       qvray render SCENE.vrscene -o IMAGE [--samples N] [--threads N]\n"
    "                    [--aov TEXTURE[::OUTPUT][=FILE]]... [--quiet] [--plugins DIR]\n"
    "  probe shades the points read from standard input, one per line as\n"
    "  'px py pz nx ny nz', and prints the texture's colour (r g b a) or float.\n"
    "  render renders the scene from its RenderView into IMAGE (.png or .exr),\n"
    "  N camera rays per pixel, each --aov into a float .exr of its own.\n";

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

bool hasExtension(const std::string& path, const char* extension) {
  std::string actual = std::filesystem::path(path).extension().string();
  std::transform(actual.begin(), actual.end(), actual.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return actual == extension;
}

// An --aov value: TEXTURE[::OUTPUT], then optionally =FILE.
std::string parseOutput(const std::string& value, const std::string& imagePath,
                        std::vector<ExtraOutput>* outputs) {
  const std::size_t equals = value.find('=');
  ExtraOutput output;
  output.texture = value.substr(0, equals);
  if (equals != std::string::npos) output.file = value.substr(equals + 1);
  if (output.texture.empty() || (equals != std::string::npos && output.file.empty())) {
    return "--aov takes TEXTURE[::OUTPUT][=FILE], not '" + value + "'";
  }
  if (output.file.empty()) output.file = defaultOutputFile(imagePath, output.texture);
  if (!hasExtension(output.file, ".exr")) {
    return "--aov writes OpenEXR: '" + output.file + "' must end in .exr";
  }
  outputs->push_back(output);
  return "";
}

int runRender(const std::vector<std::string>& args, std::ostream& err) {
  RenderOptions options;
  options.pluginDir = QV_DEFAULT_PLUGIN_DIR;
  options.threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  // --quiet is the one option without a value.
  std::vector<std::string> rest;
  for (const std::string& arg : args) {
    if (arg == "--quiet") {
      options.quiet = true;
    } else {
      rest.push_back(arg);
    }
  }
  // Outputs without a file of their own are named after the image, which
  // may come later on the line.
  std::vector<std::string> outputs;
  const auto set = [&](const std::string& option, const std::string& value) {
    if (option == "--threads") return tools::parseThreads(value, &options.threads);
    if (option == "--samples") {
      long samples = 0;
      if (!tools::parseWholeNumber(value, 1, 1024, &samples)) {
        return "--samples takes a whole number from 1 to 1024, not '" + value + "'";
      }
      options.samples = static_cast<int>(samples);
    } else if (option == "--aov") {
      outputs.push_back(value);
    } else if (option == "-o") {
      options.imagePath = value;
    } else {
      options.pluginDir = value;
    }
    return std::string();
  };
  std::vector<std::string> positional;
  if (!tools::scanArguments(kTool, rest, {"-o", "--samples", "--threads", "--aov", "--plugins"},
                            set, 1, &positional, err)) {
    return 2;
  }
  options.scenePath = positional[0];
  if (options.imagePath.empty()) return tools::usageError(kTool, err, "render needs -o IMAGE");
  if (!hasExtension(options.imagePath, ".png") && !hasExtension(options.imagePath, ".exr")) {
    return tools::usageError(kTool, err,
                             "IMAGE must end in .png or .exr, not '" + options.imagePath + "'");
  }
  // Compared as absolute paths: "out.exr" and "./out.exr" are one file.
  const auto place = [](const std::string& file) {
    return std::filesystem::absolute(file).lexically_normal();
  };
  std::vector<std::filesystem::path> files = {place(options.imagePath)};
  for (const std::string& value : outputs) {
    const std::string complaint = parseOutput(value, options.imagePath, &options.outputs);
    if (!complaint.empty()) return tools::usageError(kTool, err, complaint);
    const std::string& file = options.outputs.back().file;
    if (std::find(files.begin(), files.end(), place(file)) != files.end()) {
      return tools::usageError(kTool, err, "two images would be written to '" + file + "'");
    }
    files.push_back(place(file));
  }
  return render(options, err);
}

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
  if (!args.empty() && args[0] == "render") return runRender(args, err);
  return tools::runCommand(kTool, args, out, err, [&] { return runProbe(args, in, out, err); });
}

}  // namespace qv::qvray
