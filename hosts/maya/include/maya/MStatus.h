#pragma once

#include <maya/MString.h>

namespace MS {
enum MStatusCode {
  kSuccess = 0,
  kFailure,
  kInsufficientMemory,
  kInvalidParameter,
  kLicenseFailure,
  kUnknownParameter,
  kNotImplemented,
  kNotFound,
  kEndOfFile
};
}  // namespace MS

class MStatus {
 public:
  using MStatusCode = MS::MStatusCode;
  static constexpr MStatusCode kSuccess = MS::kSuccess;
  static constexpr MStatusCode kFailure = MS::kFailure;
  static constexpr MStatusCode kInsufficientMemory = MS::kInsufficientMemory;
  static constexpr MStatusCode kInvalidParameter = MS::kInvalidParameter;
  static constexpr MStatusCode kLicenseFailure = MS::kLicenseFailure;
  static constexpr MStatusCode kUnknownParameter = MS::kUnknownParameter;
  static constexpr MStatusCode kNotImplemented = MS::kNotImplemented;
  static constexpr MStatusCode kNotFound = MS::kNotFound;
  static constexpr MStatusCode kEndOfFile = MS::kEndOfFile;

  MStatus() = default;
  MStatus(MStatusCode code) : code_(code) {}

  bool error() const { return code_ != MS::kSuccess; }
  void clear() { code_ = MS::kSuccess; }
  MStatusCode statusCode() const { return code_; }
  MString errorString() const;
  // As Maya does in batch mode: "text: description" on the standard error.
  void perror(const MString& text = MString()) const;
  void perror(const char* text) const { perror(MString(text)); }

  explicit operator bool() const { return code_ == MS::kSuccess; }
  bool operator==(const MStatus& other) const { return code_ == other.code_; }
  bool operator==(MStatusCode code) const { return code_ == code; }
  bool operator!=(const MStatus& other) const { return code_ != other.code_; }
  bool operator!=(MStatusCode code) const { return code_ != code; }

 private:
  MStatusCode code_ = MS::kSuccess;
};
