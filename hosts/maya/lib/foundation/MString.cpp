#include <maya/MString.h>

#include <cstdio>
#include <ostream>

namespace {

// Numbers are written as printf's %g writes them with the type's
// significant digits, as Maya does.
std::string numberText(double value, int precision) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", precision, value);
  return text;
}

}  // namespace

const MString MString::argUnused;

MString& MString::operator+=(const MString& other) {
  text_ += other.text_;
  return *this;
}
MString& MString::operator+=(const char* other) {
  if (other) text_ += other;
  return *this;
}
MString& MString::operator+=(double other) {
  text_ += numberText(other, 15);
  return *this;
}
MString& MString::operator+=(int other) {
  text_ += std::to_string(other);
  return *this;
}
MString& MString::operator+=(unsigned int other) {
  text_ += std::to_string(other);
  return *this;
}
MString& MString::operator+=(float other) {
  text_ += numberText(other, 7);
  return *this;
}

MString& MString::operator=(const char* other) {
  text_ = other ? other : "";
  return *this;
}
MString& MString::operator=(double value) {
  text_ = numberText(value, 15);
  return *this;
}

MString MString::operator+(const MString& other) const {
  MString result(*this);
  result += other;
  return result;
}
MString MString::operator+(const char* other) const {
  MString result(*this);
  result += other;
  return result;
}
MString MString::operator+(double value) const {
  MString result(*this);
  result += value;
  return result;
}

MString operator+(const char* left, const MString& right) {
  MString result(left);
  result += right;
  return result;
}

MStatus MString::set(const char* charString) {
  text_ = charString ? charString : "";
  return MS::kSuccess;
}
MStatus MString::set(const char* charString, int charLength) {
  if (!charString || charLength < 0) return MS::kInvalidParameter;
  text_.assign(charString, static_cast<size_t>(charLength));
  return MS::kSuccess;
}
MStatus MString::set(double value) {
  text_ = numberText(value, 15);
  return MS::kSuccess;
}
MStatus MString::set(double value, int precision) {
  if (precision < 0) return MS::kInvalidParameter;
  char text[512];
  std::snprintf(text, sizeof text, "%.*f", precision > 300 ? 300 : precision, value);
  text_ = text;
  return MS::kSuccess;
}

const char* MString::asChar(int& charLength) const {
  charLength = static_cast<int>(text_.size());
  return text_.c_str();
}

MStatus MString::format(const MString& fmt, const MString& arg1, const MString& arg2,
                        const MString& arg3, const MString& arg4, const MString& arg5,
                        const MString& arg6, const MString& arg7, const MString& arg8,
                        const MString& arg9, const MString& arg10) {
  const MString* args[] = {&arg1, &arg2, &arg3, &arg4, &arg5, &arg6, &arg7, &arg8, &arg9, &arg10};
  const std::string& in = fmt.text_;
  std::string out;
  MStatus status;
  for (size_t i = 0; i < in.size(); ++i) {
    // "^1s" .. "^10s"; the longer number first, so "^10s" is not "^1" then "0s".
    if (in[i] == '^') {
      size_t n = 0;
      size_t end = i + 1;
      while (end < in.size() && end < i + 3 && in[end] >= '0' && in[end] <= '9') {
        n = n * 10 + static_cast<size_t>(in[end] - '0');
        ++end;
      }
      if (n >= 1 && n <= 10 && end < in.size() && in[end] == 's') {
        if (args[n - 1] == &argUnused) {
          status = MS::kInvalidParameter;
        } else {
          out += args[n - 1]->text_;
        }
        i = end;
        continue;
      }
    }
    out += in[i];
  }
  // fmt may be this string itself.
  text_ = out;
  return status;
}

std::ostream& operator<<(std::ostream& out, const MString& text) {
  return out << text.asChar();
}
