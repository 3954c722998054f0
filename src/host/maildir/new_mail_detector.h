// Whether a file event in a watched folder brought new mail, told from the
// events alone: no listing of the folder, no look at the disk beyond what the
// caller hands in with the event. Each event is judged by itself, in
// constant time, so that a folder of any size costs the same per arrival.
//
// The rules, for a unique name the folder does not know (a name it knows -
// seen by a look, written, moved or announced by the host - is never new):
// - a file renamed in is delivered when the rename comes out of a tmp/ (a
//   delivery agent's last step) or from a file that was being written in
//   place; it is moved in when it comes from another folder, watched or not;
//   a rename within the same folder (a flag change, new/ to cur/) is nothing;
// - a file created in place is delivered when it is closed after writing.
//   One that nothing writes to in the same batch of events and that has
//   content is a hard link of a message written elsewhere (link delivery),
//   delivered at once; an empty one waits for its close;
// - lost events (the queue overflowed) leave only a look at every folder.
#ifndef TARVEX_HOST_MAILDIR_NEW_MAIL_DETECTOR_H_
#define TARVEX_HOST_MAILDIR_NEW_MAIL_DETECTOR_H_

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>

namespace tarvex::maildir_host_internal {

// One event of a message file in a watched folder's new/ or cur/, or of a
// file leaving its tmp/.
struct FileEvent {
  enum class Kind {
    kCreated,     // made in place
    kWritten,     // closed after writing
    kRenamedIn,   // the second half of a rename
    kRenamedOut,  // the first half of a rename
    kDeleted,
    kLeftTmp,   // renamed out of the folder's tmp/
    kOverflow,  // events were lost
  };
  Kind kind = Kind::kCreated;
  int32_t folder = 0;
  std::string unique;   // the message's unique name; none for kLeftTmp, kOverflow
  uint32_t cookie = 0;  // pairs the two halves of a rename
  bool known = false;   // the folder knows the unique name
  // kCreated only: a write to the file follows in the same batch of events;
  // the file is not empty, or not a regular file (nothing is ever written
  // into a link or a FIFO: it has come as it is).
  bool written_later = false;
  bool has_content = false;
};

enum class NewMail {
  kNothing,
  kDelivered,  // by a delivery agent: new unless it was judged on its way in
  kMovedIn,    // by another program, from another folder: new whatever it carries
  kRescan,     // events were lost: what is there now tells what came
};

// The kind of an inotify event (its IN_* mask) in a folder's new/ or cur/,
// or, with in_tmp, in its tmp/; none for one that tells nothing.
std::optional<FileEvent::Kind> FileEventKind(uint32_t mask, bool in_tmp);

// What the judge keeps between events: the first halves of renames and the
// files being written in place. Not locked: the caller's lock guards it.
class NewMailDetector {
 public:
  NewMail Judge(const FileEvent& event);
  // A new batch of events begins. The two halves of a rename can straddle
  // two batches, no more: the first halves of the batch before the last are
  // forgotten.
  void StartBatch();
  // Forgets everything: after lost events, or when the watch ends.
  void Forget();

 private:
  struct RenameOut {
    int32_t folder;
    bool pending;   // the file was being written in place
    bool from_tmp;  // a delivery agent's rename
  };
  std::unordered_map<uint32_t, RenameOut> renames_, earlier_renames_;  // by cookie
  std::set<std::pair<int32_t, std::string>> pending_;  // created in place, not yet closed
};

}  // namespace tarvex::maildir_host_internal

#endif  // TARVEX_HOST_MAILDIR_NEW_MAIL_DETECTOR_H_
