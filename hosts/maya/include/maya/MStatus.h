#pragma once

#include <maya/MIOStream.h>
#include <maya/MTypes.h>

class MString;

class MStatus {
 public:
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

  MStatus() = default;
  MStatus(MStatusCode code) : code_(code) {}
  MStatus(const MStatus& other) = default;

  MStatus& operator=(const MStatus& rhs) = default;
  bool operator==(const MStatus& rhs) const { return code_ == rhs.code_; }
  bool operator==(const MStatusCode rhs) const { return code_ == rhs; }
  bool operator!=(const MStatus& rhs) const { return code_ != rhs.code_; }
  bool operator!=(const MStatusCode rhs) const { return code_ != rhs; }
  bool error() const { return code_ != kSuccess; }
  void clear() { code_ = kSuccess; }
  MStatusCode statusCode() const { return code_; }
  MString errorString() const;
  // As Maya does in batch mode: "text: description" on the standard error.
  void perror(const char* text) const;
  void perror(const MString& text) const;
  void setSuccess() { code_ = kSuccess; }

  // Not explicit: plug-ins write `if (!status)` and `return status && ok`.
  operator bool() const { return code_ == kSuccess; }

  friend std::ostream& operator<<(std::ostream& out, MStatus& status);
  friend inline bool operator==(const MStatus::MStatusCode code, const MStatus& status) {
    return status.code_ == code;
  }
  friend inline bool operator!=(const MStatus::MStatusCode code, const MStatus& status) {
    return status.code_ != code;
  }

 private:
  MStatusCode code_ = kSuccess;
};

#if !defined(MNoMSTypedef)
typedef MStatus MS;
#endif

// The report every failed check writes: where, then what.
#define CHECK_MSTATUS_AND_RETURN(_status, _retVal)                                       \
  {                                                                                      \
    MStatus _maya_status = (_status);                                                    \
    if (MStatus::kSuccess != _maya_status) {                                             \
      cerr << "\nAPI error detected in " << __FILE__ << " at line " << __LINE__ << endl; \
      _maya_status.perror("");                                                           \
      return (_retVal);                                                                  \
    }                                                                                    \
  }

#define CHECK_MSTATUS_AND_RETURN_IT(_status) CHECK_MSTATUS_AND_RETURN((_status), (_status))

#define CHECK_MSTATUS(_status)                                                           \
  {                                                                                      \
    MStatus _maya_status = (_status);                                                    \
    if (MStatus::kSuccess != _maya_status) {                                             \
      cerr << "\nAPI error detected in " << __FILE__ << " at line " << __LINE__ << endl; \
      _maya_status.perror("");                                                           \
    }                                                                                    \
  }

#define MFAIL(_status) (MStatus::kSuccess != (_status))
