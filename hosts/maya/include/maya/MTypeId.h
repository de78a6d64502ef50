#pragma once

class MTypeId {
 public:
  MTypeId() = default;
  explicit MTypeId(unsigned int id) : id_(id) {}
  // Maya's two-part form: a 24-bit vendor prefix and an 8-bit local id.
  MTypeId(unsigned int prefix, unsigned int id) : id_((prefix << 8) | (id & 0xFFu)) {}

  unsigned int id() const { return id_; }
  bool operator==(const MTypeId& other) const { return id_ == other.id_; }
  bool operator!=(const MTypeId& other) const { return id_ != other.id_; }

 private:
  unsigned int id_ = 0;
};
