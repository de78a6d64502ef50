#pragma once

#include <maya/MPoint.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

#include <vector>

class MPointArray {
 public:
  MPointArray();
  MPointArray(const MPointArray& other);
  MPointArray(unsigned int initialSize, const MPoint& initialValue = MPoint::origin);
  ~MPointArray();

  const MPoint& operator[](unsigned int index) const;
  MPointArray& operator=(const MPointArray& other);
  MStatus set(const MPoint& element, unsigned int index);
  MStatus setLength(unsigned int length);
  unsigned int length() const;
  MStatus append(const MPoint& element);
  MStatus append(double x, double y, double z = 0, double w = 1);
  MStatus clear();
  MPoint& operator[](unsigned int index);

 private:
  std::vector<MPoint> points_;
};
