#pragma once

#include <iosfwd>
#include <string>

#include "shader.h"

namespace qv::qvmray {

struct ProbeOptions {
  std::string scenePath;
  std::string shader;
  std::string library;
  miRay_type rayType = miRAY_EYE;
  int threads = 1;
};

int probe(const ProbeOptions& options, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace qv::qvmray
