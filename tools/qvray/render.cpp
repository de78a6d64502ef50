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
#include "plugin_manager.h"
#include "render_settings.h"
#include "scene.h"
#include "scene_geometry.h"
#include "tracer.h"

namespace qv::qvray {

namespace {

namespace fs = std::filesystem;

// An image is written beside its final name first and renamed into place
// only once every image of the render is written: a failed render leaves
// no partial file behind, and an image from an earlier render stays whole.
class PendingFiles {
 public:
  ~PendingFiles() { discard(); }

  // Creates the stand-in file for path now, so that a place that cannot be
  // written fails before the render rather than after it.
  bool claim(const std::string& path, std::string* error) {
    const fs::path final(path);
    const fs::path partial = final.parent_path() / (final.stem().string() + ".qvray-partial" +
                                                    final.extension().string());
    std::FILE* file = std::fopen(partial.string().c_str(), "wb");
    if (!file) {
      *error = "cannot write " + path + ": " + std::strerror(errno);
      return false;
    }
    std::fclose(file);
    files_.push_back({path, partial.string()});
    return true;
  }

  const std::string& partial(std::size_t i) const { return files_[i].partial; }

  // Moves every file into place; on failure removes whatever it moved.
  bool commit(std::string* error) {
    for (std::size_t i = 0; i < files_.size(); ++i) {
      std::error_code ec;
      fs::rename(files_[i].partial, files_[i].path, ec);
      if (ec) {
        *error = "cannot write " + files_[i].path + ": " + ec.message();
        for (std::size_t k = 0; k < i; ++k) fs::remove(files_[k].path, ec);
        return false;
      }
    }
    files_.clear();
    return true;
  }

  void discard() {
    std::error_code ec;
    for (const File& f : files_) fs::remove(f.partial, ec);
    files_.clear();
  }

 private:
  struct File {
    std::string path;
    std::string partial;
  };
  std::vector<File> files_;
};

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

int render(const RenderOptions& options, std::ostream& err) {
  const auto fail = [&](const std::string& message) {
    err << "qvray: " << message << "\n";
    return 1;
  };
  LoadedScene loaded;
  std::string error;
  if (!loaded.load(options, &error)) return fail(error);

  PendingFiles files;
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

  if (!image::write(files.partial(0), beauty, &error)) {
    return fail("cannot write " + options.imagePath + ": " + error);
  }
  for (std::size_t i = 0; i < extra.size(); ++i) {
    if (!image::write(files.partial(i + 1), extra[i], &error)) {
      return fail("cannot write " + options.outputs[i].file + ": " + error);
    }
  }
  if (!files.commit(&error)) return fail(error);
  err << summary(loaded.settings, stats) << "\n";
  return 0;
}

}  // namespace qv::qvray
