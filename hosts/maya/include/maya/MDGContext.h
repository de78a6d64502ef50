#pragma once

#include <maya/MStatus.h>
#include <maya/MTypes.h>

// When the graph is evaluated; the stand-in has only the normal context.
class MDGContext {
 public:
  MDGContext();
  MDGContext(const MDGContext& in);
  ~MDGContext();
  bool isNormal(MStatus* ReturnStatus = nullptr) const;
  MDGContext& operator=(const MDGContext& other);

  static MDGContext fsNormal;
};
