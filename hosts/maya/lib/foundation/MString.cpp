#include <maya/MString.h>

#include <ostream>

MString& MString::operator+=(const MString& other) {
  text_ += other.text_;
  return *this;
}

MString MString::operator+(const MString& other) const {
  MString result(*this);
  result += other;
  return result;
}

std::ostream& operator<<(std::ostream& out, const MString& text) {
  return out << text.asChar();
}
