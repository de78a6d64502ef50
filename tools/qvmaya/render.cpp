#include "render.h"

#include "command_line.h"
#include "image_file.h"
#include "input_limits.h"
#include "output_files.h"
#include "qvmaya.h"
#include "viewport_render.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <ostream>

namespace qv::qvmaya {
namespace {

namespace fs = std::filesystem;

const char* const kUsage =
    "usage: qvmaya render SCENE.ma -o IMAGE [--camera NAME] [-w W] [-h H] [--quiet] [--cpu]\n"
    "                     [--engine directx11|opengl-core]\n"
    "  Opens the scene as `file -open` does, runs one Viewport 2.0 draw update and\n"
    "  renders what the viewport shows through the camera (a camera shape or its\n"
    "  transform, persp as in Maya's panels; default: the scene's first camera other\n"
    "  than the startup ones, else persp), W x H pixels (default 640 x 360), into\n"
    "  IMAGE (.png or .exr). The viewport plug-ins' shade fragments run on a\n"
    "  Vulkan device; --cpu (or no device) uses their CPU references instead.\n"
    "  --engine is Viewport 2.0's rendering engine, whose implementation of the\n"
    "  fragments runs: directx11 (HLSL, the default) or opengl-core (GLSL).\n"
    "  --quiet leaves out the progress.\n";

const tools::Tool kTool = {"qvmaya", kUsage};

struct Options {
  std::string scene;
  std::string image;
  maya::PreviewOptions preview;
  maya::Engine engine = maya::Engine::kDirectX11;
  bool quiet = false;
};

// "" when the arguments make a render, else what is wrong with them.
std::string parse(const std::vector<std::string>& args, Options* options, bool* help) {
  std::vector<std::string> positional;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) return arg + " needs a value";
      *out = args[++i];
      return std::string();
    };
    const auto size = [&](int* out) {
      std::string text;
      if (std::string complaint = value(&text); !complaint.empty()) return complaint;
      long number = 0;
      if (!tools::parseWholeNumber(text, 1, 16384, &number)) {
        return arg + " takes a whole number from 1 to 16384, not '" + text + "'";
      }
      *out = static_cast<int>(number);
      return std::string();
    };
    std::string complaint;
    if (arg == "--help") {
      *help = true;
    } else if (arg == "-o" || arg == "--output") {
      complaint = value(&options->image);
    } else if (arg == "--camera") {
      complaint = value(&options->preview.camera);
    } else if (arg == "-w" || arg == "--width") {
      complaint = size(&options->preview.width);
    } else if (arg == "-h" || arg == "--height") {
      complaint = size(&options->preview.height);
    } else if (arg == "--quiet") {
      options->quiet = true;
    } else if (arg == "--cpu") {
      options->preview.cpu = true;
    } else if (arg == "--engine") {
      std::string name;
      complaint = value(&name);
      if (complaint.empty() && !maya::engineByName(name, &options->engine)) {
        complaint = "--engine takes directx11 or opengl-core, not '" + name + "'";
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      complaint = "unknown option '" + arg + "'";
    } else {
      positional.push_back(arg);
    }
    if (!complaint.empty()) return complaint;
  }
  if (*help) return "";
  if (positional.size() != 1) return "render takes one scene file";
  options->scene = positional[0];
  if (options->image.empty()) return "render needs -o IMAGE";
  const std::string extension = fs::path(options->image).extension().string();
  if (extension != ".png" && extension != ".exr") {
    return "IMAGE must end in .png or .exr, not '" + options->image + "'";
  }
  return "";
}

std::string summary(const maya::PreviewOptions& options, const maya::PreviewResult& result,
                    double seconds) {
  const double per = seconds > 0.0 ? 1e-6 / seconds : 0.0;
  char line[160];
  std::snprintf(line, sizeof line, "qvmaya: %dx%d, %.2f s, %.2f M shading points/s, %.2f M rays/s",
                options.width, options.height, seconds,
                static_cast<double>(result.shadingPoints) * per,
                static_cast<double>(result.cameraRays) * per);
  return line;
}

}  // namespace

int render(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options options;
  bool help = false;
  const std::string complaint = parse(args, &options, &help);
  if (help) {
    out << kUsage;
    return 0;
  }
  if (!complaint.empty()) return tools::usageError(kTool, err, complaint);
  if (const std::string over =
          host::pixelLimitMessage(options.preview.width, options.preview.height,
                                  host::kMaxRenderPixels, "a render", "-w", "-h");
      !over.empty()) {
    return tools::usageError(kTool, err, over);
  }

  return tools::guard("qvmaya", options.scene + ": cannot render", err, [&] {
    return withScene(
        options.scene, out, err,
        [&](maya::Host& host, maya::Viewport& viewport, const std::string& folder) {
          const auto fail = [&](const std::string& message) {
            err << "qvmaya: " << message << "\n";
            return 1;
          };
          std::string error;
          tools::OutputFiles files("qvmaya");
          if (!files.claim(options.image, &error)) return fail(error);
          options.preview.sceneFolder = folder;
          viewport.setEngine(options.engine);
          bool progressShown = false;
          if (!options.quiet) {
            options.preview.progress = [&err, &progressShown](int percent) {
              char text[32];
              std::snprintf(text, sizeof text, "\rrendering %3d%%", percent);
              err << text << std::flush;
              progressShown = true;
            };
          }
          maya::PreviewResult result;
          const auto start = std::chrono::steady_clock::now();
          const bool rendered =
              maya::renderPreview(host, viewport, options.preview, &result, &error);
          const double seconds =
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
          if (progressShown) err << "\n";
          if (!result.noDevice.empty()) {
            err << "qvmaya: no Vulkan device (" << result.noDevice
                << "); using the CPU reference of the shaders\n";
          }
          if (!result.tooLargeForDevice.empty()) {
            err << "qvmaya: " << result.tooLargeForDevice
                << "; using the CPU reference of the shaders\n";
          }
          for (const std::string& note : result.notes) err << "qvmaya: " << note << "\n";
          if (!rendered) return fail(error);
          if (!image::write(files.temporary(0), result.image, &error)) {
            return fail("cannot write " + options.image + ": " + error);
          }
          if (!files.commit(&error)) return fail(error);
          err << summary(options.preview, result, seconds) << "\n";
          return 0;
        });
  });
}

}  // namespace qv::qvmaya
