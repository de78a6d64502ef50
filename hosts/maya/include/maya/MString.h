#pragma once

#include <maya/MIOStreamFwd.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

#include <string>

class MString {
 public:
  MString() = default;
  MString(const char* charString) : text_(charString ? charString : "") {}
  MString(const char* charString, int charLength)
      : text_(charString, static_cast<size_t>(charLength)) {}
  MString(const MString& other) = default;
  ~MString() = default;

  MString& operator+=(const MString& other);
  MString& operator+=(const char* other);
  MString& operator+=(double other);
  MString& operator+=(int other);
  MString& operator+=(unsigned int other);
  MString& operator+=(float other);
  MString& operator=(const MString& other) = default;
  MString& operator=(const char* other);
  MString& operator=(double value);
  bool operator==(const MString& other) const { return text_ == other.text_; }
  bool operator==(const char* other) const { return text_ == (other ? other : ""); }
  bool operator!=(const MString& other) const { return !(*this == other); }
  bool operator!=(const char* other) const { return !(*this == other); }
  MString operator+(const MString& other) const;
  MString operator+(const char* other) const;
  MString operator+(double value) const;

  MStatus set(const char* charString);
  MStatus set(const char* charString, int charLength);
  MStatus set(double value);
  MStatus set(double value, int precision);

  const char* asChar() const { return text_.c_str(); }
  const char* asChar(int& charLength) const;
  unsigned int length() const { return static_cast<unsigned int>(text_.size()); }
  unsigned int numChars() const { return length(); }
  void clear() { text_.clear(); }

  // "^1s" to "^10s" in fmt stand for the arguments; an unused argument is
  // left out.
  MStatus format(const MString& fmt, const MString& arg1 = MString::argUnused,
                 const MString& arg2 = MString::argUnused, const MString& arg3 = MString::argUnused,
                 const MString& arg4 = MString::argUnused, const MString& arg5 = MString::argUnused,
                 const MString& arg6 = MString::argUnused, const MString& arg7 = MString::argUnused,
                 const MString& arg8 = MString::argUnused, const MString& arg9 = MString::argUnused,
                 const MString& arg10 = MString::argUnused);

  friend std::ostream& operator<<(std::ostream& out, const MString& text);
  friend MString operator+(const char* left, const MString& right);

 private:
  static const MString argUnused;
  std::string text_;
};
