#pragma once

#include <maya/MPlug.h>

#include <vector>

class MPlugArray {
 public:
  unsigned int length() const { return static_cast<unsigned int>(plugs_.size()); }
  MStatus setLength(unsigned int length);
  MStatus append(const MPlug& plug);
  MStatus clear();
  const MPlug& operator[](unsigned int index) const { return plugs_[index]; }
  MPlug& operator[](unsigned int index) { return plugs_[index]; }

 private:
  std::vector<MPlug> plugs_;
};
