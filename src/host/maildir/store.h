// The state behind every object of a MaildirHost: the folder tree and the
// ids given to folders and messages, the crash-safe changes of messages,
// and the watch on the disk. The objects (host_objects.h) and the
// MaildirHost's own methods reach the disk only through it.
//
// Split by seam: store_tree.cc reads the tree and lists folders,
// store_changes.cc changes messages, store_watch.cc watches the disk and
// finds new mail (with the judge of new_mail_detector.h).
#ifndef TARVEX_HOST_MAILDIR_STORE_H_
#define TARVEX_HOST_MAILDIR_STORE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/host.h"
#include "host/host_support.h"
#include "host/maildir/announced_state.h"
#include "host/maildir/directory_events.h"
#include "host/maildir/maildir_files.h"
#include "host/maildir/maildir_host.h"
#include "host/maildir/new_mail_detector.h"
#include "host/store_objects.h"

namespace tarvex {
namespace maildir_host_internal {

using maildir::FileIdentity;
using Lock = std::lock_guard<std::mutex>;
using FolderPath = std::vector<std::string>;

using Kind = EntityKind;

using host_store::MessageEntity;
using host_store::OperationError;
using host_store::Quoted;
using host_store::Throw;

// The failure of a file operation, its status told by the errno.
[[noreturn]] void ThrowErrno(int error, const std::string& what);

inline constexpr char kTmp[] = "tmp";

// The directory name "Local Folders" stands for: none can be called so.
inline constexpr char kStoreDir[] = "/";
inline constexpr char kStoreName[] = "Local Folders";

// Whether the file's header block holds a field of one of the names. Reads
// only the block, and of that no more than MaildirHost::kMaxHeadCheck bytes;
// a file that cannot be read holds none.
bool CarriesField(const std::string& path, const std::vector<std::string>& names);

struct MessageRecord {
  int32_t id = 0;
  std::string file;        // "new/<name>" or "cur/<name>"; empty when not there at the last look
  bool known = false;      // seen by a scan, or written by the host: not new mail
  bool announced = false;  // "OnNewMessage" was raised for it
};

struct FolderRecord {
  int32_t id = 0;
  std::string dir;       // the directory in the root; "" for the Inbox, kStoreDir for the store
  FolderPath path;       // the names from "Local Folders" down; empty for it
  bool present = false;  // in the tree at the last look
  bool real = false;     // its directory is a Maildir
  std::map<std::string, MessageRecord> messages;  // by unique name
  std::map<int32_t, std::string> uniques;         // unique names by message id
  int32_t next_message_id = 1;
  // The watches on its new/ and cur/ (and tmp/, for renames out of it), and
  // on its directory while that is not yet a Maildir; -1 for none.
  int new_watch = -1, cur_watch = -1, tmp_watch = -1, dir_watch = -1;
  // Listed while both were watched, and watched since: every unique name in
  // it has a record, so that a move into it need not list it again.
  bool followed = false;
  // Moved into by the host while it watched the disk: watched from then on
  // even without a subscription, only to keep its records (the spam folder
  // would otherwise be listed whole for every message moved there, a cost
  // that grows with the folder). What arrives in it is not announced.
  bool kept = false;

  std::string Name() const { return path.empty() ? kStoreName : path.back(); }
};

// Everything the host holds. The members are guarded by mutex, except the
// counters, which objects change from their destructors.
struct Store {
  Store(const std::string& root_path, MaildirHost::Options host_options);

  mutable std::mutex mutex;
  const std::string root;
  const MaildirHost::Options options;

  std::map<int32_t, FolderRecord> folders;    // never erased: ids and records live on
  std::map<std::string, int32_t> folder_ids;  // by directory
  int32_t next_folder_id = 1;

  int32_t current_folder = MaildirHost::kInboxId;
  std::vector<int32_t> selection;
  size_t toolbars = 0;
  ToolbarControl* toolbar_window = nullptr;

  EventRegistry events;

  std::function<void(const std::string&)> step_hook;
  // What the owner is told of files passed over, and the size above which a
  // message is not announced (0: none); see MaildirHost.
  std::function<void(const std::string&)> notice;
  std::function<uint64_t()> size_limit;

  // What was announced and left unmarked in new/, across runs; and why it
  // could not be read or written, until that is reported.
  maildir::AnnouncedState remembered;
  std::string remembered_error;

  HostCounts counts;

  // Watching the disk; null until StartWatching.
  struct WatchTarget {
    int32_t folder;
    const char* sub;  // "new", "cur" or kTmp; null for a directory whose new folders count
  };
  std::unique_ptr<maildir::DirectoryEvents> watcher;
  std::unordered_map<int, WatchTarget> watch_targets;  // by watch
  NewMailDetector detector;

  // The helpers below expect mutex to be held.

  void Step(const char* step) {
    if (step_hook) step_hook(step);
  }

  // ---------------------------------------------------------------- the tree
  // (store_tree.cc)

  FolderRecord& Register(const std::string& dir);
  std::string DirectoryOf(const FolderRecord& folder) const {
    return folder.dir.empty() ? root : root + "/" + folder.dir;
  }
  // Reads the root again and brings the folder records up to date.
  void Refresh();
  FolderRecord* Find(int32_t id) { return host_store::FindFolder(folders, id); }
  // The folder as it is now on disk; it must be there.
  FolderRecord& Present(int32_t id) { return host_store::PresentFolder(folders, id); }
  // The disk is read again at each step of a walk, and for each folder
  // looked up: a look costs one listing of the root.
  void RefreshBeforeNextFolder() { Refresh(); }
  void RefreshBeforeFolder(int32_t) { Refresh(); }
  FolderRecord* PresentAt(const FolderPath& path);
  // The folders present, in walk order.
  std::vector<FolderRecord*> Walk() { return host_store::FoldersInWalkOrder(folders); }
  // Gives the folder's directory (and the Maildir in it) when it has none.
  void Materialize(FolderRecord& folder);
  int32_t CreateFolder(int32_t parent_id, const std::string& name);

  // The record of the unique name in the folder, made (with the next id)
  // when there is none.
  MessageRecord& Record(FolderRecord& folder, const std::string& unique);
  // Looks at the folder's new/ and cur/ again: where each message is now, and
  // ids for those first seen, in the order of their unique names.
  void ListMessages(FolderRecord& folder);
  // The message's file, "" when the folder does not hold it. Looks at the
  // disk again when the file is not where it was, or, with look_again, when
  // the message was not there at the last look.
  std::string Locate(FolderRecord& folder, int32_t id, bool look_again);
  std::string RequiredFile(FolderRecord& folder, int32_t id);

  // ---------------------------------------------------------------- changes
  // (store_changes.cc: each is crash-safe, see there)

  void Rewrite(FolderRecord& folder, int32_t id,
               const std::vector<std::pair<std::string, std::string>>& changes);
  void Move(int32_t source_id, int32_t target_id, int32_t id, int32_t* moved);
  void MarkRead(FolderRecord& folder, int32_t id);
  int32_t Add(FolderRecord& folder, const std::string& message);
  // The host's files in tmp/ that processes no longer running left.
  void RemoveOwnLitter(const FolderRecord& folder);

  // ---------------------------------------------------------------- new mail
  // (store_watch.cc)

  // Whether the file that arrived as a message may be announced: a regular
  // file within the size limit. Else the owner is told why it is passed over;
  // the caller has marked it announced, so that it is told once.
  bool Announceable(const std::string& path);
  std::vector<MaildirHost::NewMessage> FindNewMessages(std::optional<int32_t> only);
  // The ids of the messages in the folder's new/ without any of the header
  // fields named, in id order. Lists the folder again.
  std::vector<int32_t> Unjudged(FolderRecord& folder, const std::vector<std::string>& names);

  bool Subscribed(int32_t folder) const { return events.Count({Kind::kFolder, folder}) != 0; }
  // Puts a watch on or takes it off, as wanted; true when one was put on.
  bool SetWatch(FolderRecord& folder, int* watch, bool wanted, const char* sub);
  // Brings the folder's watches in line with its subscriptions and its
  // directory as at the last look; true when its messages became watched.
  bool SyncWatches(FolderRecord& folder);
  // A folder's first subscription has its directories watched (when the
  // owner watches the disk), its last one ends that.
  void SubscriptionsChanged(const EntityKey& entity) {
    if (entity.first == Kind::kFolder) SyncWatches(static_cast<int32_t>(entity.second));
  }
  void SyncWatches(int32_t id) {
    if (FolderRecord* folder = Find(id)) SyncWatches(*folder);
  }
  void StartWatching();
  void StopWatching();
  // Reads the file events queued and returns the messages they delivered,
  // in order, marked announced. A failure to read is put in *error after
  // what was read is judged.
  std::vector<MaildirHost::NewMessage> TakeFileEvents(std::string* error);
  // One event of a file in a watched folder's new/ or cur/; the message's id
  // when it brought new mail.
  std::optional<int32_t> JudgeFileEvent(FolderRecord& folder, FileEvent event,
                                        const std::string& file);

  // Reads what earlier runs announced and forgets the names that are no
  // longer in their folder's new/. The folders must have been listed.
  void LoadRemembered();
  // Called once the messages announced have been judged: remembers those
  // still in new/ without a judged mark, and writes the list if it changed.
  void RememberUnmarked(const std::vector<MaildirHost::NewMessage>& announced);
  void SaveRemembered();
  void NoteRememberedError(int error, const char* what);

  // Calls every sink of the entity; with mutex not held, so that sinks can
  // call back. A sink unadvised by an earlier one is not called.
  void Raise(EntityKey key, const HostEvent& event) { events.Raise(mutex, key, event); }
};

using host_store::OwnerCall;

}  // namespace maildir_host_internal
}  // namespace tarvex

#endif  // TARVEX_HOST_MAILDIR_STORE_H_
