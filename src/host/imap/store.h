// The state behind every object of an ImapHost: the folder tree as LIST
// gives it, the ids given to folders and messages, the connection to the
// server (made again, with a growing pause, when it is lost), and what has
// been seen and announced. The objects (host_objects.cc) and the ImapHost's
// own methods reach the server only through it.
//
// Split by seam: store_tree.cc keeps the connection and the folder tree,
// store_changes.cc changes messages, store_watch.cc finds new mail and
// remembers what was announced.
#ifndef TARVEX_HOST_IMAP_STORE_H_
#define TARVEX_HOST_IMAP_STORE_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"
#include "host/host_support.h"
#include "host/imap/imap_connection.h"
#include "host/imap/imap_host.h"
#include "host/store_objects.h"

namespace tarvex {
namespace imap_host_internal {

using Lock = std::lock_guard<std::mutex>;
using FolderPath = std::vector<std::string>;
using Kind = EntityKind;

using host_store::MessageEntity;
using host_store::OperationError;
using host_store::Quoted;
using host_store::Throw;

inline constexpr char kStoreName[] = "Local Folders";

struct FolderRecord {
  int32_t id = 0;
  FolderPath path;       // the names shown, from "Local Folders" down; empty for it
  std::string mailbox;   // the server's name; empty for "Local Folders"
  bool present = false;  // at the last LIST, or a standard folder shown without a mailbox
  bool exists = false;   // the server has the mailbox and it can be selected
  // The UIDVALIDITY the ids below belong to; 0 before the folder was opened.
  uint32_t uid_validity = 0;
  // Every UID up to this one is known: not new mail.
  uint32_t seen = 0;
  // UIDs above seen the host wrote or moved there itself.
  std::set<uint32_t> own;
  // A message keeps its id when a header rewrite gives it a new UID: the
  // id's UID now, and the id of such a UID.
  std::map<int32_t, uint32_t> uid_of;
  std::map<uint32_t, int32_t> id_of;
  // Messages whose judging the loss of the connection cut short: announced
  // again at the next look, unless they carry a judged mark by then.
  std::set<int32_t> again;

  std::string Name() const { return path.empty() ? kStoreName : path.back(); }
  uint32_t Uid(int32_t id) const {
    auto it = uid_of.find(id);
    return it == uid_of.end() ? static_cast<uint32_t>(id) : it->second;
  }
  int32_t Id(uint32_t uid) const {
    auto it = id_of.find(uid);
    return it == id_of.end() ? static_cast<int32_t>(uid) : it->second;
  }
  // Forgets every message: the server numbers them anew.
  void Renumber(uint32_t validity) {
    uid_validity = validity;
    seen = 0;
    own.clear();
    uid_of.clear();
    id_of.clear();
    again.clear();
  }
};

// A message read last, kept so that the classifier's reads of one message
// (headers, then text, then the rewrite) fetch it once. Only for a moment:
// its flags, which other mail programs change, are copied by a rewrite.
struct CachedMessage {
  int32_t folder = 0;
  uint32_t validity = 0;
  imap::FetchedMessage message;
  std::chrono::steady_clock::time_point when = std::chrono::steady_clock::now();
  static constexpr std::chrono::seconds kKept{2};
};

struct Store {
  Store(imap::Account server_account, ImapHost::Options host_options);

  mutable std::mutex mutex;
  const imap::Account account;
  const ImapHost::Options options;

  std::map<int32_t, FolderRecord> folders;    // never erased: ids and records live on
  std::map<std::string, int32_t> folder_ids;  // by mailbox ("" for "Local Folders")
  int32_t next_folder_id = 1;
  char delimiter = '/';

  int32_t current_folder = ImapHost::kInboxId;
  std::vector<int32_t> selection;
  size_t toolbars = 0;
  ToolbarControl* toolbar_window = nullptr;  // a front end's, none by default
  EventRegistry events;
  HostCounts counts;
  std::function<void(const std::string&)> step_hook;

  std::optional<CachedMessage> cached;

  // The helpers below expect mutex to be held.

  void Step(const char* step) {
    if (step_hook) step_hook(step);
  }
  void Notice(const std::string& line) const {
    if (options.notice) options.notice(line);
  }

  // ---------------------------------------------------------------- server
  // (store_tree.cc)

  // The connection, made when there is none and the pause after the last
  // loss is over; else the failure "the server is not reachable".
  imap::Connection& Server();
  // Runs a command on the server; a failure becomes an OperationError, and a
  // lost connection is dropped (and, with retry, made again once and the
  // command run again: for commands that can safely run twice).
  // A command run again is run in the mailbox that was selected.
  template <typename Command>
  auto OnServer(Command command, bool retry = true) {
    std::string mailbox;
    for (int attempt = 0;; ++attempt) {
      imap::Connection& server = Server();
      try {
        if (attempt == 0) {
          mailbox = server.selected_mailbox();
        } else if (!mailbox.empty()) {
          server.Select(mailbox);
        }
        return command(server);
      } catch (const imap::ImapError& error) {
        if (error.lost()) Lose(error.what());
        if (!error.lost() || !retry || attempt > 0) Throw(status::kFail, error.what());
      }
    }
  }
  void Lose(const std::string& why);

  std::unique_ptr<imap::Connection> connection;
  // The message being announced, while its sinks run: a loss of the
  // connection meanwhile has it announced again.
  std::optional<std::pair<int32_t, int32_t>> announcing;  // folder, message
  bool reachable = true;                                  // as last told in the notices
  bool told_no_uidplus = false;
  // Messages this store marked deleted and could not expunge yet, by mailbox
  // (a server without UIDPLUS).
  std::map<std::string, std::set<uint32_t>> left_deleted;
  std::chrono::steady_clock::time_point next_attempt{};
  std::chrono::seconds pause{1};
  static constexpr std::chrono::seconds kLongestPause{300};

  // ---------------------------------------------------------------- tree

  // Lists the server's folders again and brings the records up to date.
  void Refresh();
  FolderRecord* Find(int32_t id) { return host_store::FindFolder(folders, id); }
  FolderRecord& Present(int32_t id) { return host_store::PresentFolder(folders, id); }
  std::vector<FolderRecord*> Walk() { return host_store::FoldersInWalkOrder(folders); }
  // A LIST per step of a walk would cost a round trip each: the walk's
  // first step lists, and a folder not known yet is looked for.
  void RefreshBeforeNextFolder() {}
  void RefreshBeforeFolder(int32_t id) {
    if (!Find(id) || !Find(id)->present) Refresh();
  }
  int32_t CreateFolder(int32_t parent_id, const std::string& name);
  // Creates the folder's mailbox when it has none yet (a standard folder).
  void Materialize(FolderRecord& folder);
  // Selects the folder; a changed UIDVALIDITY renumbers its messages.
  imap::Selection Open(FolderRecord& folder);
  // Whether the folder holds the message now.
  bool Holds(FolderRecord& folder, int32_t id);
  // The message as the server holds it, fetched once for as long as it is
  // the last one asked for; null (Read: a failure) when it is not there.
  const imap::FetchedMessage* Cached(FolderRecord& folder, int32_t id);
  const imap::FetchedMessage& Read(FolderRecord& folder, int32_t id);
  // The ids of the folder's messages from after on, ascending.
  std::vector<int32_t> Messages(FolderRecord& folder, int32_t after);

  // ---------------------------------------------------------------- changes
  // (store_changes.cc)

  void Rewrite(FolderRecord& folder, int32_t id,
               const std::vector<std::pair<std::string, std::string>>& changes);
  void Move(int32_t source_id, int32_t target_id, int32_t id, int32_t* moved);
  void MarkRead(FolderRecord& folder, int32_t id);
  int32_t Add(FolderRecord& folder, const std::string& message);
  // Of the messages of the folder from UID first on that carry no judged
  // mark, removes those left twice by a rewrite cut short (a later copy has
  // the same Message-ID and body and a judged mark); returns the others.
  std::vector<uint32_t> UnjudgedWithoutDuplicates(FolderRecord& folder, uint32_t first);
  // Whether a header block carries one of the judged marks.
  bool Judged(const std::string& head) const;

  // Originals of rewrites, from before the copy is appended until the
  // original is expunged; kept in the state file too, so that a rewrite cut
  // short by a crash is finished at the next start. FinishRemovals removes
  // each original whose copy is on the server (copy, else a later message
  // with its Message-ID and body), forgets those that have none (the append
  // did not happen), and keeps those it cannot look at.
  struct PendingRemoval {
    std::string mailbox;
    uint32_t validity;
    uint32_t uid;
    uint32_t copy;  // 0: not known
  };
  std::vector<PendingRemoval> pending_removals;
  void FinishRemovals();
  // The UID of a later message with the same Message-ID and body; 0 for
  // none.
  uint32_t CopyOf(FolderRecord& folder, uint32_t uid);
  // Marks the message of the selected mailbox deleted and expunges it, which
  // a server without UIDPLUS may not allow yet (said once).
  void Remove(imap::Connection& server, uint32_t uid);

  // ---------------------------------------------------------------- new mail
  // (store_watch.cc)

  bool Subscribed(int32_t folder) const { return events.Count({Kind::kFolder, folder}) != 0; }
  // The messages above the folder's seen UID not written by the host and
  // without a judged mark; marks them seen.
  std::vector<ImapHost::NewMessage> FindNew(FolderRecord& folder);
  // What earlier runs announced, per mailbox: its UIDVALIDITY and the
  // highest UID announced.
  std::map<std::string, std::pair<uint32_t, uint32_t>> remembered;
  void LoadRemembered();
  void Remember(const FolderRecord& folder);
  // Writes the file when it changed; unless now, at most once in
  // kRememberEvery, so that a flood of mail does not flush a file for every
  // message. A crash before the write costs the mail judged since then one
  // more look, which skips what carries a verdict.
  void SaveRemembered(bool now = false);
  // Writes the state file: with flush, flushed to disk.
  void WriteState(bool flush);
  bool remembered_changed = false;
  std::chrono::steady_clock::time_point remembered_saved{};
  static constexpr std::chrono::seconds kRememberEvery{1};

  void Raise(EntityKey key, const HostEvent& event) { events.Raise(mutex, key, event); }
  // Subscriptions need nothing of the server: what is watched is decided at
  // each look.
  void SubscriptionsChanged(const EntityKey&) {}
};

using host_store::OwnerCall;

HostRef<HostInit> MakeInit(std::shared_ptr<Store> store);
HostRef<HostFolderManager> MakeFolderManager(std::shared_ptr<Store> store);
HostRef<HostApi> MakeApi(std::shared_ptr<Store> store);

}  // namespace imap_host_internal
}  // namespace tarvex

#endif  // TARVEX_HOST_IMAP_STORE_H_
