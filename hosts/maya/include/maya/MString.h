#pragma once

#include <ostream>
#include <string>

class MString {
 public:
  MString() = default;
  MString(const char* text) : text_(text ? text : "") {}
  MString(const char* text, int length) : text_(text, static_cast<size_t>(length)) {}

  const char* asChar() const { return text_.c_str(); }
  unsigned int length() const { return static_cast<unsigned int>(text_.size()); }
  unsigned int numChars() const { return length(); }

  MString& operator+=(const MString& other);
  MString operator+(const MString& other) const;
  bool operator==(const MString& other) const { return text_ == other.text_; }
  bool operator!=(const MString& other) const { return text_ != other.text_; }
  bool operator==(const char* other) const { return text_ == (other ? other : ""); }
  bool operator!=(const char* other) const { return !(*this == other); }

 private:
  std::string text_;
};

std::ostream& operator<<(std::ostream& out, const MString& text);
