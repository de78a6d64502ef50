#pragma once

#include <iosfwd>
#include <string>

namespace qv::qvray {

struct ProbeOptions {
  std::string scenePath;
  std::string texture;  // TEXTURE or TEXTURE::OUTPUT
  std::string pluginDir;
  int threads = 1;
};

int probe(const ProbeOptions& options, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace qv::qvray
