#include "host/maildir/maildir_host.h"

#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "host/maildir/announced_state.h"
#include "host/maildir/directory_events.h"
#include "host/maildir/maildir_files.h"
#include "mail/maildir_names.h"
#include "mail/message_text.h"
#include "mail/mime_message.h"

// Crash safety
// ------------
// A message is one file in new/ or cur/ of one folder. The invariant is that
// every message is there exactly once, with its old or its new content,
// whenever the process stops. tmp/ is not part of a folder (mail programs
// never read it), so a file left there by a crash is litter, not a copy.
//
// - Commit writes the new content to a fresh file in tmp/ and flushes it.
//   Then one renameat2(RENAME_EXCHANGE) swaps it with the message file: the
//   message's name now holds the new content and the tmp/ name the old. The
//   folder is flushed and the old content removed. A crash before the swap
//   leaves the old message (and litter in tmp/), after it the new message.
//   tmp/ is not flushed after the removal: a crash can only bring the old
//   content back there, as litter, which no flush of tmp/ is needed to keep
//   out of the folder.
//   The swap, unlike a plain rename over the old name, fails when another
//   program has just renamed the message (say, to change its flags), rather
//   than bringing back a second copy under the old name; the host then reads
//   the message again and retries. A file system without the exchange gets
//   the plain rename, after a check that the message is still there.
// - MoveMessage and MarkRead are one rename each (to the other folder, or to
//   cur/ with the "S" flag), without replacing any file there: before it the
//   old state, after it the new. The folders are flushed after.
// - AddMessage writes to tmp/, flushes, and renames into new/, as delivery
//   agents do.
// - The files written in tmp/ are named kOwnTempPrefix, then the writer's
//   process id, then a unique name, so that those a killed process left can
//   be told from a delivery agent's, which may be being written right now.
// - CreateSubFolder makes cur/ last: a folder cut short by a crash has no
//   cur/ and is not yet taken for a folder; making it again completes it.

namespace tarvex {
namespace maildir_host_internal {

using maildir::FileIdentity;
using Lock = std::lock_guard<std::mutex>;
using FolderPath = std::vector<std::string>;

using Kind = EntityKind;

EntityKey MessageEntity(int32_t folder, int32_t message) {
  return {Kind::kMessage, (static_cast<int64_t>(folder) << 32) | static_cast<uint32_t>(message)};
}

// A failure of an operation, with the status it is handed back as. Thrown
// by the store's helpers, caught where the operation started.
class OperationError : public std::runtime_error {
 public:
  OperationError(HostStatus status, const std::string& description)
      : std::runtime_error(description), status_(status) {}
  HostStatus status() const { return status_; }

 private:
  HostStatus status_;
};

[[noreturn]] void Throw(HostStatus status, const std::string& description) {
  throw OperationError(status, description);
}

[[noreturn]] void ThrowErrno(int error, const std::string& what) {
  const HostStatus status = error == EACCES || error == EPERM || error == EROFS
                                ? status::kAccessDenied
                            : error == ENOMEM ? status::kOutOfMemory
                                              : status::kFail;
  Throw(status, what + ": " + maildir::ErrorText(error));
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string ParentDirectory(const std::string& path) { return path.substr(0, path.rfind('/')); }

const char kTmp[] = "tmp";

// A fresh name for a file of the host's own in the tmp/ folder given.
std::string OwnTempFile(const std::string& tmp) {
  return tmp + "/" + MaildirHost::kOwnTempPrefix + std::to_string(::getpid()) + "." +
         mail::NewUniqueName();
}

// Whether a name in tmp/ is a file of the host's own that no running process
// is writing: its writer's id names no process.
bool IsOwnLitter(const std::string& name) {
  const size_t prefix = std::strlen(MaildirHost::kOwnTempPrefix);
  if (name.compare(0, prefix, MaildirHost::kOwnTempPrefix) != 0) return false;
  const size_t dot = name.find('.', prefix);
  if (dot == std::string::npos || dot == prefix) return false;
  pid_t pid = 0;
  for (size_t i = prefix; i < dot; ++i) {
    if (name[i] < '0' || name[i] > '9' || pid > 10000000) return false;
    pid = pid * 10 + (name[i] - '0');
  }
  return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Whether the file's header block holds a field of one of the names. Reads
// only the block, and of that no more than kMaxHeadCheck bytes; a file that
// cannot be read holds none.
bool CarriesField(const std::string& path, const std::vector<std::string>& names) {
  if (names.empty()) return false;
  std::string head;
  if (maildir::ReadHead(path, &head, nullptr, MaildirHost::kMaxHeadCheck) != 0) return false;
  const std::string_view block = std::string_view(head).substr(0, mail::LayOut(head).header_end);
  for (const mail::HeaderField& field : mail::HeaderFields(block)) {
    for (const std::string& name : names) {
      if (mail::SameFieldName(field.name, name)) return true;
    }
  }
  return false;
}

// The directory name "Local Folders" stands for: none can be called so.
const char kStoreDir[] = "/";
const char kStoreName[] = "Local Folders";

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
  Store(const std::string& root_path, MaildirHost::Options host_options)
      : root(root_path), options(host_options), remembered(options.announced_state) {
    Register(kStoreDir);  // MaildirHost::kLocalFoldersId
    Register("");         // MaildirHost::kInboxId
  }

  mutable std::mutex mutex;
  const std::string root;
  const MaildirHost::Options options;

  std::map<int32_t, FolderRecord> folders;    // never erased: ids and records live on
  std::map<std::string, int32_t> folder_ids;  // by directory
  int32_t next_folder_id = 1;

  int32_t current_folder = MaildirHost::kInboxId;
  std::vector<int32_t> selection;
  size_t toolbars = 0;

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

  // Watching the disk (see "Watching" below); null until StartWatching.
  struct WatchTarget {
    int32_t folder;
    const char* sub;  // "new", "cur" or kTmp; null for a directory whose new folders count
  };
  struct MoveOut {
    int32_t folder;
    bool pending;   // the file was being written in place
    bool from_tmp;  // renamed out of tmp/: a delivery
  };
  std::unique_ptr<maildir::DirectoryEvents> watcher;
  std::unordered_map<int, WatchTarget> watch_targets;  // by watch
  // Files moved out of a watched folder, by rename cookie, in this batch of
  // events and the one before (the two halves of a rename can straddle two).
  std::unordered_map<uint32_t, MoveOut> moves_out, earlier_moves_out;
  // Files created in place in a folder and not yet closed: (folder, unique).
  std::set<std::pair<int32_t, std::string>> pending;

  // The helpers below expect mutex to be held.

  void Step(const char* step) {
    if (step_hook) step_hook(step);
  }

  FolderRecord& Register(const std::string& dir) {
    const int32_t id = next_folder_id++;
    folder_ids[dir] = id;
    FolderRecord& record = folders[id];
    record.id = id;
    record.dir = dir;
    return record;
  }

  std::string DirectoryOf(const FolderRecord& folder) const {
    return folder.dir.empty() ? root : root + "/" + folder.dir;
  }

  // Whether the file that arrived as a message may be announced: a regular
  // file within the size limit. Else the owner is told why it is passed over;
  // the caller has marked it announced, so that it is told once.
  bool Announceable(const std::string& path) {
    std::string reason = maildir::NonMessageKind(path);
    FileIdentity identity;
    const uint64_t limit = size_limit ? size_limit() : 0;
    if (reason.empty() && limit && maildir::Identify(path, &identity) == 0 &&
        identity.size > limit) {
      reason = MaildirHost::TooBigToJudge(identity.size, limit);
    }
    if (reason.empty()) return true;
    if (notice) notice("skipped " + path + ": " + reason);
    return false;
  }

  // ---------------------------------------------------------------- the tree

  // Reads the root again and brings the folder records up to date.
  void Refresh() {
    std::vector<std::string> names;
    if (const int error = maildir::ListDirectory(root, &names)) {
      ThrowErrno(error, "cannot read the mail store " + root);
    }
    std::sort(names.begin(), names.end());

    struct Dir {
      std::string name;
      std::vector<std::string> levels;  // as spelled
    };
    std::vector<Dir> dirs;
    std::set<std::string> first_levels;  // decoded
    for (const std::string& name : names) {
      std::vector<std::string> levels = mail::FolderDirLevels(name);
      if (levels.empty() || !maildir::IsDirectory(root + "/" + name + "/cur")) continue;
      first_levels.insert(mail::FolderLevelName(levels[0]));
      dirs.push_back({name, std::move(levels)});
    }

    // Which first level each standard folder stands for: the first of its
    // Maildir names that is there.
    std::map<std::string, std::string> standard_of;  // decoded first level -> standard name
    std::vector<std::pair<FolderPath, std::string>> standard_dirs;
    for (const mail::StandardFolder& standard : mail::StandardFolders()) {
      const char* chosen = standard.maildir_names.front();
      for (const char* candidate : standard.maildir_names) {
        if (first_levels.count(candidate)) {
          chosen = candidate;
          standard_of[candidate] = standard.name;
          break;
        }
      }
      standard_dirs.push_back({{standard.name}, "." + mail::EncodeFolderName(chosen)});
    }
    auto shown_first = [&](const std::string& spelling) -> std::string {
      const std::string name = mail::FolderLevelName(spelling);
      if (mail::IsInboxLevel(name)) return mail::kInboxName;
      auto it = standard_of.find(name);
      return it == standard_of.end() ? name : it->second;
    };
    // The directories of standard folders go first, so that they win over
    // one spelled like the standard name itself.
    std::stable_partition(dirs.begin(), dirs.end(), [&](const Dir& d) {
      return standard_of.count(mail::FolderLevelName(d.levels[0])) != 0;
    });

    struct Node {
      std::string dir;
      bool real = false;
    };
    std::map<FolderPath, Node> nodes;  // in walk order: pre-order is the order of paths
    nodes[{}] = {kStoreDir, false};
    nodes[{mail::kInboxName}] = {"", maildir::IsDirectory(root + "/cur")};
    for (const Dir& d : dirs) {
      FolderPath path{shown_first(d.levels[0])};
      for (size_t i = 1; i < d.levels.size(); ++i) {
        path.push_back(mail::FolderLevelName(d.levels[i]));
      }
      nodes.emplace(path, Node{d.name, true});  // the first of a name stays
    }
    for (const auto& [path, dir] : standard_dirs) nodes.emplace(path, Node{dir, false});
    // Levels above a folder that have no directory of their own.
    std::vector<std::pair<FolderPath, std::string>> parents;
    for (const auto& [path, node] : nodes) {
      if (!node.real || path.size() < 2) continue;
      const std::vector<std::string> levels = mail::FolderDirLevels(node.dir);
      std::string dir;
      for (size_t i = 0; i + 1 < path.size(); ++i) {
        dir += "." + levels[i];
        parents.push_back({FolderPath(path.begin(), path.begin() + i + 1), dir});
      }
    }
    for (const auto& [path, dir] : parents) nodes.emplace(path, Node{dir, false});

    for (auto& entry : folders) entry.second.present = false;
    for (const auto& [path, node] : nodes) {
      auto id = folder_ids.find(node.dir);
      FolderRecord& folder = id == folder_ids.end() ? Register(node.dir) : folders.at(id->second);
      if (folder.present) continue;
      folder.path = path;
      folder.present = true;
      folder.real = node.real;
    }
  }

  FolderRecord* Find(int32_t id) {
    auto it = folders.find(id);
    return it == folders.end() ? nullptr : &it->second;
  }

  // The folder as it is now on disk; it must be there.
  FolderRecord& Present(int32_t id) {
    FolderRecord* folder = Find(id);
    if (!folder || !folder->present) {
      Throw(status::kInvalidArgument, "There is no folder " + std::to_string(id) + ".");
    }
    return *folder;
  }

  FolderRecord* PresentAt(const FolderPath& path) {
    for (auto& [id, folder] : folders) {
      if (folder.present && folder.path == path) return &folder;
    }
    return nullptr;
  }

  std::vector<FolderRecord*> Walk() {
    std::vector<FolderRecord*> walk;
    for (auto& [id, folder] : folders) {
      if (folder.present) walk.push_back(&folder);
    }
    std::sort(walk.begin(), walk.end(),
              [](const FolderRecord* a, const FolderRecord* b) { return a->path < b->path; });
    return walk;
  }

  // Gives the folder's directory (and the Maildir in it) when it has none.
  void Materialize(FolderRecord& folder) {
    if (folder.dir == kStoreDir)
      Throw(status::kInvalidArgument, "Local Folders holds no messages.");
    if (folder.real) return;
    if (const int error = maildir::MakeMaildir(DirectoryOf(folder), !folder.dir.empty())) {
      ThrowErrno(error, "cannot make the folder " + DirectoryOf(folder));
    }
    Refresh();
    if (!folder.present || !folder.real) {
      Throw(status::kFail, "The folder " + Quoted(folder.Name()) + " cannot be made.");
    }
    SyncWatches(folder);
  }

  int32_t CreateFolder(int32_t parent_id, const std::string& name) {
    if (!mail::IsValidFolderName(name)) {
      Throw(status::kInvalidArgument, Quoted(name) + " cannot be a folder name.");
    }
    Refresh();
    FolderRecord& parent = Present(parent_id);
    std::string dir;
    FolderPath path = parent.path;
    if (parent.dir == kStoreDir) {
      path.push_back(mail::IsInboxLevel(name) ? mail::kInboxName : name);
      dir = "." + mail::EncodeFolderName(name);
    } else {
      path.push_back(name);
      dir = (parent.dir.empty() ? std::string(".") + mail::kInboxLevel : parent.dir) + "." +
            mail::EncodeFolderName(name);
    }
    // A folder shown but without a directory (a standard folder, a level
    // above another) gets one; one with a directory is there already.
    FolderRecord* existing = PresentAt(path);
    if (!existing) {
      auto id = folder_ids.find(dir);
      if (id != folder_ids.end() && folders.at(id->second).present)
        existing = &folders.at(id->second);
    }
    if (existing && existing->real) {
      Throw(MaildirHost::kAlreadyExists,
            Quoted(parent.Name()) + " already has a folder " + Quoted(name) + ".");
    }
    if (existing) {
      Materialize(*existing);
      return existing->id;
    }
    if (const int error = maildir::MakeMaildir(root + "/" + dir, true)) {
      ThrowErrno(error, "cannot make the folder " + root + "/" + dir);
    }
    Refresh();
    auto id = folder_ids.find(dir);
    if (id == folder_ids.end() || !folders.at(id->second).present) {
      Throw(status::kFail, "The folder " + Quoted(name) + " was made as " + Quoted(dir) +
                               " but another folder of that name hides it.");
    }
    return id->second;
  }

  // ---------------------------------------------------------------- messages

  MessageRecord& Record(FolderRecord& folder, const std::string& unique) {
    auto it = folder.messages.find(unique);
    if (it != folder.messages.end()) return it->second;
    MessageRecord& record = folder.messages[unique];
    record.id = folder.next_message_id++;
    folder.uniques[record.id] = unique;
    return record;
  }

  // Looks at the folder's new/ and cur/ again: where each message is now, and
  // ids for those first seen, in the order of their unique names.
  void ListMessages(FolderRecord& folder) {
    std::map<std::string, std::string> found;  // unique name -> file
    if (folder.dir != kStoreDir) {
      for (const char* sub : {"cur", "new"}) {
        std::vector<std::string> names;
        const std::string dir = DirectoryOf(folder) + "/" + sub;
        if (const int error = maildir::ListDirectory(dir, &names)) {
          if (error == ENOENT || error == ENOTDIR) continue;
          ThrowErrno(error, "cannot read the folder " + dir);
        }
        for (const std::string& name : names) {
          if (!mail::IsMessageFileName(name)) continue;
          const std::string unique = mail::ParseMessageFileName(name).unique;
          // Should a broken program leave a message in both, cur/ (listed
          // first) is taken.
          if (!unique.empty()) found.emplace(unique, std::string(sub) + "/" + name);
        }
      }
    }
    for (auto& entry : folder.messages) entry.second.file.clear();
    for (const auto& [unique, file] : found) Record(folder, unique).file = file;
    folder.followed = folder.new_watch >= 0 && folder.cur_watch >= 0;
    Step(maildir_step::kListed);
  }

  // The message's file, "" when the folder does not hold it. Looks at the
  // disk again when the file is not where it was, or, with look_again, when
  // the message was not there at the last look.
  std::string Locate(FolderRecord& folder, int32_t id, bool look_again) {
    auto unique = folder.uniques.find(id);
    if (unique == folder.uniques.end()) {
      if (!look_again) return {};
      ListMessages(folder);
      unique = folder.uniques.find(id);
      if (unique == folder.uniques.end()) return {};
    }
    const MessageRecord& record = folder.messages.at(unique->second);
    if (record.file.empty() && !look_again) return {};
    if (!record.file.empty() && maildir::Exists(DirectoryOf(folder) + "/" + record.file)) {
      return DirectoryOf(folder) + "/" + record.file;
    }
    ListMessages(folder);
    return record.file.empty() ? std::string() : DirectoryOf(folder) + "/" + record.file;
  }

  std::string RequiredFile(FolderRecord& folder, int32_t id) {
    std::string file = Locate(folder, id, true);
    if (file.empty()) {
      Throw(status::kFail,
            "Message " + std::to_string(id) + " is no longer in " + Quoted(folder.Name()) + ".");
    }
    return file;
  }

  // ---------------------------------------------------------------- changes

  // Commit: see the top of the file.
  void Rewrite(FolderRecord& folder, int32_t id,
               const std::vector<std::pair<std::string, std::string>>& changes) {
    std::vector<std::pair<std::string, std::string>> written = changes;
    if (options.encode_header_values) {
      for (auto& change : written) change.second = mail::EncodeHeaderValue(change.second);
    }
    const std::string tmp = DirectoryOf(folder) + "/tmp";
    for (int attempt = 1;; ++attempt) {
      const bool last_attempt = attempt == 3;
      const std::string path = RequiredFile(folder, id);
      // Only the header block changes: the body is copied from the file to
      // the new one, never held in memory.
      std::string old;
      FileIdentity identity;
      if (const int error = maildir::ReadHead(path, &old, &identity)) {
        ThrowErrno(error, "cannot read " + path);
      }
      const std::string updated = mail::SetHeaderFields(old, written);
      if (updated == old) return;

      if (const int error = maildir::EnsureDirectory(tmp)) ThrowErrno(error, "cannot make " + tmp);
      const std::string temp = OwnTempFile(tmp);
      // Whatever the temporary file holds when this ends (the new content
      // unused, or the old content swapped out), it goes.
      struct Litter {
        const std::string& path;
        ~Litter() { maildir::RemoveFile(path); }
      } litter{temp};
      if (const int error = maildir::WriteNewFileFrom(temp, updated, path, old.size(), identity)) {
        if (error == ESTALE || error == ENOENT) {
          if (last_attempt) Throw(status::kFail, "Another program keeps changing " + path + ".");
          continue;  // changed or renamed by another program since it was read
        }
        ThrowErrno(error, "cannot write the new version of " + path + " in " + tmp);
      }
      Step(maildir_step::kCommitWritten);

      FileIdentity now;
      if (maildir::Identify(path, &now) != 0 || now != identity) {
        if (last_attempt) Throw(status::kFail, "Another program keeps changing " + path + ".");
        continue;  // changed or renamed by another program since it was read
      }
      int error = maildir::ExchangeFiles(temp, path);
      if (error == EINVAL) {
        error = maildir::RenameOver(temp, path);
      } else if (error == 0) {
        // Had another program rewritten the message in the meantime, its
        // version is swapped back and the change made again over it.
        FileIdentity displaced;
        if (maildir::Identify(temp, &displaced) == 0 && displaced != identity &&
            maildir::ExchangeFiles(temp, path) == 0) {
          if (last_attempt) Throw(status::kFail, "Another program keeps changing " + path + ".");
          continue;
        }
      }
      if (error == ENOENT && !last_attempt) continue;  // renamed away just now
      if (error) ThrowErrno(error, "cannot replace " + path);
      Step(maildir_step::kCommitReplaced);
      maildir::SyncDirectory(ParentDirectory(path));
      maildir::RemoveFile(temp);
      Step(maildir_step::kCommitCleaned);
      return;
    }
  }

  void Move(int32_t source_id, int32_t target_id, int32_t id, int32_t* moved) {
    Refresh();
    FolderRecord& source = Present(source_id);
    FolderRecord& target = Present(target_id);
    const std::string from = Locate(source, id, true);
    if (from.empty()) {
      Throw(status::kInvalidArgument,
            "There is no message " + std::to_string(id) + " in " + Quoted(source.Name()) + ".");
    }
    *moved = 0;
    if (&source == &target) return;
    Materialize(target);
    // Whether the target holds the unique name already: from its records
    // when file events keep them, else from a look at the disk, after which
    // they are kept.
    if (watcher && !target.followed && !target.kept) {
      target.kept = true;
      try {
        SyncWatches(target);
      } catch (const OperationError&) {
        target.kept = false;  // no watch to be had: a look each time
      }
    }
    if (!target.followed) ListMessages(target);

    const std::string old_unique = source.uniques.at(id);
    MessageRecord& record = source.messages.at(old_unique);
    const std::string sub = record.file.substr(0, record.file.find('/'));
    const std::string name = record.file.substr(sub.size() + 1);
    std::string unique = old_unique;
    auto clash = target.messages.find(unique);
    if (clash != target.messages.end() && !clash->second.file.empty()) {
      unique = mail::NewUniqueName();
    }
    const std::string file = sub + "/" + unique + name.substr(old_unique.size());
    const std::string to = DirectoryOf(target) + "/" + file;
    Step(maildir_step::kMovePrepared);

    if (const int error = maildir::RenameNoReplace(from, to)) {
      ThrowErrno(error, "cannot move " + from + " to " + target.Name());
    }
    record.file.clear();
    MessageRecord& arrived = Record(target, unique);
    arrived.file = file;
    arrived.known = true;
    *moved = 1;
    Step(maildir_step::kMoveRenamed);
    maildir::SyncDirectory(ParentDirectory(to));
    maildir::SyncDirectory(ParentDirectory(from));
    Step(maildir_step::kMoveFlushed);
  }

  void MarkRead(FolderRecord& folder, int32_t id) {
    const std::string from = RequiredFile(folder, id);
    MessageRecord& record = folder.messages.at(folder.uniques.at(id));
    const bool in_cur = record.file.compare(0, 4, "cur/") == 0;
    const mail::MessageFileName name = mail::ParseMessageFileName(record.file.substr(4));
    if (in_cur && mail::HasFlag(name.flags, 'S')) return;
    const std::string file =
        "cur/" + mail::CurFileName(name.unique, mail::AddFlag(name.flags, 'S'));
    const std::string to = DirectoryOf(folder) + "/" + file;
    Step(maildir_step::kMarkReadPrepared);

    if (const int error = maildir::RenameNoReplace(from, to)) {
      ThrowErrno(error, "cannot mark " + from + " read");
    }
    record.file = file;
    Step(maildir_step::kMarkReadRenamed);
    maildir::SyncDirectory(ParentDirectory(to));
    if (!in_cur) maildir::SyncDirectory(ParentDirectory(from));
    Step(maildir_step::kMarkReadFlushed);
  }

  int32_t Add(FolderRecord& folder, const std::string& message) {
    Materialize(folder);
    const std::string unique = mail::NewUniqueName();
    const std::string temp = OwnTempFile(DirectoryOf(folder) + "/" + kTmp);
    const std::string file = "new/" + unique;
    if (int error = maildir::WriteNewFile(temp, message)) {
      ThrowErrno(error, "cannot write " + temp);
    }
    if (int error = maildir::RenameNoReplace(temp, DirectoryOf(folder) + "/" + file)) {
      maildir::RemoveFile(temp);
      ThrowErrno(error, "cannot put " + temp + " into " + folder.Name());
    }
    maildir::SyncDirectory(DirectoryOf(folder) + "/new");
    MessageRecord& record = Record(folder, unique);
    record.file = file;
    record.known = true;
    return record.id;
  }

  // ---------------------------------------------------------------- events

  std::vector<MaildirHost::NewMessage> FindNewMessages(std::optional<int32_t> only) {
    Refresh();
    if (only) Present(*only);
    std::vector<MaildirHost::NewMessage> found;
    for (FolderRecord* folder : Walk()) {
      if ((only && folder->id != *only) || !folder->real) continue;
      ListMessages(*folder);
      for (const auto& [id, unique] : folder->uniques) {
        MessageRecord& record = folder->messages.at(unique);
        if (record.file.empty() || record.known) continue;
        record.known = record.announced = true;
        const std::string path = DirectoryOf(*folder) + "/" + record.file;
        if (Announceable(path)) found.push_back({folder->id, id, path});
      }
    }
    return found;
  }

  // The ids of the messages in the folder's new/ without any of the header
  // fields named, in id order. Lists the folder again.
  std::vector<int32_t> Unjudged(FolderRecord& folder, const std::vector<std::string>& names) {
    ListMessages(folder);
    std::vector<int32_t> ids;
    for (const auto& [id, unique] : folder.uniques) {
      const std::string& file = folder.messages.at(unique).file;
      if (file.compare(0, 4, "new/") != 0) continue;
      // What cannot be read (not a message file) is left to the announcer.
      if (!CarriesField(DirectoryOf(folder) + "/" + file, names)) ids.push_back(id);
    }
    return ids;
  }

  // ---------------------------------------------------------------- watching
  //
  // A folder is watched while it has a subscription: its new/ and cur/, or,
  // while it has no Maildir, its directory, for when it gets one; the root
  // is watched for folders that come and go. Every file event is judged on
  // its own, with a lookup of its unique name in its folder: a name the
  // folder knows (seen, written by the host, announced) is never new mail.
  // For one it does not know:
  // - a file renamed in (IN_MOVED_TO) is new, unless it was renamed from the
  //   same folder (a flag change, new/ to cur/ of a message that came while
  //   nothing watched);
  // - a file created in place (IN_CREATE) is new when it is closed after
  //   writing (IN_CLOSE_WRITE). When no write follows in the same batch of
  //   events and the file is not empty, it is a hard link of a message
  //   written elsewhere, as qmail-style delivery agents make, and new at once.
  //   An empty one waits for its close.

  bool Subscribed(int32_t folder) const { return events.Count({Kind::kFolder, folder}) != 0; }

  // Puts a watch on or takes it off, as wanted; true when one was put on.
  bool SetWatch(FolderRecord& folder, int* watch, bool wanted, const char* sub) {
    if (wanted == (*watch >= 0)) return false;
    if (!wanted) {
      watcher->Unwatch(*watch);
      watch_targets.erase(*watch);
      *watch = -1;
      folder.followed = false;
      return false;
    }
    constexpr uint32_t kFolders = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;
    constexpr uint32_t kMessages = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE |
                                   IN_CLOSE_WRITE | IN_MODIFY | IN_EXCL_UNLINK;
    // Of tmp/, only what leaves it: a delivery agent's rename into new/ or
    // cur/, told from a move by the other half of the rename.
    constexpr uint32_t kTmpOut = IN_MOVED_FROM;
    const std::string path = sub ? DirectoryOf(folder) + "/" + sub : DirectoryOf(folder);
    const uint32_t mask = !sub ? kFolders : sub == kTmp ? kTmpOut : kMessages;
    int added = -1;
    if (const int error = watcher->Watch(path, mask | IN_ONLYDIR, &added)) {
      if (error == ENOENT || error == ENOTDIR) return false;  // a Maildir without new/
      ThrowErrno(error, "The folder " + Quoted(folder.Name()) + " cannot be watched");
    }
    *watch = added;
    watch_targets[added] = {folder.id, sub};
    return true;
  }

  // Brings the folder's watches in line with its subscriptions and its
  // directory as at the last look; true when its messages became watched.
  bool SyncWatches(FolderRecord& folder) {
    if (!watcher) return false;
    const bool there = folder.present && folder.dir != kStoreDir;
    const bool subscribed = there && Subscribed(folder.id);
    const bool wanted = subscribed || (there && folder.kept);
    // The Inbox's directory is the root, watched anyway.
    SetWatch(folder, &folder.dir_watch,
             subscribed && !folder.real && !folder.dir.empty() &&
                 maildir::IsDirectory(DirectoryOf(folder)),
             nullptr);
    const bool added_new = SetWatch(folder, &folder.new_watch, wanted && folder.real, "new");
    const bool added_cur = SetWatch(folder, &folder.cur_watch, wanted && folder.real, "cur");
    SetWatch(folder, &folder.tmp_watch, subscribed && folder.real, kTmp);
    return added_new || added_cur;
  }

  void SyncWatches(int32_t id) {
    if (FolderRecord* folder = Find(id)) SyncWatches(*folder);
  }

  void StartWatching() {
    if (watcher) return;
    watcher = std::make_unique<maildir::DirectoryEvents>();
    try {
      int root_watch = -1;
      if (const int error =
              watcher->Watch(root, IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ONLYDIR,
                             &root_watch)) {
        ThrowErrno(error, "The mail store " + Quoted(root) + " cannot be watched");
      }
      watch_targets[root_watch] = {MaildirHost::kLocalFoldersId, nullptr};
      Refresh();
      for (auto& entry : folders) SyncWatches(entry.second);
    } catch (...) {
      StopWatching();
      throw;
    }
  }

  void StopWatching() {
    watcher.reset();
    watch_targets.clear();
    moves_out.clear();
    earlier_moves_out.clear();
    pending.clear();
    for (auto& entry : folders) {
      FolderRecord& folder = entry.second;
      folder.new_watch = folder.cur_watch = folder.tmp_watch = folder.dir_watch = -1;
      folder.followed = folder.kept = false;
    }
  }

  // Reads the file events queued and returns the messages they delivered,
  // in order, marked announced. A failure to read is put in *error after
  // what was read is judged.
  std::vector<MaildirHost::NewMessage> TakeFileEvents(std::string* error) {
    if (!watcher) return {};
    std::vector<maildir::DirectoryEvent> batch;
    if (const int e = watcher->Read(&batch)) {
      *error =
          std::string("The changes in the mail store cannot be read: ") + std::strerror(e) + ".";
    }
    earlier_moves_out = std::move(moves_out);
    moves_out.clear();

    // Where in the batch each file is last written to, to tell a file created
    // in place from a hard link.
    std::unordered_map<std::string, size_t> last_write;
    for (size_t i = 0; i < batch.size(); ++i) {
      if (batch[i].mask & (IN_MODIFY | IN_CLOSE_WRITE))
        last_write[std::to_string(batch[i].watch) + "/" + batch[i].name] = i;
    }

    std::vector<std::pair<int32_t, int32_t>> arrived;  // folder, message
    bool overflow = false, tree_changed = false;
    for (size_t i = 0; i < batch.size(); ++i) {
      const maildir::DirectoryEvent& event = batch[i];
      if (event.watch < 0) {
        overflow |= (event.mask & IN_Q_OVERFLOW) != 0;
        continue;
      }
      auto target = watch_targets.find(event.watch);
      if (target == watch_targets.end()) continue;  // a watch taken off meanwhile
      if (event.mask & IN_IGNORED) {                // its directory is gone
        if (FolderRecord* folder = Find(target->second.folder)) {
          for (int* watch :
               {&folder->new_watch, &folder->cur_watch, &folder->tmp_watch, &folder->dir_watch}) {
            if (*watch == event.watch) *watch = -1;
          }
          folder->followed = false;
        }
        watch_targets.erase(target);
        tree_changed = true;
        continue;
      }
      if (!target->second.sub) {
        tree_changed |= (event.mask & IN_ISDIR) != 0;
        continue;
      }
      if (target->second.sub == kTmp) {
        if (event.mask & IN_MOVED_FROM)
          moves_out[event.cookie] = {target->second.folder, false, true};
        continue;
      }
      // A folder named like a message is passed over as one that is not.
      if (!mail::IsMessageFileName(event.name)) continue;
      const std::string unique = mail::ParseMessageFileName(event.name).unique;
      if (unique.empty()) continue;
      bool written_later = false;
      if (!last_write.empty() && (event.mask & IN_CREATE)) {
        auto written = last_write.find(std::to_string(event.watch) + "/" + event.name);
        written_later = written != last_write.end() && written->second > i;
      }
      FolderRecord& folder = folders.at(target->second.folder);
      const std::string file = std::string(target->second.sub) + "/" + event.name;
      if (const auto id = JudgeFileEvent(folder, unique, file, event, written_later)) {
        if (Subscribed(folder.id)) arrived.emplace_back(folder.id, *id);
      }
    }

    // What is judged above is kept should looking at the disk fail below.
    try {
      if (overflow) {
        // Events were lost: what is there now tells what came (and the
        // records follow the disk again).
        for (auto& entry : folders) entry.second.followed = false;
        pending.clear();
        moves_out.clear();
        earlier_moves_out.clear();
        for (const MaildirHost::NewMessage& m : FindNewMessages(std::nullopt))
          arrived.emplace_back(m.folder, m.message);
      }
      if (tree_changed) {
        Refresh();
        for (auto& [id, folder] : folders) {
          if (!SyncWatches(folder) || !Subscribed(id)) continue;
          // Watched from now on; what came before the watch is found by a look.
          for (const MaildirHost::NewMessage& m : FindNewMessages(id))
            arrived.emplace_back(m.folder, m.message);
        }
      }
    } catch (const OperationError& failure) {
      *error = failure.what();
    }

    std::vector<MaildirHost::NewMessage> found;
    for (const auto& [folder_id, id] : arrived) {
      FolderRecord& folder = folders.at(folder_id);
      MessageRecord& record = folder.messages.at(folder.uniques.at(id));
      if (record.file.empty()) continue;  // gone again in the same batch
      record.announced = true;
      const std::string path = DirectoryOf(folder) + "/" + record.file;
      if (Announceable(path)) found.push_back({folder_id, id, path});
    }
    return found;
  }

  // One event of a file in a watched folder's new/ or cur/; the message's id
  // when it delivered one.
  std::optional<int32_t> JudgeFileEvent(FolderRecord& folder, const std::string& unique,
                                        const std::string& file,
                                        const maildir::DirectoryEvent& event, bool written_later) {
    const std::pair<int32_t, std::string> key{folder.id, unique};
    auto record = folder.messages.find(unique);
    const bool has_record = record != folder.messages.end();
    if (event.mask & (IN_MOVED_FROM | IN_DELETE)) {
      if (has_record && record->second.file == file) record->second.file.clear();
      const bool was_pending = pending.erase(key) != 0;
      if (event.mask & IN_MOVED_FROM) moves_out[event.cookie] = {folder.id, was_pending, false};
      // Only new/ is looked at by a start: what left it needs no remembering.
      if (file.compare(0, 4, "new/") == 0) remembered.Remove(folder.dir, unique);
      return std::nullopt;
    }
    // Every name that appears gets its record (and id), new mail or not.
    MessageRecord* seen = has_record ? &record->second : nullptr;
    if (event.mask & (IN_MOVED_TO | IN_CREATE)) {
      if (!seen) seen = &Record(folder, unique);
      seen->file = file;
    }
    if (seen && seen->known) return std::nullopt;
    // Delivered by a delivery agent, or moved in from elsewhere.
    bool delivered = false, moved_in = false;
    if (event.mask & IN_MOVED_TO) {
      const MoveOut* from = nullptr;
      for (const auto* moves : {&moves_out, &earlier_moves_out}) {
        auto it = moves->find(event.cookie);
        if (it != moves->end()) {
          from = &it->second;
          break;
        }
      }
      if (from && (from->from_tmp || from->pending)) {
        delivered = true;
      } else {
        moved_in = !from || from->folder != folder.id;
      }
    } else if (event.mask & IN_CREATE) {
      // Nothing is ever written into what is not a regular file (a link, a
      // FIFO): it has come as it is, to be passed over at once.
      const std::string path = DirectoryOf(folder) + "/" + file;
      maildir::FileIdentity identity;
      delivered =
          !written_later && (!maildir::NonMessageKind(path).empty() ||
                             (maildir::Identify(path, &identity) == 0 && identity.size > 0));
      if (!delivered) pending.insert(key);
    } else if (event.mask & IN_CLOSE_WRITE) {
      delivered = pending.count(key) != 0;
    }
    if (!delivered && !moved_in) return std::nullopt;
    pending.erase(key);
    MessageRecord& arrived = seen ? *seen : Record(folder, unique);
    if (arrived.file.empty()) arrived.file = file;
    arrived.known = true;
    // Judged on its way in: the filter ran in the delivery recipe.
    if (delivered && Subscribed(folder.id) &&
        CarriesField(DirectoryOf(folder) + "/" + file, options.judged_marks)) {
      return std::nullopt;
    }
    return arrived.id;
  }

  // ---------------------------------------------------------------- remembering

  // Reads what earlier runs announced and forgets the names that are no
  // longer in their folder's new/. The folders must have been listed.
  void LoadRemembered() {
    if (const int error = remembered.Load()) NoteRememberedError(error, "read");
    remembered.Retain([&](const std::string& dir, const std::string& unique) {
      auto id = folder_ids.find(dir);
      if (id == folder_ids.end()) return false;
      const FolderRecord& folder = folders.at(id->second);
      auto record = folder.messages.find(unique);
      return folder.present && record != folder.messages.end() &&
             record->second.file.compare(0, 4, "new/") == 0;
    });
    SaveRemembered();
  }

  // Called once the messages announced have been judged: remembers those
  // still in new/ without a judged mark, and writes the list if it changed.
  void RememberUnmarked(const std::vector<MaildirHost::NewMessage>& announced) {
    if (remembered.path().empty()) return;
    for (const MaildirHost::NewMessage& m : announced) {
      FolderRecord& folder = folders.at(m.folder);
      const std::string& unique = folder.uniques.at(m.message);
      const std::string& file = folder.messages.at(unique).file;
      if (file.compare(0, 4, "new/") == 0 &&
          !CarriesField(DirectoryOf(folder) + "/" + file, options.judged_marks)) {
        remembered.Add(folder.dir, unique);
      }
    }
    SaveRemembered();
  }

  void SaveRemembered() {
    if (const int error = remembered.Save()) NoteRememberedError(error, "written");
  }

  void NoteRememberedError(int error, const char* what) {
    remembered_error = "The list of announced messages " + Quoted(remembered.path()) +
                       " cannot be " + what + ": " + std::strerror(error) + ".";
  }

  // The host's files in tmp/ that processes no longer running left.
  void RemoveOwnLitter(const FolderRecord& folder) {
    std::vector<std::string> names;
    const std::string tmp = DirectoryOf(folder) + "/" + kTmp;
    if (maildir::ListDirectory(tmp, &names) != 0) return;
    for (const std::string& name : names) {
      if (IsOwnLitter(name)) maildir::RemoveFile(tmp + "/" + name);
    }
  }

  // Calls every sink of the entity; with mutex not held, so that sinks can
  // call back. A sink unadvised by an earlier one is not called.
  void Raise(EntityKey key, const HostEvent& event) { events.Raise(mutex, key, event); }
};

// ------------------------------------------------------------------ objects

// What every object of the host shares, and its entity's subscriptions.
template <typename Base>
class Object : public HostObjectCore<Base, Store> {
 public:
  using HostObjectCore<Base, Store>::HostObjectCore;

 protected:
  using HostObjectCore<Base, Store>::Fail;
  using HostObjectCore<Base, Store>::store_;
  using HostObjectCore<Base, Store>::entity_;

  // A folder's first subscription has its directories watched (when the
  // owner watches the disk), its last one ends that.
  HostStatus DoAdvise(const HostRef<HostEventSink>& sink, uint32_t* cookie) override {
    return Run([&] {
      std::string description;
      if (const HostStatus s = store_->events.Advise(entity_, sink, cookie, &description);
          s != status::kOk) {
        Throw(s, description);
      }
      if (entity_.first != Kind::kFolder) return;
      try {
        store_->SyncWatches(static_cast<int32_t>(entity_.second));
      } catch (const OperationError&) {
        store_->events.Unadvise(entity_, *cookie, &description);
        throw;
      }
    });
  }

  HostStatus DoUnadvise(uint32_t cookie) override {
    return Run([&] {
      std::string description;
      if (const HostStatus s = store_->events.Unadvise(entity_, cookie, &description);
          s != status::kOk) {
        Throw(s, description);
      }
      if (entity_.first == Kind::kFolder) store_->SyncWatches(static_cast<int32_t>(entity_.second));
    });
  }

  // Runs an operation with the store locked; what it throws becomes the
  // status handed back and the error description.
  template <typename Operation>
  HostStatus Run(Operation operation) {
    Lock lock(store_->mutex);
    try {
      operation();
      return status::kOk;
    } catch (const OperationError& error) {
      return Fail(error.status(), error.what());
    } catch (const std::bad_alloc&) {
      return Fail(status::kOutOfMemory, "Out of memory.");
    } catch (const std::exception& error) {
      return Fail(status::kFail, error.what());
    }
  }
};

class MaildirMessage : public Object<HostMessage> {
 public:
  MaildirMessage(std::shared_ptr<Store> store, int32_t folder, int32_t id)
      : Object(std::move(store), MessageEntity(folder, id)), folder_(folder), id_(id) {}

 protected:
  HostStatus DoGetHeaderText(std::string* text) override {
    return Run([&] { *text = HeaderText(); });
  }

  HostStatus DoGetRawHeaders(std::string* text) override {
    return Run([&] { *text = HeaderText(); });
  }

  HostStatus DoGetRootPart(int32_t a, int32_t b, int32_t* part) override {
    return Run([&] {
      if (a != 0 || b != 0) Throw(status::kInvalidArgument, "The root part takes 0, 0.");
      *part = MaildirHost::kMessagePart;
    });
  }

  HostStatus DoGetBodyPart(int32_t* part) override {
    return Run([&] { *part = MaildirHost::kMessagePart; });
  }

  HostStatus DoGetPartText(int32_t part, std::string* text) override {
    return Run([&] {
      CheckPart(part);
      const std::string path = store_->RequiredFile(Folder(), id_);
      std::string bytes;
      if (const int error = maildir::ReadFile(path, &bytes)) {
        ThrowErrno(error, "cannot read " + path);
      }
      *text = mail::BodyText(bytes);
    });
  }

  HostStatus DoGetHeaderValue(int32_t part, const std::string& name, std::string* value,
                              int32_t* found) override {
    return Run([&] {
      CheckPart(part);
      value->clear();
      *found = 0;
      const std::string& head = Head();
      const std::string_view block =
          std::string_view(head).substr(0, mail::LayOut(head).header_end);
      for (const mail::HeaderField& field : mail::HeaderFields(block)) {
        if (mail::SameFieldName(field.name, name)) {
          *value = mail::PresentedHeaderValue(name, mail::UnfoldedValue(block, field));
          *found = 1;
          break;
        }
      }
    });
  }

  HostStatus DoSetHeaderValue(int32_t part, const std::string& name,
                              const std::string& value) override {
    return Run([&] {
      CheckPart(part);
      if (!mail::IsValidFieldName(name)) {
        Throw(status::kInvalidArgument, Quoted(name) + " cannot be a header name.");
      }
      // A value that ends its own line (the filter's word list does) ends
      // the header line there.
      std::string_view line = value;
      if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (!mail::IsValidFieldValue(line)) {
        Throw(status::kInvalidArgument, "A header value must be one line.");
      }
      staged_.emplace_back(name, std::string(line));
    });
  }

  HostStatus DoCommit() override {
    return Run([&] {
      if (staged_.empty()) return;
      store_->Rewrite(Folder(), id_, staged_);
      staged_.clear();
    });
  }

  HostStatus DoMarkRead() override {
    return Run([&] { store_->MarkRead(Folder(), id_); });
  }

 private:
  FolderRecord& Folder() { return store_->folders.at(folder_); }

  void CheckPart(int32_t part) {
    if (part != MaildirHost::kMessagePart) {
      Throw(status::kInvalidArgument, "The message has no part " + std::to_string(part) + ".");
    }
  }

  // The message file's start, up to its empty line: its header block, read
  // again only when the file has changed. The body is read only when its
  // text is asked for, and not kept, so that a large message costs memory
  // only while it is judged.
  const std::string& Head() {
    const std::string path = store_->RequiredFile(Folder(), id_);
    FileIdentity now;
    if (!cached_ || maildir::Identify(path, &now) != 0 || now != identity_) {
      cached_ = false;
      if (const int error = maildir::ReadHead(path, &head_, &identity_)) {
        ThrowErrno(error, "cannot read " + path);
      }
      cached_ = true;
    }
    return head_;
  }

  std::string HeaderText() {
    const std::string& head = Head();
    return mail::ValidUtf8(std::string_view(head).substr(0, mail::LayOut(head).header_end));
  }

  const int32_t folder_;
  const int32_t id_;
  std::vector<std::pair<std::string, std::string>> staged_;  // set but not committed, in order
  bool cached_ = false;
  std::string head_;
  FileIdentity identity_;
};

class MaildirFolder : public Object<HostFolder> {
 public:
  MaildirFolder(std::shared_ptr<Store> store, int32_t id)
      : Object(std::move(store), {Kind::kFolder, id}), id_(id) {}

 protected:
  HostStatus DoGetName(std::string* name) override {
    return Run([&] { *name = Folder().Name(); });
  }

  HostStatus DoGetId(int32_t* id) override {
    return Run([&] { *id = id_; });
  }

  HostStatus DoGetMessage(int32_t messageId, HostRef<HostMessage>* message) override {
    return Run([&] {
      if (store_->Locate(Folder(), messageId, true).empty()) {
        Throw(status::kInvalidArgument, "There is no message " + std::to_string(messageId) +
                                            " in " + Quoted(Folder().Name()) + ".");
      }
      *message = std::make_shared<MaildirMessage>(store_, id_, messageId);
    });
  }

  HostStatus DoGetFirstMessage(HostRef<HostMessage>* message) override {
    return Run([&] {
      started_ = true;
      last_id_ = 0;
      walk_.clear();
      next_ = 0;
      *message = Next();
    });
  }

  HostStatus DoGetNextMessage(HostRef<HostMessage>* message) override {
    return Run([&] { *message = started_ ? Next() : nullptr; });
  }

  HostStatus DoCreateSubFolder(const std::string& name, HostRef<HostFolder>* folder) override {
    return Run([&] {
      *folder = std::make_shared<MaildirFolder>(store_, store_->CreateFolder(id_, name));
    });
  }

 private:
  FolderRecord& Folder() { return store_->folders.at(id_); }

  // The message after the last one returned. The ids are taken from the disk
  // once per pass; when they run out, the disk is looked at again for
  // messages that came since.
  HostRef<HostMessage> Next() {
    FolderRecord& folder = Folder();
    for (;;) {
      while (next_ < walk_.size()) {
        const int32_t id = walk_[next_++];
        if (store_->Locate(folder, id, false).empty()) continue;  // gone meanwhile
        last_id_ = id;
        return std::make_shared<MaildirMessage>(store_, id_, id);
      }
      store_->ListMessages(folder);
      walk_.clear();
      next_ = 0;
      for (auto it = folder.uniques.upper_bound(last_id_); it != folder.uniques.end(); ++it) {
        if (!folder.messages.at(it->second).file.empty()) walk_.push_back(it->first);
      }
      if (walk_.empty()) return nullptr;
    }
  }

  const int32_t id_;
  bool started_ = false;
  int32_t last_id_ = 0;        // the last message id the walk returned
  std::vector<int32_t> walk_;  // the ids of this pass
  size_t next_ = 0;
};

class MaildirFolderManager : public Object<HostFolderManager> {
 public:
  explicit MaildirFolderManager(std::shared_ptr<Store> store)
      : Object(std::move(store), {Kind::kFolderManager, 0}) {}

 protected:
  HostStatus DoGetInboxFolder(HostRef<HostFolder>* folder) override {
    return Run([&] { *folder = std::make_shared<MaildirFolder>(store_, MaildirHost::kInboxId); });
  }

  HostStatus DoGetFirstFolder(HostRef<HostFolder>* folder) override {
    return Run([&] {
      store_->Refresh();
      cursor_ = FolderPath{};
      *folder = std::make_shared<MaildirFolder>(store_, MaildirHost::kLocalFoldersId);
    });
  }

  HostStatus DoGetNextFolder(HostRef<HostFolder>* folder) override {
    return Run([&] {
      *folder = nullptr;
      if (!cursor_) return;
      store_->Refresh();
      for (const FolderRecord* next : store_->Walk()) {
        if (next->path > *cursor_) {
          cursor_ = next->path;
          *folder = std::make_shared<MaildirFolder>(store_, next->id);
          return;
        }
      }
      cursor_.reset();
    });
  }

  HostStatus DoGetFolder(int32_t folderId, HostRef<HostFolder>* folder) override {
    return Run([&] {
      store_->Refresh();
      store_->Present(folderId);
      *folder = std::make_shared<MaildirFolder>(store_, folderId);
    });
  }

  HostStatus DoMoveMessage(int32_t sourceFolderId, int32_t targetFolderId, int32_t messageId,
                           int32_t* moved) override {
    return Run([&] { store_->Move(sourceFolderId, targetFolderId, messageId, moved); });
  }

 private:
  // The path of the folder the walk stands on; none before it and after the last.
  std::optional<FolderPath> cursor_;
};

class MaildirToolbar : public Object<HostToolbar> {
 public:
  MaildirToolbar(std::shared_ptr<Store> store, size_t index)
      : Object(std::move(store), {Kind::kToolbar, static_cast<int64_t>(index)}) {}

 protected:
  // There is no window to put a toolbar on yet: the flags are taken and
  // nothing is shown.
  HostStatus DoSetToolbarFlag(int32_t) override {
    return Run([] {});
  }
  HostStatus DoGetWindow(ToolbarControl** window) override {
    return Run([&] { *window = nullptr; });
  }
  HostStatus DoRemove() override {
    return Run([] {});
  }
};

class MaildirApi : public Object<HostApi> {
 public:
  explicit MaildirApi(std::shared_ptr<Store> store) : Object(std::move(store), {Kind::kApi, 0}) {}

 protected:
  HostStatus DoCreateToolbar(HostRef<HostToolbar>* toolbar) override {
    return Run([&] { *toolbar = std::make_shared<MaildirToolbar>(store_, store_->toolbars++); });
  }

  HostStatus DoGetCurrentFolderId(int32_t* id) override {
    return Run([&] { *id = store_->current_folder; });
  }

  HostStatus DoGetFirstSelectedMessageId(int32_t* id) override {
    return Run([&] { *id = selection_.First(store_->selection); });
  }

  HostStatus DoGetNextSelectedMessageId(int32_t* id) override {
    return Run([&] { *id = selection_.Next(store_->selection); });
  }

 private:
  SelectionCursor selection_;
};

class MaildirInit : public Object<HostInit> {
 public:
  explicit MaildirInit(std::shared_ptr<Store> store) : Object(std::move(store), {Kind::kInit, 0}) {}
};

// Runs an owner's call with the store locked: an unknown folder or message
// becomes std::invalid_argument, any other failure std::runtime_error.
template <typename Operation>
auto OwnerCall(Store& store, Operation operation) {
  Lock lock(store.mutex);
  try {
    return operation();
  } catch (const OperationError& error) {
    if (error.status() == status::kInvalidArgument) throw std::invalid_argument(error.what());
    throw std::runtime_error(error.what());
  }
}

}  // namespace maildir_host_internal

using maildir_host_internal::FolderRecord;
using maildir_host_internal::Kind;
using maildir_host_internal::Lock;
using maildir_host_internal::OwnerCall;
using maildir_host_internal::Store;

namespace {

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

MaildirHost::MaildirHost(const std::string& root) : MaildirHost(root, Options()) {}

MaildirHost::MaildirHost(const std::string& root, Options options)
    : store_(std::make_shared<Store>(WithoutTrailingSlash(root), options)) {
  if (!maildir::IsDirectory(store_->root)) {
    throw std::invalid_argument("The mail store " + store_->root + " is not a folder.");
  }
  // What is in the store now is not new mail.
  OwnerCall(*store_, [&] {
    store_->Refresh();
    for (FolderRecord* folder : store_->Walk()) {
      store_->ListMessages(*folder);
      for (auto& entry : folder->messages) entry.second.known = true;
      if (folder->real) store_->RemoveOwnLitter(*folder);
    }
    store_->LoadRemembered();
  });
}

// Objects that outlive the host keep the store, but the watch ends with it.
MaildirHost::~MaildirHost() {
  Lock lock(store_->mutex);
  store_->StopWatching();
}

void MaildirHost::InitializeComponents() { ++store_->counts.initializations; }
void MaildirHost::UninitializeComponents() { ++store_->counts.uninitializations; }

HostStatus MaildirHost::DoCreateInit(HostRef<HostInit>* init) {
  *init = std::make_shared<maildir_host_internal::MaildirInit>(store_);
  return status::kOk;
}

HostStatus MaildirHost::DoCreateFolderManager(HostRef<HostFolderManager>* manager) {
  *manager = std::make_shared<maildir_host_internal::MaildirFolderManager>(store_);
  return status::kOk;
}

HostStatus MaildirHost::DoCreateApi(HostRef<HostApi>* api) {
  *api = std::make_shared<maildir_host_internal::MaildirApi>(store_);
  return status::kOk;
}

// ------------------------------------------------------------------ store

const std::string& MaildirHost::root() const { return store_->root; }

std::string MaildirHost::FolderDirectory(int32_t folderId) const {
  return OwnerCall(*store_, [&] {
    store_->Refresh();
    const FolderRecord& folder = store_->Present(folderId);
    return folder.dir == maildir_host_internal::kStoreDir ? std::string()
                                                          : store_->DirectoryOf(folder);
  });
}

std::string MaildirHost::MessageFile(int32_t folderId, int32_t messageId) const {
  return OwnerCall(*store_, [&] {
    FolderRecord* folder = store_->Find(folderId);
    if (!folder) throw std::invalid_argument("There is no folder " + std::to_string(folderId));
    return store_->Locate(*folder, messageId, true);
  });
}

std::optional<MaildirHost::NewMessage> MaildirHost::FindMessage(
    const std::string& pathOrUniqueName) const {
  namespace fs = std::filesystem;
  const bool byPath = pathOrUniqueName.find('/') != std::string::npos;
  std::error_code error;
  const fs::path path = fs::weakly_canonical(pathOrUniqueName, error);
  const std::string unique =
      byPath ? mail::ParseMessageFileName(path.filename().string()).unique : pathOrUniqueName;
  return OwnerCall(*store_, [&]() -> std::optional<NewMessage> {
    store_->Refresh();
    for (FolderRecord* folder : store_->Walk()) {
      if (folder->dir == maildir_host_internal::kStoreDir) continue;
      const std::string dir = store_->DirectoryOf(*folder);
      if (byPath && fs::weakly_canonical(dir, error) != path.parent_path().parent_path()) continue;
      auto known = folder->messages.find(unique);
      if (known == folder->messages.end() || known->second.file.empty()) {
        store_->ListMessages(*folder);
        known = folder->messages.find(unique);
      }
      if (known != folder->messages.end() && !known->second.file.empty()) {
        return NewMessage{folder->id, known->second.id, dir + "/" + known->second.file};
      }
    }
    return std::nullopt;
  });
}

int32_t MaildirHost::AddMessage(int32_t folderId, const std::string& message) {
  return OwnerCall(*store_, [&] {
    store_->Refresh();
    return store_->Add(store_->Present(folderId), message);
  });
}

// ------------------------------------------------------------------ new mail

namespace {

HostEvent NewMessageEvent(int32_t id) {
  HostEvent arrival;
  arrival.number = event::kOnNewMessage;
  arrival.arguments.push_back(HostVariant::Integer(id));
  return arrival;
}

// Raises "OnNewMessage" for each message found, then, the sinks having
// judged them, remembers what they left unmarked in new/. The error of the
// remembered list, if any, is returned.
std::string AnnounceAndRemember(Store& store, const std::vector<MaildirHost::NewMessage>& found) {
  for (const MaildirHost::NewMessage& m : found)
    store.Raise({Kind::kFolder, m.folder}, NewMessageEvent(m.message));
  Lock lock(store.mutex);
  if (!found.empty()) store.RememberUnmarked(found);
  return std::exchange(store.remembered_error, {});
}

}  // namespace

std::vector<MaildirHost::NewMessage> MaildirHost::ScanForNewMessages() {
  const auto found = OwnerCall(*store_, [&] { return store_->FindNewMessages(std::nullopt); });
  AnnounceAndRemember(*store_, found);
  return found;
}

std::vector<MaildirHost::NewMessage> MaildirHost::ScanForNewMessages(int32_t folderId) {
  const auto found = OwnerCall(*store_, [&] { return store_->FindNewMessages(folderId); });
  AnnounceAndRemember(*store_, found);
  return found;
}

std::vector<int32_t> MaildirHost::UnjudgedNewMessages(int32_t folderId) const {
  return UnjudgedNewMessages(folderId, store_->options.judged_marks);
}

std::vector<int32_t> MaildirHost::UnjudgedNewMessages(
    int32_t folderId, const std::vector<std::string>& headerNames) const {
  return OwnerCall(*store_, [&] {
    store_->Refresh();
    return store_->Unjudged(store_->Present(folderId), headerNames);
  });
}

int MaildirHost::StartWatching() {
  return OwnerCall(*store_, [&] {
    store_->StartWatching();
    return store_->watcher->fd();
  });
}

std::vector<MaildirHost::NewMessage> MaildirHost::ProcessFileEvents() {
  std::string error;
  const auto found = OwnerCall(*store_, [&] { return store_->TakeFileEvents(&error); });
  const std::string unsaved = AnnounceAndRemember(*store_, found);
  if (error.empty()) error = unsaved;
  if (!error.empty()) throw std::runtime_error(error);
  return found;
}

std::vector<MaildirHost::NewMessage> MaildirHost::AnnounceUnjudgedMail() {
  const auto found = OwnerCall(*store_, [&] {
    store_->Refresh();
    std::vector<NewMessage> unjudged;
    for (FolderRecord* folder : store_->Walk()) {
      if (!folder->real || !store_->Subscribed(folder->id)) continue;
      for (const int32_t id : store_->Unjudged(*folder, store_->options.judged_marks)) {
        const std::string& unique = folder->uniques.at(id);
        auto& record = folder->messages.at(unique);
        const bool earlier = store_->remembered.Contains(folder->dir, unique);
        if (record.announced || earlier) continue;
        record.known = record.announced = true;
        const std::string path = store_->DirectoryOf(*folder) + "/" + record.file;
        if (store_->Announceable(path)) unjudged.push_back({folder->id, id, path});
      }
    }
    return unjudged;
  });
  const std::string unsaved = AnnounceAndRemember(*store_, found);
  if (!unsaved.empty()) throw std::runtime_error(unsaved);
  return found;
}

// ------------------------------------------------------------------ api, events

void MaildirHost::SetCurrentFolder(int32_t folderId) {
  OwnerCall(*store_, [&] {
    store_->Refresh();
    store_->Present(folderId);
    store_->current_folder = folderId;
  });
}

void MaildirHost::SetSelection(std::vector<int32_t> messageIds) {
  Lock lock(store_->mutex);
  store_->selection = std::move(messageIds);
}

void MaildirHost::RaiseInit() {
  HostEvent init;
  init.number = event::kOnInitOEAPI;
  store_->Raise({Kind::kInit, 0}, init);
}

void MaildirHost::RaiseShutdown() {
  HostEvent shutdown;
  shutdown.number = event::kOnShutdownOEAPI;
  store_->Raise({Kind::kInit, 0}, shutdown);
}

size_t MaildirHost::Subscriptions() const {
  Lock lock(store_->mutex);
  return store_->events.Count();
}

// ------------------------------------------------------------------ accounting, faults

int MaildirHost::LiveObjects() const { return store_->counts.live_objects; }
int MaildirHost::ComponentInitializations() const { return store_->counts.initializations; }
int MaildirHost::ComponentUninitializations() const { return store_->counts.uninitializations; }

void MaildirHost::SetNotices(std::function<void(const std::string& line)> notice) {
  Lock lock(store_->mutex);
  store_->notice = std::move(notice);
}

void MaildirHost::SetSizeLimit(std::function<uint64_t()> limit) {
  Lock lock(store_->mutex);
  store_->size_limit = std::move(limit);
}

std::string MaildirHost::TooBigToJudge(uint64_t size, uint64_t limit) {
  return "too big to judge (" + std::to_string(size) + " bytes; MaxMessageSize " +
         std::to_string(limit) + ")";
}

void MaildirHost::SetStepHook(std::function<void(const std::string& step)> hook) {
  Lock lock(store_->mutex);
  store_->step_hook = std::move(hook);
}

}  // namespace tarvex
