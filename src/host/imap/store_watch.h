// The IDLE connection: a thread of its own keeps a second connection to the
// server idling on INBOX and makes a descriptor readable whenever the server
// speaks there (and after each reconnection), so that the owner's loop looks
// for new mail within moments of its delivery. It touches nothing of the
// store: the looking is done on the store's own connection.
#ifndef TARVEX_HOST_IMAP_STORE_WATCH_H_
#define TARVEX_HOST_IMAP_STORE_WATCH_H_

#include <thread>

#include "host/imap/imap_connection.h"

namespace tarvex::imap_host_internal {

class Watcher {
 public:
  // Starts the thread; throws std::runtime_error when it cannot.
  explicit Watcher(imap::Account account);
  // Ends the IDLE and the thread.
  ~Watcher();
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;

  int fd() const { return wake_[0]; }
  // Empties the descriptor.
  void Drain();

  static constexpr int kRenewMs = 25 * 60 * 1000;

 private:
  void Run();
  void Wake();
  // Waits up to timeout_ms for the stop; whether it came.
  bool Stopping(int timeout_ms);

  const imap::Account account_;
  int wake_[2] = {-1, -1};
  int stop_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace tarvex::imap_host_internal

#endif  // TARVEX_HOST_IMAP_STORE_WATCH_H_
