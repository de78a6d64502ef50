#include "qv_status_check.h"

#include <iostream>

namespace qv::maya {

void checkStatus(const MStatus& status, const char* file, int line) {
  if (!status.error()) return;
  std::cerr << "\nAPI error detected in " << file << " at line " << line << std::endl;
  status.perror("");
}

}  // namespace qv::maya
