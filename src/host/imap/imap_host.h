// A mail client host over one IMAP account: the plug-in reaches the server's
// folders through the host objects handed out here, the owner (the daemon,
// tests) through the methods below.
//
// Conventions, where they differ from the Maildir host's (maildir_host.h):
// - Folders come from LIST, split at the server's hierarchy delimiter.
//   "Local Folders" (id 1) is the account; the Inbox (id 2) is INBOX, and
//   mailboxes under INBOX are its children. A top-level mailbox with the
//   special use \Sent, \Trash or \Drafts, else the first of the usual names
//   there ("Sent", "Sent Messages", "Trash", "Deleted Messages", ...), is
//   shown under the standard name ("Sent Items", "Deleted Items", "Drafts",
//   "Outbox"); a standard folder the server lacks is shown all the same and
//   created when something is put in it. Names are modified UTF-7 on the
//   server and shown decoded. CreateSubFolder is CREATE and SUBSCRIBE.
// - Message ids are UIDs. A message whose headers are rewritten gets a new
//   UID on the server and keeps its id for the life of the ImapHost. When a
//   folder's UIDVALIDITY changes, its messages are numbered anew and the
//   folder is treated as new: its messages without a judged mark are
//   announced.
// - Commit appends the rewritten message (only the header lines changed;
//   the body bytes, the flags and the internal date as they were) and only
//   then flags the original \Deleted and removes it by UID EXPUNGE. A cut
//   between the two leaves both; the next start removes the original when a
//   copy with the same Message-ID and body carries a judged mark.
// - MoveMessage is UID MOVE, else COPY, \Deleted and expunge. MarkRead sets
//   \Seen.
// - New mail: the owner's StartWatching starts a second connection that
//   IDLEs on INBOX and makes the descriptor readable whenever the server
//   speaks; ProcessEvents (called then) and ScanForNewMessages (which the
//   owner calls every so often, for the other folders) announce what arrived
//   in the subscribed folders: messages above the highest UID seen, not
//   written by the host, without a judged mark. A folder not open is asked
//   for its UIDNEXT (STATUS) before it is opened.
// - Remembering: with Options::announced_state, each watched folder's
//   UIDVALIDITY and highest UID announced are kept across runs, so that a
//   start (AnnounceUnjudgedMail) announces exactly what came since.
// - The connection is made again after a loss, first after a second, the
//   pause doubling up to five minutes; meanwhile calls fail with "the server
//   is not reachable". Each loss and each recovery is told once.
#ifndef TARVEX_HOST_IMAP_IMAP_HOST_H_
#define TARVEX_HOST_IMAP_IMAP_HOST_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/imap/imap_connection.h"
#include "host/store_objects.h"

namespace tarvex {

namespace imap_host_internal {
struct Store;
class Watcher;
}  // namespace imap_host_internal

// The steps of a header rewrite, as the step hook sees them.
namespace imap_step {
inline constexpr char kCommitAppended[] = "commit:appended";
inline constexpr char kCommitExpunged[] = "commit:expunged";
}  // namespace imap_step

class ImapHost : public HostLibrary {
 public:
  static constexpr int32_t kLocalFoldersId = 1;
  static constexpr int32_t kInboxId = 2;
  static constexpr int32_t kMessagePart = host_store::kMessagePart;
  static constexpr HostStatus kAlreadyExists = 0x800700B7;

  struct Options {
    // The header fields that mark a message as judged (see MaildirHost).
    std::vector<std::string> judged_marks;
    // The file in which each folder's UIDVALIDITY and highest UID announced
    // are remembered across runs; empty: only for the life of the host.
    std::string announced_state;
    // Told of each loss and recovery of the connection; called with the
    // host's lock held, so it must not call the host.
    std::function<void(const std::string& line)> notice;
  };

  // Connects to the account and lists its folders; throws std::runtime_error
  // when it cannot.
  ImapHost(imap::Account account, Options options);
  ~ImapHost() override;
  ImapHost(const ImapHost&) = delete;
  ImapHost& operator=(const ImapHost&) = delete;

  void InitializeComponents() override;
  void UninitializeComponents() override;

  // Misuse by the owner throws std::invalid_argument; a failure of the
  // server std::runtime_error.

  const imap::Account& account() const;
  // The folder's mailbox on the server; empty for "Local Folders".
  std::string Mailbox(int32_t folderId) const;
  // The id the host gives the message with the server's UID uid in the
  // folder: a message the host rewrote keeps its first id for the session.
  int32_t MessageIdOfUid(int32_t folderId, uint32_t uid) const;
  // The folders and UIDs of the messages that are message, as a mail reader
  // pipes it: those with its Message-ID, and of several those with its body
  // too. None when it has no Message-ID.
  std::vector<std::pair<int32_t, uint32_t>> FindPipedMessage(std::string_view message) const;
  // The folder's messages as a mail window lists them: id and whether it is
  // unread (no \Seen), by UID; none for a folder without a mailbox.
  struct ListedMessage {
    int32_t id = 0;
    bool unread = false;
  };
  std::vector<ListedMessage> ListMessages(int32_t folderId) const;
  // How deep the folder is in the tree: 0 for "Local Folders", 1 for a
  // mailbox at the top of the account's.
  size_t Depth(int32_t folderId) const;
  // Appends a message to the folder as the host's own write (not new mail).
  int32_t AddMessage(int32_t folderId, const std::string& message);
  // The message as the server holds it now; throws when it is not there.
  imap::FetchedMessage Message(int32_t folderId, int32_t messageId) const;

  struct NewMessage {
    int32_t folder = 0;
    int32_t message = 0;
  };
  // Looks at every subscribed folder (or one folder) for new mail and
  // raises "OnNewMessage" for each message found; returns them.
  std::vector<NewMessage> ScanForNewMessages();
  std::vector<NewMessage> ScanForNewMessages(int32_t folderId);
  // Starts the IDLE connection and returns the descriptor that becomes
  // readable when INBOX may have changed; the host owns it.
  int StartWatching();
  // Empties the descriptor and scans the subscribed folders.
  std::vector<NewMessage> ProcessEvents();
  // What arrived in the subscribed folders while nothing watched: per folder
  // the messages above the UID remembered (all of them, for a folder not
  // remembered or with a new UIDVALIDITY) that carry no judged mark, less
  // the originals of rewrites cut short. Raised and returned.
  std::vector<NewMessage> AnnounceUnjudgedMail();

  void SetCurrentFolder(int32_t folderId);
  void SetSelection(std::vector<int32_t> messageIds);
  void RaiseInit();
  void RaiseShutdown();
  size_t Subscriptions() const;
  int LiveObjects() const;

  // Called after each step of Commit (imap_step) under the host's lock;
  // tests make it throw, as a connection cut there would.
  void SetStepHook(std::function<void(const std::string& step)> hook);
  // Drops the connection, as a network failure would; the next call makes
  // it again.
  void DropConnection();

 protected:
  HostStatus DoCreateInit(HostRef<HostInit>* init) override;
  HostStatus DoCreateFolderManager(HostRef<HostFolderManager>* manager) override;
  HostStatus DoCreateApi(HostRef<HostApi>* api) override;

 private:
  std::vector<NewMessage> Announce(std::vector<NewMessage> found);

  std::shared_ptr<imap_host_internal::Store> store_;
  std::unique_ptr<imap_host_internal::Watcher> watcher_;
};

}  // namespace tarvex

#endif  // TARVEX_HOST_IMAP_IMAP_HOST_H_
