#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "shader_library.h"

namespace qv::qvmray {

struct AovOutput {
  std::string name;  // a member of the materials' result
  std::string path;  // an OpenEXR file
};

struct RenderCommand {
  std::string scenePath;
  std::string imagePath;  // .png or .exr
  std::string pluginDir;  // where the shader library is looked for
  std::vector<AovOutput> aovs;
  int samples = 1;
  int threads = 1;
  bool quiet = false;
  mrhost::Binding binding = mrhost::kPlatformBinding;
};

// Renders and writes the images; progress and the summary go to `err`.
// Returns 0, or 1 after one message.
int render(const RenderCommand& command, std::ostream& err);

}  // namespace qv::qvmray
