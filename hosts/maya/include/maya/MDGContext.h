#pragma once

// When the graph is evaluated; the stand-in has only the normal context.
class MDGContext {
 public:
  MDGContext() = default;
  bool isNormal() const { return true; }

  static MDGContext fsNormal;
};
