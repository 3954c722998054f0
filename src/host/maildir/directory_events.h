// What changed in watched directories, as Linux's inotify reports it: one
// descriptor, readable while events are queued, and the events read from it
// without waiting.
#ifndef TARVEX_HOST_MAILDIR_DIRECTORY_EVENTS_H_
#define TARVEX_HOST_MAILDIR_DIRECTORY_EVENTS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex::maildir {

struct DirectoryEvent {
  int watch = -1;       // the watch it came from; -1 for a queue overflow
  uint32_t mask = 0;    // IN_* bits
  uint32_t cookie = 0;  // pairs IN_MOVED_FROM with IN_MOVED_TO of one rename
  std::string name;     // the entry in the watched directory; empty for the directory itself
};

class DirectoryEvents {
 public:
  // Throws std::runtime_error when inotify cannot be had.
  DirectoryEvents();
  ~DirectoryEvents();
  DirectoryEvents(const DirectoryEvents&) = delete;
  DirectoryEvents& operator=(const DirectoryEvents&) = delete;

  // Non-blocking and close-on-exec.
  int fd() const { return fd_; }

  // Watches the directory for the events in mask; 0 and the watch, or errno.
  // A directory watched already (by any path) gets the same watch back, its
  // mask replaced.
  int Watch(const std::string& directory, uint32_t mask, int* watch);
  // Ends a watch; its events still queued keep coming, with its number.
  void Unwatch(int watch);
  // Appends the events queued now, in order; 0 when the queue is empty (or
  // was), else errno.
  int Read(std::vector<DirectoryEvent>* events);

 private:
  int fd_;
};

}  // namespace tarvex::maildir

#endif  // TARVEX_HOST_MAILDIR_DIRECTORY_EVENTS_H_
