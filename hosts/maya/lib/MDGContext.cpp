#include "api_support.h"

#include <maya/MDGContext.h>

MDGContext MDGContext::fsNormal;

MDGContext::MDGContext() = default;
MDGContext::MDGContext(const MDGContext& in) = default;
MDGContext::~MDGContext() = default;
MDGContext& MDGContext::operator=(const MDGContext& other) = default;

bool MDGContext::isNormal(MStatus* ReturnStatus) const {
  qv::maya::detail::report(ReturnStatus, MS::kSuccess);
  return true;
}
