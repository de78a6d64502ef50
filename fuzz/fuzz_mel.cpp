// qvmaya running a MEL script or Maya ASCII file: the script reader and every
// command it drives in the Maya stand-in, with the project's four Maya
// plug-ins within reach of `requires` and `loadPlugin` as qvmaya finds them.
// The promise checked: status 0 and no message, or status 1 with messages.
#include "fuzz_support.h"
#include "qvmaya.h"
#include "scene_surfaces.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qv::fuzz::quietStreams();
  // A library libFuzzer instruments must stay mapped once loaded: its
  // coverage counters are read after every input. Each run's session loads
  // and unloads the plug-ins; holding every library of the folder here
  // keeps them in memory (their state is per node and per session, so
  // nothing carries over from one input to the next).
  // In name order, not the folder's own, so that the libraries land at the
  // same addresses whichever file system holds them.
  std::vector<std::filesystem::path> libraries;
  for (const auto& entry : std::filesystem::directory_iterator(QV_PLUGIN_DIR)) {
    if (entry.path().extension() == ".so") libraries.push_back(entry.path());
  }
  std::sort(libraries.begin(), libraries.end());
  for (const std::filesystem::path& library : libraries) {
    if (!dlopen(library.c_str(), RTLD_NOW | RTLD_NODELETE)) {
      std::fprintf(stderr, "fuzz_mel: %s\n", dlerror());
      std::abort();
    }
  }
  // Scripts find the plug-ins through a link in the scratch folder, whose
  // path is as long on every machine: the messages that name a plug-in
  // folder, and with them what an input covers, do not depend on where the
  // build lies.
  const std::filesystem::path plugins = qv::fuzz::scratchFolder() / "plug-ins";
  std::filesystem::create_directory_symlink(QV_PLUGIN_DIR, plugins);
  setenv("MAYA_PLUG_IN_PATH", plugins.c_str(), 1);
  // A script's relative `file -save` and `file -open` land in the scratch
  // folder, not wherever the fuzzer was started.
  std::filesystem::current_path(qv::fuzz::scratchFolder());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  std::ostringstream out, err;
  const int status = qv::qvmaya::run({}, in, out, err);
  QV_FUZZ_CHECK(status == 0 || status == 1);
  // Warnings (a missing plug-in, a type kept as an unknown node) leave the
  // status 0; only errors fail a run.
  QV_FUZZ_CHECK((status == 0) == (err.str().find("// Error") == std::string::npos));
  // A scene as Maya saves one is also opened and its meshes read, as the
  // preview reads them.
  if (text.rfind("//Maya ASCII", 0) == 0) {
    const std::filesystem::path scene = qv::fuzz::scratchFolder() / "opened.ma";
    std::FILE* file = std::fopen(scene.c_str(), "wb");
    QV_FUZZ_CHECK(file && std::fwrite(data, 1, size, file) == size);
    std::fclose(file);
    std::ostringstream sceneOut, sceneErr;
    qv::qvmaya::withScene(
        scene.string(), sceneOut, sceneErr,
        [](qv::maya::Host& host, qv::maya::Viewport&, const std::string&) {
          std::vector<std::string> notes;
          for (const auto& surface : qv::maya::savedSurfaces(host, &notes)) {
            const auto vertices = surface.mesh.vertices.size();
            for (const auto& triangle : surface.mesh.triangles) {
              for (auto corner : triangle) QV_FUZZ_CHECK(corner < vertices);
            }
            QV_FUZZ_CHECK(surface.uvs.size() == 3 * surface.mesh.triangles.size());
          }
          return 0;
        });
  }
  return 0;
}
