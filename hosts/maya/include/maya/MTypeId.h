#pragma once

#include <maya/MStatus.h>
#include <maya/MTypes.h>

class MTypeId {
 public:
  MTypeId();
  ~MTypeId();
  MTypeId(unsigned int id);
  // Maya's two-part form: a 24-bit vendor prefix and an 8-bit local id.
  MTypeId(unsigned int prefix, unsigned int id);
  MTypeId(const MTypeId& src);
  MTypeId& operator=(const MTypeId& rhs);

  bool operator==(const MTypeId& rhs) const;
  bool operator!=(const MTypeId& rhs) const;
  unsigned int id(MStatus* ReturnStatus = nullptr) const;

 private:
  unsigned int id_;
};
