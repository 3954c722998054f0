#include "host/imap/store_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "host/imap/store.h"

// New mail: what lies above each folder's highest UID seen, and what was
// announced, remembered across runs.

namespace tarvex {
namespace imap_host_internal {

std::vector<ImapHost::NewMessage> Store::FindNew(FolderRecord& folder) {
  if (!folder.exists) return {};
  // A folder not open now is asked first whether anything came, which
  // spares opening every watched folder at every look.
  if (connection && !connection->selected(folder.mailbox)) {
    const imap::Selection status =
        OnServer([&](imap::Connection& s) { return s.Status(folder.mailbox); });
    if (status.uid_validity == folder.uid_validity && status.uid_next <= folder.seen + 1) {
      return {};
    }
  }
  Open(folder);
  const uint32_t first = folder.seen + 1;
  const std::vector<imap::FetchedMessage> heads = OnServer([&](imap::Connection& s) {
    s.Noop();
    return s.FetchHeaders(first);
  });
  std::vector<ImapHost::NewMessage> found;
  for (const imap::FetchedMessage& head : heads) {
    folder.seen = std::max(folder.seen, head.uid);
    // What the host wrote itself is no arrival, and what carries a judged
    // mark was judged on its way in.
    if (folder.own.count(head.uid) || Judged(head.bytes)) continue;
    found.push_back({folder.id, folder.Id(head.uid)});
  }
  folder.own.erase(folder.own.begin(), folder.own.upper_bound(folder.seen));
  for (const int32_t id : std::exchange(folder.again, {})) {
    if (Holds(folder, id) && !Judged(Read(folder, id).bytes)) found.push_back({folder.id, id});
  }
  return found;
}

// ------------------------------------------------------------------ remembered
//
// One line per folder: "<UIDVALIDITY> <highest UID announced> <mailbox>",
// and one per rewrite not finished: "pending <UIDVALIDITY> <original's UID>
// <copy's UID, 0 when not known> <mailbox>". A mailbox name holds no line
// end. The file is replaced whole (written beside it, renamed over it), so a
// crash leaves the old one or the new one. A line that cannot be read is
// forgotten, which costs its folder one look at all its unjudged mail, never
// a miss.

void Store::LoadRemembered() {
  if (options.announced_state.empty()) return;
  std::ifstream in(options.announced_state);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    const bool pending = line.rfind("pending ", 0) == 0;
    if (pending) fields.ignore(8);
    uint32_t validity = 0, uid = 0, copy = 0;
    std::string mailbox;
    if (!(fields >> validity >> uid) || (pending && !(fields >> copy)) || fields.get() != ' ' ||
        !std::getline(fields, mailbox)) {
      continue;
    }
    if (pending) {
      pending_removals.push_back({mailbox, validity, uid, copy});
    } else {
      remembered[mailbox] = {validity, uid};
    }
  }
}

void Store::Remember(const FolderRecord& folder) {
  if (!folder.exists || folder.uid_validity == 0) return;
  // Below what is to be announced again, so that a start does it.
  uint32_t highest = folder.seen;
  for (const int32_t id : folder.again) highest = std::min(highest, folder.Uid(id) - 1);
  const std::pair<uint32_t, uint32_t> now{folder.uid_validity, highest};
  auto& entry = remembered[folder.mailbox];
  if (entry == now) return;
  entry = now;
  remembered_changed = true;
}

void Store::SaveRemembered(bool now) {
  if (options.announced_state.empty() || !remembered_changed) return;
  const auto time = std::chrono::steady_clock::now();
  if (!now && time - remembered_saved < kRememberEvery) return;
  remembered_saved = time;
  WriteState(true);
}

// Unflushed for the rewrites' lines, written at each: they guard against
// the process's end, and the system keeps what a process wrote.
void Store::WriteState(bool flush) {
  if (options.announced_state.empty()) return;
  const std::string& path = options.announced_state;
  const std::string temporary = path + ".new";
  std::string text;
  for (const auto& [mailbox, entry] : remembered) {
    text += std::to_string(entry.first) + " " + std::to_string(entry.second) + " " + mailbox + "\n";
  }
  for (const PendingRemoval& removal : pending_removals) {
    text += "pending " + std::to_string(removal.validity) + " " + std::to_string(removal.uid) +
            " " + std::to_string(removal.copy) + " " + removal.mailbox + "\n";
  }
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const bool written = fd >= 0 &&
                       ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                       (!flush || ::fsync(fd) == 0);
  const int error = errno;
  if (fd >= 0) ::close(fd);
  if (written && ::rename(temporary.c_str(), path.c_str()) == 0) {
    if (flush) remembered_changed = false;
    return;
  }
  Notice("cannot write " + path + ": " + std::strerror(written ? errno : error));
}

// ------------------------------------------------------------------ IDLE

Watcher::Watcher(imap::Account account) : account_(std::move(account)) {
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0 || ::pipe2(stop_, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
  }
  thread_ = std::thread([this] { Run(); });
}

Watcher::~Watcher() {
  const char byte = 0;
  if (::write(stop_[1], &byte, 1) < 0) {
    // The pipe is never full before the one byte that stops the thread.
  }
  thread_.join();
  for (int fd : {wake_[0], wake_[1], stop_[0], stop_[1]}) ::close(fd);
}

void Watcher::Drain() {
  char bytes[64];
  while (::read(wake_[0], bytes, sizeof bytes) > 0) {
  }
}

void Watcher::Wake() {
  const char byte = 1;
  if (::write(wake_[1], &byte, 1) < 0) {
    // Full: a wake-up is already waiting, which is all it says.
  }
}

bool Watcher::Stopping(int timeout_ms) {
  pollfd stop{stop_[0], POLLIN, 0};
  return ::poll(&stop, 1, timeout_ms) > 0;
}

void Watcher::Run() {
  int pause_ms = 1000;
  while (!Stopping(0)) {
    try {
      imap::Connection connection(account_);
      connection.Select("INBOX");
      // Mail may have come while there was no connection.
      Wake();
      pause_ms = 1000;
      for (;;) {
        pollfd fds[2] = {{connection.Idle(), POLLIN, 0}, {stop_[0], POLLIN, 0}};
        // Servers end an IDLE after 30 minutes; it is renewed before.
        const int ready = ::poll(fds, 2, kRenewMs);
        if (fds[1].revents) return;
        connection.IdleDone();
        if (ready > 0) Wake();
      }
    } catch (const imap::ImapError&) {
      if (Stopping(pause_ms)) return;
      pause_ms = std::min(pause_ms * 2, 300 * 1000);
    }
  }
}

}  // namespace imap_host_internal
}  // namespace tarvex
