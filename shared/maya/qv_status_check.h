// The one reporting step that follows a Maya API call: a failed status is
// reported with the file and line of the check, and execution goes on.
#pragma once

#include <maya/MStatus.h>

namespace qv::maya {

// On failure writes "\nAPI error detected in <file> at line <line>" and a line
// end to the standard error stream, then perror("") on the status. Never
// returns early on the caller's behalf.
void checkStatus(const MStatus& status, const char* file, int line);

}  // namespace qv::maya

// A macro, so that the file and line reported are those of the check itself.
#define QV_CHECK_MSTATUS(status) ::qv::maya::checkStatus((status), __FILE__, __LINE__)
