#include <maya/MStatus.h>
#include <maya/MString.h>

#include <iostream>

MString MStatus::errorString() const {
  switch (code_) {
    case MS::kSuccess:
      return "(kSuccess): No error";
    case MS::kFailure:
      return "(kFailure): Unexpected Internal Failure";
    case MS::kInsufficientMemory:
      return "(kInsufficientMemory): Insufficient memory";
    case MS::kInvalidParameter:
      return "(kInvalidParameter): Object is incompatible with this method";
    case MS::kLicenseFailure:
      return "(kLicenseFailure): License failure";
    case MS::kUnknownParameter:
      return "(kUnknownParameter): Unknown parameter";
    case MS::kNotImplemented:
      return "(kNotImplemented): Not implemented";
    case MS::kNotFound:
      return "(kNotFound): Not found";
    case MS::kEndOfFile:
      return "(kEndOfFile): End of file";
  }
  return "(unknown status)";
}

void MStatus::perror(const char* text) const {
  perror(MString(text));
}

void MStatus::perror(const MString& text) const {
  if (text.length() > 0) std::cerr << text << ": ";
  std::cerr << errorString() << std::endl;
}

std::ostream& operator<<(std::ostream& out, MStatus& status) {
  return out << status.errorString();
}
