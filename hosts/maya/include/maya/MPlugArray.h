#pragma once

#include <maya/MStatus.h>
#include <maya/MTypes.h>

#include <vector>

class MPlugArray {
 public:
  MPlugArray();
  MPlugArray(const MPlugArray& other);
  MPlugArray(unsigned int initializeSize, const MPlug& initialValue);
  MPlugArray(const MPlug src[], unsigned int count);
  ~MPlugArray();

  const MPlug& operator[](unsigned int index) const;
  MPlug& operator[](unsigned int index);
  MPlugArray& operator=(const MPlugArray& other);
  MStatus setLength(unsigned int length);
  unsigned int length() const;
  MStatus append(const MPlug& element);
  MStatus clear();

 private:
  std::vector<MPlug> plugs_;
};
