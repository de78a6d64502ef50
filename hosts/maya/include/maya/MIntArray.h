#pragma once

#include <maya/MStatus.h>
#include <maya/MTypes.h>

#include <vector>

class MIntArray {
 public:
  MIntArray();
  MIntArray(const MIntArray& other);
  MIntArray(const int src[], unsigned int count);
  MIntArray(unsigned int initialSize, int initialValue = 0);
  ~MIntArray();

  MIntArray& operator=(const MIntArray& other);
  MStatus set(int element, unsigned int index);
  MStatus setLength(unsigned int length);
  unsigned int length() const;
  MStatus append(int element);
  MStatus clear();
  int& operator[](unsigned int index);
  int operator[](unsigned int index) const;

 private:
  std::vector<int> values_;
};
