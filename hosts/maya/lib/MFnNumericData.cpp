#include "api_support.h"

#include <maya/MFnNumericData.h>

QV_FN_CONSTRUCTOR(MFnNumericData)
