#include "platform/status.h"

#include <cerrno>
#include <cstring>

namespace tarvex {

Status Status::FromErrno(const std::string& path, const std::string& what, int error) {
  return Status(error, path + ": " + what + ": " + std::strerror(error));
}

Status Status::Invalid(const std::string& path, const std::string& why) {
  return Status(0, path + ": " + why);
}

bool Status::IsNotFound() const { return failed_ && error_ == ENOENT; }

}  // namespace tarvex
