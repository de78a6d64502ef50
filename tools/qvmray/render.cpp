// qvmray render: a .mi scene rendered from its camera through the shader
// library, the way mental ray renders a frame.
#include "render.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "image_file.h"
#include "input_limits.h"
#include "mi_render.h"
#include "mi_scene.h"
#include "output_files.h"
#include "render_session.h"
#include "shader_library.h"
#include "text_lexer.h"
#include "tracer.h"

#ifndef QV_SHADER_LIBRARY_FILE
#define QV_SHADER_LIBRARY_FILE "qv_shotWeave.so"
#endif

namespace qv::qvmray {

namespace {

namespace fs = std::filesystem;

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

  // As mental ray for Maya loads the libraries on its shader path at start,
  // with the declarations beside them; the scene may link more.
  const std::string libraryPath = (fs::path(command.pluginDir) / QV_SHADER_LIBRARY_FILE).string();
  mrhost::ShaderLibraries libraries(command.pluginDir, command.binding);
  std::string error;
  if (!libraries.load(libraryPath, &error)) return fail(error);
  mrhost::MiReadOptions reading;
  reading.declarations = &libraries.declarations();
  reading.linker = &libraries;
  reading.includeFolders = {command.pluginDir};
  const mrhost::MiParseResult parsed = mrhost::readMi(command.scenePath, reading);
  if (!parsed.scene) return fail(parsed.error);
  const mrhost::MiScene& scene = *parsed.scene;
  if (!scene.camera) {
    return fail(command.scenePath +
                " has no camera to render from (camera \"NAME\" ... end camera)");
  }
  if (const std::string over = host::pixelLimitMessage(scene.camera->width, scene.camera->height,
                                                       host::kMaxRenderPixels, "a render");
      !over.empty()) {
    return fail(command.scenePath + ":" + std::to_string(scene.camera->line) + ": camera '" +
                host::shown(scene.camera->name) + "': resolution " + over);
  }
  std::vector<host::SceneObject> objects;
  std::vector<image::Picture> textures;
  if (!mrhost::loadObjects(scene, &objects, &error) ||
      !mrhost::loadTextures(scene, &textures, &error)) {
    return fail(error);
  }
  host::Tracer tracer;
  if (!tracer.build(std::move(objects), &error)) return fail(command.scenePath + ": " + error);
  mrhost::RenderSession session(scene, tracer, libraries, &textures);
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
  tools::OutputFiles files("qvmray");
  if (!files.claim(command.imagePath, &error)) return fail(error);
  for (const AovOutput& aov : command.aovs) {
    if (!files.claim(aov.path, &error)) return fail(error);
  }
  const auto start = std::chrono::steady_clock::now();
  const mrhost::RenderResult result = mrhost::render(session, scene, tracer, options);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  if (!image::write(files.temporary(0), result.image, &error)) {
    return fail("cannot write " + command.imagePath + ": " + error);
  }
  for (std::size_t k = 0; k < command.aovs.size(); ++k) {
    if (!image::write(files.temporary(k + 1), result.aovs[k], &error)) {
      return fail("cannot write " + command.aovs[k].path + ": " + error);
    }
  }
  if (!files.commit(&error)) return fail(error);
  err << summary(result.image, seconds, result) << "\n";
  return 0;
}

}  // namespace

int render(const RenderCommand& command, std::ostream& err) {
  // Past the resolution limit, a frame with many outputs may still not fit
  // in memory.
  return tools::guard("qvmray", command.scenePath + ": cannot render", err,
                      [&] { return renderScene(command, err); });
}

}  // namespace qv::qvmray
