// qvmray render: a .mi scene rendered from its camera through the shader
// library, the way mental ray renders a frame.
#include "render.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "image_file.h"
#include "mi_render.h"
#include "mi_scene.h"
#include "render_session.h"
#include "shader_library.h"
#include "tracer.h"

#ifndef QV_SHADER_LIBRARY_FILE
#define QV_SHADER_LIBRARY_FILE "qv_shotWeave.so"
#endif

namespace qv::qvmray {

namespace {

namespace fs = std::filesystem;

// Every image goes to a hidden file beside its final place first, and all of
// them are renamed once all are written: a failed render leaves no image.
class ImageWriter {
 public:
  ~ImageWriter() {
    for (const auto& [temporary, final] : files_) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
    }
  }

  bool write(const std::string& path, const image::Rgba& picture, std::string* error) {
    const fs::path target(path);
    const fs::path temporary =
        target.parent_path() / ("." + target.stem().string() + ".qvmray-" +
                                std::to_string(::getpid()) + target.extension().string());
    files_.emplace_back(temporary, target);
    return image::write(temporary.string(), picture, error);
  }

  // All or none: images already in place when a rename fails are removed.
  bool commit(std::string* error) {
    for (std::size_t i = 0; i < files_.size(); ++i) {
      std::error_code ec;
      fs::rename(files_[i].first, files_[i].second, ec);
      if (ec) {
        *error = files_[i].second.string() + ": " + ec.message();
        for (std::size_t done = 0; done < i; ++done) fs::remove(files_[done].second, ec);
        return false;
      }
    }
    files_.clear();
    return true;
  }

 private:
  std::vector<std::pair<fs::path, fs::path>> files_;
};

std::string summary(const image::Rgba& picture, double seconds, const mrhost::RenderResult& r) {
  const double perSecond = 1e-6 / std::max(seconds, 1e-9);
  char line[160];
  std::snprintf(line, sizeof line, "qvmray: %dx%d, %.2f s, %.2f M shading points/s, %.2f M rays/s",
                picture.width, picture.height, seconds,
                static_cast<double>(r.shadingPoints) * perSecond,
                static_cast<double>(r.rays) * perSecond);
  return line;
}

int renderScene(const RenderCommand& command, std::ostream& err) {
  const auto fail = [&](const std::string& message) {
    err << "qvmray: " << message << "\n";
    return 1;
  };
  for (const std::string& path : [&] {
         std::vector<std::string> paths = {command.imagePath};
         for (const AovOutput& aov : command.aovs) paths.push_back(aov.path);
         return paths;
       }()) {
    const fs::path folder = fs::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
      return fail(path + ": no folder " + folder.string() + " to write to");
    }
  }

  const std::string libraryPath = (fs::path(command.pluginDir) / QV_SHADER_LIBRARY_FILE).string();
  mrhost::ShaderLibrary library;
  std::string error;
  if (!library.load(libraryPath, &error)) return fail(error);
  const mrhost::MiParseResult parsed = mrhost::readMi(command.scenePath);
  if (!parsed.scene) return fail(parsed.error);
  const mrhost::MiScene& scene = *parsed.scene;
  if (!scene.camera) {
    return fail(command.scenePath +
                " has no camera to render from (camera \"NAME\" ... end camera)");
  }
  std::vector<host::SceneObject> objects;
  std::vector<image::Rgba> textures;
  if (!mrhost::loadObjects(scene, &objects, &error) ||
      !mrhost::loadTextures(scene, &textures, &error)) {
    return fail(error);
  }
  host::Tracer tracer;
  if (!tracer.build(std::move(objects), &error)) return fail(command.scenePath + ": " + error);
  mrhost::RenderSession session(scene, tracer, library, &textures);
  if (!session.prepareMaterials(&error)) return fail(error);

  mrhost::RenderOptions options;
  options.samples = command.samples;
  options.threads = command.threads;
  for (const AovOutput& aov : command.aovs) options.aovs.push_back(aov.name);
  int shownPercent = -1;
  if (!command.quiet) {
    options.progress = [&](int done, int rows) {
      const int percent = static_cast<int>(100LL * done / rows);
      if (percent == shownPercent) return;
      shownPercent = percent;
      char text[32];
      std::snprintf(text, sizeof text, "\rrendering %3d%%", percent);
      err << text << (done == rows ? "\n" : "") << std::flush;
    };
  }
  const auto start = std::chrono::steady_clock::now();
  const mrhost::RenderResult result = mrhost::render(session, scene, tracer, options);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  ImageWriter writer;
  if (!writer.write(command.imagePath, result.image, &error)) return fail(error);
  for (std::size_t k = 0; k < command.aovs.size(); ++k) {
    if (!writer.write(command.aovs[k].path, result.aovs[k], &error)) return fail(error);
  }
  if (!writer.commit(&error)) return fail(error);
  err << summary(result.image, seconds, result) << "\n";
  return 0;
}

}  // namespace

int render(const RenderCommand& command, std::ostream& err) {
  // Images of the largest resolutions may not fit in memory.
  try {
    return renderScene(command, err);
  } catch (const std::exception& e) {
    err << "qvmray: " << command.scenePath << ": cannot render (" << e.what() << ")\n";
    return 1;
  }
}

}  // namespace qv::qvmray
