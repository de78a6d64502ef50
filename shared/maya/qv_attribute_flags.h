// The two fixed sets of attribute flags: inputs are keyable, storable,
// readable and writable; outputs are readable only.
#pragma once

#include <maya/MFnAttribute.h>

namespace qv::maya {

// Each flag call passes through the status check, reporting file and line.
void setInputFlags(MFnAttribute& attribute, const char* file, int line);
void setOutputFlags(MFnAttribute& attribute, const char* file, int line);

}  // namespace qv::maya

// All four checks report the line of the macro.
#define QV_MAKE_INPUT(attribute) ::qv::maya::setInputFlags((attribute), __FILE__, __LINE__)
#define QV_MAKE_OUTPUT(attribute) ::qv::maya::setOutputFlags((attribute), __FILE__, __LINE__)
