#include "platform/profile_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

namespace tarvex {
namespace {

pid_t ReadHolder(int fd) {
  char text[32] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  return n > 0 ? static_cast<pid_t>(std::strtol(text, nullptr, 10)) : 0;
}

// The holder's pid, for messages that name who has the profile.
void WriteHolder(int fd) {
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
    // Only informative: the lock itself is the flock.
  }
}

}  // namespace

std::optional<ProfileLock> ProfileLock::TryAcquire(const std::string& path, pid_t* holder) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    throw std::runtime_error(path + ": cannot open the lock file: " + std::strerror(errno));
  }
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    *holder = error == EWOULDBLOCK ? ReadHolder(fd) : 0;
    ::close(fd);
    if (error != EWOULDBLOCK) {
      throw std::runtime_error(path + ": cannot lock: " + std::strerror(error));
    }
    return std::nullopt;
  }
  WriteHolder(fd);
  return ProfileLock(fd);
}

std::optional<ProfileLock> ProfileLock::AcquireWithin(const std::string& path,
                                                      std::chrono::milliseconds patience,
                                                      pid_t* holder) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    if (std::optional<ProfileLock> lock = TryAcquire(path, holder)) return lock;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

ProfileLock::~ProfileLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace tarvex
