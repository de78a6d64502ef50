// qvmaya running a MEL script or Maya ASCII file: the script reader and every
// command it drives in the Maya stand-in, with the project's four Maya
// plug-ins within reach of `requires` and `loadPlugin` as qvmaya finds them.
// The promise checked: status 0 and no message, or status 1 with messages.
#include "fuzz_support.h"
#include "qvmaya.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
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
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out, err;
  const int status = qv::qvmaya::run({}, in, out, err);
  QV_FUZZ_CHECK(status == 0 || status == 1);
  QV_FUZZ_CHECK((status == 0) == err.str().empty());
  return 0;
}
