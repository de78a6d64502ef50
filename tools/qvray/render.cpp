#include "render.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <system_error>

#include "frame_renderer.h"
#include "image_file.h"
#include "output_files.h"
#include "plugin_manager.h"
#include "render_settings.h"
#include "scene.h"
#include "scene_geometry.h"
#include "tracer.h"

namespace qv::qvray {

namespace {

namespace fs = std::filesystem;

std::string nodeReference(const vrscene::PluginRef& ref) {
  return ref.plugin + (ref.output.empty() ? "" : "::" + ref.output);
}

std::string summary(const vrayhost::RenderSettings& settings, const vrayhost::FrameStats& stats) {
  const double seconds = stats.seconds > 0.0 ? stats.seconds : 1e-9;
  const double rays = static_cast<double>(stats.cameraRays + stats.shaderRays);
  char line[160];
  std::snprintf(line, sizeof line, "qvray: %dx%d, %.2f s, %.2f M shading points/s, %.2f M rays/s",
                settings.width, settings.height, stats.seconds,
                static_cast<double>(stats.shadingPoints) / seconds * 1e-6, rays / seconds * 1e-6);
  return line;
}

// Everything a render needs, loaded in the order that gives the most useful
// first message. The manager outlives the scene made from its libraries.
struct LoadedScene {
  vrayhost::PluginManager manager;
  std::optional<vrscene::Scene> description;
  std::unique_ptr<vrayhost::Scene> scene;
  vrayhost::RenderSettings settings;
  host::Tracer tracer;
  vrayhost::FrameContent content;

  bool load(const RenderOptions& options, std::string* error) {
    if (!manager.loadDirectory(options.pluginDir, error) || !manager.addHostPlugins(error)) {
      return false;
    }
    vrscene::ParseResult parsed = vrscene::parseFile(options.scenePath);
    if (!parsed.scene) {
      *error = parsed.error;
      return false;
    }
    description = std::move(parsed.scene);
    scene = vrayhost::Scene::load(*description, manager, error);
    if (!scene || !vrayhost::readRenderSettings(*description, &settings, error)) return false;

    std::vector<host::SceneObject> objects;
    std::vector<vrayhost::NodeTexture> shown;
    const std::string sceneDir = fs::path(options.scenePath).parent_path().string();
    if (!vrayhost::collectSceneObjects(*description, sceneDir, &objects, error, &shown)) {
      return false;
    }
    for (std::size_t i = 0; i < objects.size(); ++i) {
      vrayhost::TextureOutput texture;
      std::string reason;
      if (shown[i].texture && !scene->resolve(*shown[i].texture, &texture, &reason)) {
        *error = options.scenePath + ":" + std::to_string(shown[i].line) + ": Node '" +
                 objects[i].name + "' shows '" + nodeReference(*shown[i].texture) + "': " + reason;
        return false;
      }
      content.objectTextures.push_back(texture);
    }
    if (!tracer.build(std::move(objects), error)) {
      *error = options.scenePath + ": " + *error;
      return false;
    }
    for (const ExtraOutput& output : options.outputs) {
      vrayhost::TextureOutput texture;
      std::string reason;
      if (!scene->resolve(output.texture, &texture, &reason)) {
        *error = options.scenePath + ": --aov " + output.texture + ": " + reason;
        return false;
      }
      content.outputs.push_back(texture);
    }
    return true;
  }
};

}  // namespace

std::string defaultOutputFile(const std::string& imagePath, const std::string& texture) {
  std::string name = texture;
  for (std::size_t at = name.find("::"); at != std::string::npos; at = name.find("::", at + 1)) {
    name.replace(at, 2, "_");
  }
  fs::path path(imagePath);
  path.replace_extension();
  return path.string() + "." + name + ".exr";
}

namespace {

int renderScene(const RenderOptions& options, std::ostream& err) {
  const auto fail = [&](const std::string& message) {
    err << "qvray: " << message << "\n";
    return 1;
  };
  LoadedScene loaded;
  std::string error;
  if (!loaded.load(options, &error)) return fail(error);

  tools::OutputFiles files("qvray");
  if (!files.claim(options.imagePath, &error)) return fail(error);
  for (const ExtraOutput& output : options.outputs) {
    if (!files.claim(output.file, &error)) return fail(error);
  }

  vrayhost::StandInRenderer renderer(options.threads);
  renderer.setTracer(&loaded.tracer);
  vrayhost::FrameOptions frameOptions;
  frameOptions.samples = options.samples;
  if (!options.quiet) {
    frameOptions.progress = [&err](int percent) {
      char text[32];
      std::snprintf(text, sizeof text, "\rrendering %3d%%", percent);
      err << text << std::flush;
    };
  }
  image::Rgba beauty;
  std::vector<image::Rgba> extra;
  const vrayhost::FrameStats stats =
      vrayhost::renderFrame(*loaded.scene, renderer, loaded.tracer, loaded.settings, loaded.content,
                            frameOptions, &beauty, &extra);
  if (!options.quiet) err << "\n";

  if (!image::write(files.temporary(0), beauty, &error)) {
    return fail("cannot write " + options.imagePath + ": " + error);
  }
  for (std::size_t i = 0; i < extra.size(); ++i) {
    if (!image::write(files.temporary(i + 1), extra[i], &error)) {
      return fail("cannot write " + options.outputs[i].file + ": " + error);
    }
  }
  if (!files.commit(&error)) return fail(error);
  err << summary(loaded.settings, stats) << "\n";
  return 0;
}

}  // namespace

int render(const RenderOptions& options, std::ostream& err) {
  // What still fails past the readers' limits is memory: a frame of the
  // largest size with its outputs.
  return tools::guard("qvray", options.scenePath + ": cannot render", err,
                      [&] { return renderScene(options, err); });
}

}  // namespace qv::qvray
