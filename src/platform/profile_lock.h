// One process at a time owns a profile's word database: the daemon for as
// long as it runs, else the command that works on it. The lock is an advisory
// lock (flock) on a file next to the settings file; the kernel drops it when
// the owner dies, so a crash never leaves the profile locked.
#ifndef TARVEX_PLATFORM_PROFILE_LOCK_H_
#define TARVEX_PLATFORM_PROFILE_LOCK_H_

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

namespace tarvex {

class ProfileLock {
 public:
  // Takes the lock at path (created if missing) without waiting. Empty when
  // another process holds it; *holder is then its process id (0 when not
  // known). Throws std::runtime_error when the file cannot be opened.
  static std::optional<ProfileLock> TryAcquire(const std::string& path, pid_t* holder);
  // The same, trying again for up to patience while another holds it: a
  // process killed a moment ago may hold it until the system has finished
  // tearing it down.
  static std::optional<ProfileLock> AcquireWithin(const std::string& path,
                                                  std::chrono::milliseconds patience,
                                                  pid_t* holder);

  ProfileLock(ProfileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  ProfileLock& operator=(ProfileLock&&) = delete;
  ProfileLock(const ProfileLock&) = delete;
  ~ProfileLock();

 private:
  explicit ProfileLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace tarvex

#endif  // TARVEX_PLATFORM_PROFILE_LOCK_H_
