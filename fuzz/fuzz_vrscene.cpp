// The V-Ray stand-in's .vrscene reader, and a scene it accepts loaded as
// qvray loads one: the plug-in instances of the host's own plug-ins and the
// project's texture libraries with their parameters set, the geometry and
// the render settings read. Every refusal is one "FILE:LINE: what" message.
#include "fuzz_support.h"
#include "plugin_manager.h"
#include "render_settings.h"
#include "scene.h"
#include "scene_geometry.h"
#include "vrscene.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace qv;

vrayhost::PluginManager* manager = nullptr;
std::string sceneFile;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::quietStreams();
  // Instances run the libraries' code, so the manager is never deleted.
  manager = new vrayhost::PluginManager;
  std::string error;
  if (!manager->addHostPlugins(&error) || !manager->loadDirectory(QV_PLUGIN_DIR, &error)) {
    std::fprintf(stderr, "fuzz_vrscene: %s\n", error.c_str());
    std::abort();
  }
  // The mesh a seed scene's GeomMeshFile names, beside the scene.
  sceneFile = (fuzz::scratchFolder() / "fuzz.vrscene").string();
  std::error_code ignored;
  fs::copy_file(QV_SOURCE_DIR "/examples/box.obj", fuzz::scratchFolder() / "box.obj", ignored);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const vrscene::ParseResult parsed = vrscene::parse(text, sceneFile);
  QV_FUZZ_CHECK(parsed.scene.has_value() == parsed.error.empty());
  if (!parsed.scene) {
    QV_FUZZ_CHECK(fuzz::startsWith(parsed.error, sceneFile + ":"));
    return 0;
  }
  std::string error;
  std::unique_ptr<vrayhost::Scene> scene = vrayhost::Scene::load(*parsed.scene, *manager, &error);
  QV_FUZZ_CHECK((scene != nullptr) == error.empty());
  if (!scene) QV_FUZZ_CHECK(fuzz::startsWith(error, sceneFile));
  error.clear();
  std::vector<host::SceneObject> objects;
  if (!vrayhost::collectSceneObjects(*parsed.scene, fuzz::scratchFolder().string(), &objects,
                                     &error)) {
    QV_FUZZ_CHECK(fuzz::startsWith(error, sceneFile));
  }
  error.clear();
  vrayhost::RenderSettings settings;
  if (!vrayhost::readRenderSettings(*parsed.scene, &settings, &error)) {
    QV_FUZZ_CHECK(fuzz::startsWith(error, sceneFile));
  }
  return 0;
}
