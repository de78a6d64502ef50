
#include <maya/MDGContext.h>

MDGContext MDGContext::fsNormal;
