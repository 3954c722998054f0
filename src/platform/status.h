// The outcome of an operation on the system's files: success, or a message
// that names the file and the reason, ready to show to the user. The system's
// error number is kept so that a caller can tell a missing file (often fine)
// from one that is there but cannot be used (never fine to overwrite).
#ifndef TARVEX_PLATFORM_STATUS_H_
#define TARVEX_PLATFORM_STATUS_H_

#include <string>
#include <utility>

namespace tarvex {

class Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  // "path: what: the system's text for error".
  static Status FromErrno(const std::string& path, const std::string& what, int error);
  // A failure that is not the system's, such as a file that does not parse.
  static Status Invalid(const std::string& path, const std::string& why);
  // A failure told whole, as another process reported it.
  static Status Failure(int error, std::string message) {
    return Status(error, std::move(message));
  }

  bool ok() const { return failed_ == false; }
  bool IsNotFound() const;
  // The system's error number; 0 when the failure was not the system's.
  int error() const { return error_; }
  const std::string& message() const { return message_; }
  // The same failure, its message followed by "; " and what it means for
  // the user.
  Status WithNote(const std::string& note) const {
    return ok() ? *this : Status(error_, message_ + "; " + note);
  }

 private:
  Status(int error, std::string message)
      : failed_(true), error_(error), message_(std::move(message)) {}

  bool failed_ = false;
  int error_ = 0;
  std::string message_;
};

}  // namespace tarvex

#endif  // TARVEX_PLATFORM_STATUS_H_
