// qvray render: renders a .vrscene through its RenderView into an image
// file, with any texture output as an extra float image.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qv::qvray {

struct ExtraOutput {
  std::string texture;  // TEXTURE or TEXTURE::OUTPUT
  std::string file;     // an .exr file
};

struct RenderOptions {
  std::string scenePath;
  std::string imagePath;  // .png or .exr
  std::string pluginDir;
  int samples = 1;
  int threads = 1;
  bool quiet = false;
  std::vector<ExtraOutput> outputs;
};

// Where an output goes without a file of its own: IMAGE's path without its
// extension, ".", the texture with "::" made "_", ".exr".
std::string defaultOutputFile(const std::string& imagePath, const std::string& texture);

// Renders and writes every image, or none. Progress and the closing summary
// go to err; returns the exit status (0, or 1 on bad input).
int render(const RenderOptions& options, std::ostream& err);

}  // namespace qv::qvray
