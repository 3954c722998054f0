#include "host/maildir/directory_events.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tarvex::maildir {

DirectoryEvents::DirectoryEvents() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  if (fd_ < 0) {
    throw std::runtime_error(std::string("The mail store cannot be watched: ") +
                             std::strerror(errno) + ".");
  }
}

DirectoryEvents::~DirectoryEvents() { ::close(fd_); }

int DirectoryEvents::Watch(const std::string& directory, uint32_t mask, int* watch) {
  const int wd = ::inotify_add_watch(fd_, directory.c_str(), mask);
  if (wd < 0) return errno;
  *watch = wd;
  return 0;
}

void DirectoryEvents::Unwatch(int watch) { ::inotify_rm_watch(fd_, watch); }

int DirectoryEvents::Read(std::vector<DirectoryEvent>* events) {
  // Room for many events at once; a single one needs at most
  // sizeof(inotify_event) + NAME_MAX + 1.
  alignas(struct inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno == EAGAIN ? 0 : errno;
    if (n == 0) return 0;
    for (ssize_t at = 0; at < n;) {
      struct inotify_event header;
      std::memcpy(&header, buffer + at, sizeof header);
      DirectoryEvent& event = events->emplace_back();
      event.watch = header.wd;
      event.mask = header.mask;
      event.cookie = header.cookie;
      if (header.len > 0) event.name = buffer + at + sizeof header;  // NUL-padded
      at += static_cast<ssize_t>(sizeof header + header.len);
    }
  }
}

}  // namespace tarvex::maildir
