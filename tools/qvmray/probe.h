#pragma once

#include <iosfwd>
#include <string>

#include "shader.h"
#include "shader_library.h"

namespace qv::qvmray {

struct ProbeOptions {
  std::string scenePath;
  std::string shader;
  std::string library;
  miRay_type rayType = miRAY_EYE;
  int threads = 1;
  mrhost::Binding binding = mrhost::kPlatformBinding;
};

int probe(const ProbeOptions& options, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace qv::qvmray
