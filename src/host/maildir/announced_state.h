// What the store remembers across runs about the mail it announced: the
// messages that were announced and judged but still wait in a folder's new/
// without any header that marks them judged (a whitelisted sender's mail gets
// none). Without it every start would take them for mail that came while
// nothing watched, and judge them again, and again learn from them.
//
// Only such messages are remembered. A message that carries a judged mark
// is recognised by it, and one that left new/ is not looked at by a start,
// so neither needs remembering; the file thus holds a handful of names, not
// one per message of the Maildir. Names are kept per folder, by the folder's
// directory in the root ("" for the Inbox), which, unlike the host's ids,
// stays the same from one run to the next.
//
// Crash ordering. A name is written only after its message was judged: the
// host raises "OnNewMessage", the classifier runs inside that call, and the
// names of what it left unmarked in new/ are saved when the batch of
// announcements is done. So:
// - dying between announcing and judging leaves the name out of the file,
//   and the next start announces the message again: nothing is lost;
// - dying after judging and before the save does the same. A message the
//   judging marked is then skipped for its mark; one it left unmarked
//   (whitelisted) is judged a second time. That second judging repeats
//   nothing that lasted: the first wrote nothing into the message, and what
//   it learnt lived only in memory, since the word database is saved by the
//   same event loop, between batches, never inside one. So a crash costs
//   learning at most once over, never twice.
// The file itself is replaced whole (a temporary file, flushed, renamed over
// it, the folder flushed): a crash leaves the old list or the new one.
//
// File format: one record per entry, "<folder directory>/<unique name>",
// each ended by a NUL byte. Neither part can hold a "/" or a NUL, so no
// quoting is needed; "tr '\0' '\n'" shows it.
#ifndef TARVEX_HOST_MAILDIR_ANNOUNCED_STATE_H_
#define TARVEX_HOST_MAILDIR_ANNOUNCED_STATE_H_

#include <cstddef>
#include <functional>
#include <set>
#include <string>

namespace tarvex::maildir {

class AnnouncedState {
 public:
  // Remembers in the file at path; an empty path remembers nothing beyond
  // the run.
  explicit AnnouncedState(std::string path);

  const std::string& path() const { return path_; }

  // Reads the file; a missing file is an empty list. Only the first
  // kMaxFileSize bytes are read: names beyond are forgotten, which costs
  // their messages one more judging, never a miss. 0 or errno.
  int Load();
  static constexpr size_t kMaxFileSize = 4 << 20;

  bool Contains(const std::string& folder, const std::string& unique) const;
  void Add(const std::string& folder, const std::string& unique);
  void Remove(const std::string& folder, const std::string& unique);
  // Forgets every name for which keep is false.
  void Retain(
      const std::function<bool(const std::string& folder, const std::string& unique)>& keep);
  size_t size() const { return names_.size(); }

  // Writes the list when it changed since it was read or last written. 0 or
  // errno; the error leaves it to be written again at the next Save.
  int Save();

 private:
  std::string path_;
  std::set<std::pair<std::string, std::string>> names_;  // (folder directory, unique name)
  bool changed_ = false;
};

// Where the list of the Maildir at root goes in folder ($XDG_STATE_HOME/tarvex):
// one file per Maildir, named after a digest of root's absolute path, so that
// two Maildirs never share one.
std::string AnnouncedStateFile(const std::string& folder, const std::string& root);

}  // namespace tarvex::maildir

#endif  // TARVEX_HOST_MAILDIR_ANNOUNCED_STATE_H_
