#include "api_support.h"

#include <maya/MFnData.h>

QV_FN_CONSTRUCTOR(MFnData)
