// A mail client host over a Maildir++ tree on disk, the layout Dovecot,
// Courier, mutt, offlineimap and mbsync keep mail in. The tree is one store
// given by its root folder; the plug-in reaches it through the host objects
// handed out here, the owner (the daemon, tests) through the methods below.
//
// Conventions:
// - Folders. The store folder "Local Folders" (id 1) stands for the root and
//   holds no messages. The Inbox (id 2) is the root's own new/ and cur/.
//   Every directory ".A" in the root with a cur/ is a child "A" of
//   "Local Folders"; ".A.B" is a child "B" of A (A is shown even without a
//   directory of its own, holding no messages until one is made). Folder
//   names are spelled in IMAP's modified UTF-7 on disk and shown decoded
//   (a spelling that is not modified UTF-7 is shown as it is). ".INBOX.X"
//   is a child "X" of the Inbox; a directory ".INBOX" itself is not shown.
// - Standard folders. Children of "Local Folders" named "Sent" or
//   "Sent Messages" are shown as "Sent Items", "Trash" or "Deleted Messages"
//   as "Deleted Items", and "Drafts" and "Outbox" as they are; the first
//   that exists is taken, the others show their own names. A standard
//   folder without a directory is shown all the same and gets its directory
//   (".Sent", ".Trash", ".Drafts", ".Outbox") when something is put in it,
//   or when it is created with CreateSubFolder. Of two directories that
//   would be shown under the same name, one is shown: the one a standard
//   folder stands for, else the first in name order.
// - Folder walk. GetFirstFolder/GetNextFolder of a folder manager visit the
//   tree depth first, pre-order, from "Local Folders", children in the order
//   of their names (bytes of UTF-8). Each folder manager has its own cursor;
//   the next folder is the one after the current in that order in the tree
//   as it is on disk when GetNextFolder is called.
// - Folder ids are given on first sight of a folder's directory, in walk
//   order, and stay the directory's for the life of the MaildirHost.
// - Message ids are given per folder, on first sight of a message's unique
//   name (the file name before ":2,"): in the order of those names when the
//   folder is listed, in the order of the file events when the watch sees
//   it first. They stay the message's in that folder for the life of the
//   MaildirHost: a flag change or a move between new/ and cur/ keeps the
//   id. A folder object's GetFirstMessage/GetNextMessage return the folder's
//   messages in id order; messages moved away during the walk are skipped
//   and messages that arrive during it are visited at its end. Each folder
//   object has its own cursor.
// - Moving renames the file into the target folder (new/ to new/, cur/ to
//   cur/) under the same file name, unless the target already has a message
//   of that unique name, when it gets a fresh one. The message gets the
//   target's id for its unique name. Moving to the folder the message is in
//   moves nothing (success, moved 0).
// - Headers. GetHeaderText and GetRawHeaders both return the header block as
//   stored: every byte up to the empty line, line ends included, undecoded,
//   made UTF-8 (a byte that is not part of valid UTF-8 is read as
//   Windows-1252). GetHeaderValue matches names case-insensitively, takes
//   the first field of the name and decodes its RFC 2047 encoded words; an
//   address header (From, To, ...) comes as a mail library reads it, each
//   mailbox as "Name <address>" or "<address>" (PresentedHeaderValue).
//   SetHeaderValue stages a change on the message object that set it;
//   Commit rewrites the file with the staged changes applied in order: the
//   first field of that name is replaced where it stands (taking the name as
//   given), later ones are removed, and a name not there is appended at the
//   end of the header block, on one line with the line end the file uses.
//   Values are written as given, so that the header text shows what was
//   set; with Options::encode_header_values, a value with non-ASCII
//   characters is written as RFC 2047 encoded words instead. The body and
//   every other header byte stay as they are.
// - A message is one part to the plug-in: GetRootPart(0, 0) and
//   GetBodyPart both return part 1. GetPartText(1) is the text of the
//   message: its first text/plain part, else its first text/* part (neither
//   an attachment), decoded and converted to UTF-8; else its body as stored.
// - MarkRead moves the file to cur/ with the "S" flag.
// - Events. Subscriptions belong to the entity behind an object (the one
//   init, folder manager and api entity; each folder; each toolbar; each
//   message), as with the in-memory host. Unadvise with a cookie the entity
//   does not have fails with 0x80040200. Sinks are called without any lock
//   held and may call back into the host.
// - New mail. A message is new to a folder whose unique name the folder
//   does not know: the messages there when the MaildirHost was made, those
//   the host wrote, moved or added there itself, and those announced once
//   are known there for good. A flag change or a move between new/ and cur/
//   is a rename within the folder, not an arrival.
//   The disk is watched (inotify) once the owner calls StartWatching and
//   hands the descriptor to its event loop, calling ProcessFileEvents
//   whenever it is readable. Watched are the folders that have a
//   subscription (a folder object was advised), for as long as they have
//   one: their new/ and cur/, or, while such a folder has no Maildir yet,
//   its directory, so that a Maildir made there later is watched (and what
//   is in it already announced). Advise fails when a folder cannot be
//   watched (inotify's limit on watches); events still queued for a folder
//   whose last subscription ended are dropped. A folder the host moves a
//   message into while watching (the spam folder) is watched from then on
//   too, so that its records follow the disk and no later move has to list
//   it; nothing that arrives there is announced. Each event is judged by
//   itself, in constant time, without listing the folder again:
//   - a file renamed into the folder is delivered (a delivery agent's rename
//     from tmp/, another program's move from another folder), unless it was
//     renamed from the same folder's new/ or cur/;
//   - a file created in the folder in place is delivered when it is closed
//     after writing; one that nothing writes to in the same batch of events
//     and that is not empty is a hard link of a message written elsewhere
//     (link delivery) and delivered at once. An empty one waits for its
//     close.
//   A delivery that already carries one of Options::judged_marks was judged
//   on its way in (by the filter in a delivery recipe) and is not announced;
//   a delivery is a rename out of tmp/ (the folder's tmp/ is watched for
//   that), a hard link or a file written in place. A file moved in from
//   another folder, watched or not, is announced whatever it carries. The
//   check reads the file's header block only, up to kMaxHeadCheck bytes.
//   Should the kernel's event queue overflow, ProcessFileEvents falls back
//   to ScanForNewMessages. AnnounceUnjudgedMail announces what arrived while
//   nothing watched; ScanForNewMessages announces whatever appeared since the
//   last look, watched or not. The records the events keep also spare a move
//   into a watched folder a listing of it. The watch ends with the
//   MaildirHost, even while objects outlive it.
// - Failures. A failing call changes no message (only a step hook that
//   throws after the change can fail a call whose change is made; a folder
//   made for a move or an added message may stay), and the object's error
//   description (UTF-8) tells why until its next failure.
// - Objects may outlive the MaildirHost; every method is safe to call from
//   several threads (one lock serialises them).
//
// - Remembering. With Options::announced_state, what was announced and is
//   still unmarked in new/ is remembered across runs, so that a start does
//   not announce it again (announced_state.h); mail that came while no
//   MaildirHost ran is not in that list and is announced all the same.
//
// Crash safety. No operation can lose or duplicate a message, whenever the
// process dies: each change of a message is a single rename, which POSIX
// makes atomic, and whatever is written before it goes to tmp/, which is not
// part of any folder. See store_changes.cc for each operation's steps. The
// host's own files in tmp/ are named kOwnTempPrefix...; those of processes
// no longer running are removed when a MaildirHost is made. Other files in
// tmp/ belong to delivery agents and are never touched.
#ifndef TARVEX_HOST_MAILDIR_MAILDIR_HOST_H_
#define TARVEX_HOST_MAILDIR_MAILDIR_HOST_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/host_support.h"
#include "host/store_objects.h"

namespace tarvex {

namespace maildir_host_internal {
struct Store;
}  // namespace maildir_host_internal

// The steps of the operations that change messages, as the step hook sees
// them: each is reported when it is done.
namespace maildir_step {
// Commit: the new file is written in tmp/ and flushed, has taken the old
// one's place (the old content is now in tmp/), and the old content is gone.
inline constexpr char kCommitWritten[] = "commit:written";
inline constexpr char kCommitReplaced[] = "commit:replaced";
inline constexpr char kCommitCleaned[] = "commit:cleaned";
// MoveMessage: the target folder is ready, the file renamed into it, the
// folders flushed.
inline constexpr char kMovePrepared[] = "move:prepared";
inline constexpr char kMoveRenamed[] = "move:renamed";
inline constexpr char kMoveFlushed[] = "move:flushed";
// MarkRead: likewise.
inline constexpr char kMarkReadPrepared[] = "mark-read:prepared";
inline constexpr char kMarkReadRenamed[] = "mark-read:renamed";
inline constexpr char kMarkReadFlushed[] = "mark-read:flushed";
// A folder's new/ and cur/ were listed whole, a cost that grows with the
// folder: reported so that tests can see which operations need it.
inline constexpr char kListed[] = "listed";
}  // namespace maildir_step

class MaildirHost : public HostLibrary {
 public:
  static constexpr int32_t kLocalFoldersId = 1;
  static constexpr int32_t kInboxId = 2;
  // The host's part handle for a message's only part.
  static constexpr int32_t kMessagePart = host_store::kMessagePart;
  // Unadvise of a cookie the object's entity does not hold.
  static constexpr HostStatus kNoConnection = EventRegistry::kNoConnection;
  // CreateSubFolder of a folder that exists.
  static constexpr HostStatus kAlreadyExists = 0x800700B7;

  struct Options {
    // Writes header values with non-ASCII characters as RFC 2047 encoded
    // words rather than as raw UTF-8.
    bool encode_header_values = false;
    // The header fields that mark a message as judged by the filter (the
    // plug-in's verdict headers). A message carrying one is not mail to
    // judge when a start finds it in new/, nor when it is delivered. None:
    // every such message counts as unjudged.
    std::vector<std::string> judged_marks;
    // The file in which the messages announced and left unmarked in new/
    // are remembered across runs (see announced_state.h); empty: only for
    // the life of the MaildirHost.
    std::string announced_state;
  };

  // The store at root, a native (UTF-8) path of an existing folder; throws
  // std::invalid_argument when it is not one. Nothing is written until
  // something is changed.
  explicit MaildirHost(const std::string& root);
  MaildirHost(const std::string& root, Options options);
  ~MaildirHost() override;
  MaildirHost(const MaildirHost&) = delete;
  MaildirHost& operator=(const MaildirHost&) = delete;

  void InitializeComponents() override;
  void UninitializeComponents() override;

  // Misuse by the owner (an unknown folder or message) throws
  // std::invalid_argument from the methods below; a failing file operation
  // throws std::runtime_error.

  // ---------------------------------------------------------------- store

  const std::string& root() const;
  // The folder's directory (the root for the Inbox, where it would be for a
  // folder without one); empty for "Local Folders".
  std::string FolderDirectory(int32_t folderId) const;
  // The message's file; empty when the folder does not hold it.
  std::string MessageFile(int32_t folderId, int32_t messageId) const;
  // The folder's messages as a mail window lists them, each with its file,
  // in id order: lists the folder's new/ and cur/ but reads no message.
  struct ListedMessage {
    int32_t id = 0;
    std::string file;
  };
  std::vector<ListedMessage> ListMessages(int32_t folderId) const;
  // Puts a message into the folder's new/ as the host's own write (so not
  // new mail to ScanForNewMessages); returns its id.
  int32_t AddMessage(int32_t folderId, const std::string& message);

  // ---------------------------------------------------------------- new mail

  struct NewMessage {
    int32_t folder = 0;
    int32_t message = 0;
    std::string file;
  };
  // The message named by its file's path (absolute, or relative to the
  // working folder) or by its unique name, looked for in every folder in walk
  // order; empty when no folder holds it.
  std::optional<NewMessage> FindMessage(const std::string& pathOrUniqueName) const;
  // The files of the Maildir's folders that hold message, as a mail reader
  // pipes it (an mbox "From " line before it, a line end after it, allowed):
  // those with its Message-ID, and of several those with its body too. None
  // when it has no Message-ID. Reads each file's header only, and a whole
  // file only when the Message-ID is not enough.
  std::vector<std::string> FilesOfMessage(std::string_view message) const;
  // Looks at every folder (or one) for message files not seen before whose
  // unique names the host did not write itself, gives them ids, raises
  // "OnNewMessage" with each id on its folder's sinks, and returns them in
  // folder walk order, then id order. A message that only changed its flags
  // or went from new/ to cur/ is not new, nor is one the host moved or
  // rewrote.
  std::vector<NewMessage> ScanForNewMessages();
  std::vector<NewMessage> ScanForNewMessages(int32_t folderId);

  // Starts watching the disk (again: nothing) and returns the descriptor
  // that becomes readable when it changed, for the owner's event loop. The
  // descriptor belongs to the host and lives as long as it does: take it
  // out of the loop before destroying the host. Throws std::runtime_error.
  int StartWatching();
  // Reads what changed on the disk, without waiting, and raises
  // "OnNewMessage" for the delivered messages, in order of arrival; returns
  // those raised (with their files as they are after the batch; a message
  // gone again within it is left out). At most kAnnounceSlice are raised at
  // a time, so that an owner whose loop has other work (a client waiting)
  // gets its turn during a flood: the rest wait, in order, for the next
  // call or for AnnounceWaiting. Nothing before StartWatching. Throws
  // std::runtime_error when the changes cannot be read or a folder cannot be
  // watched, after raising what it could.
  std::vector<NewMessage> ProcessFileEvents();
  // Raises the next kAnnounceSlice messages that wait; returns them.
  std::vector<NewMessage> AnnounceWaiting();
  // Whether delivered messages wait to be raised. What waits when the host
  // goes is not lost: it carries no verdict, so the next start finds it.
  bool AnnouncementsWaiting() const { return !waiting_.empty(); }
  static constexpr size_t kAnnounceSlice = 64;
  // Raises "OnNewMessage" for the messages in the new/ of every watched
  // folder (one with a subscription) that carry none of the judged marks
  // and were not announced before, in this run or, as remembered, an
  // earlier one: mail that arrived while nothing watched. In folder walk
  // order, then id order. The daemon calls it once, after "OnInitOEAPI" has
  // had the plug-in subscribe; returns them. Throws std::runtime_error,
  // after raising them, when the remembered list cannot be read or written.
  std::vector<NewMessage> AnnounceUnjudgedMail();

  // The most of a delivered file's start read to look for a judged mark; a
  // header block longer than that counts as unmarked.
  static constexpr size_t kMaxHeadCheck = 256 * 1024;
  // What the names of the host's own temporary files in tmp/ start with.
  static constexpr char kOwnTempPrefix[] = ".tarvex-tmp.";

  // The ids of the messages in the folder's new/ that carry none of the
  // header fields named (by default the judged marks): mail that
  // arrived while nothing was watching. In id order. A file that cannot be
  // read as a message is among them, for the announcer to pass over.
  std::vector<int32_t> UnjudgedNewMessages(int32_t folderId) const;
  std::vector<int32_t> UnjudgedNewMessages(int32_t folderId,
                                           const std::vector<std::string>& headerNames) const;

  // Files that arrive in a folder but are not messages (a symbolic link, a
  // FIFO, a device, a folder: anything but a regular file) are never
  // announced, nor messages larger than the size limit; the owner is told
  // once per arrival with a line "skipped <path>: <reason>". The notice is
  // called with the host's lock held and must not call the host; the limit
  // (bytes, 0 for none) is asked at each arrival, with the lock held too.
  void SetNotices(std::function<void(const std::string& line)> notice);
  void SetSizeLimit(std::function<uint64_t()> limit);
  // The reason given for a message above the limit, here and by whoever else
  // passes a message over for its size.
  static std::string TooBigToJudge(uint64_t size, uint64_t limit);

  // ---------------------------------------------------------------- api

  // What HostApi reports as the current folder (initially the Inbox) and its
  // selected messages (initially none).
  void SetCurrentFolder(int32_t folderId);
  void SetSelection(std::vector<int32_t> messageIds);
  // The window a toolbar of the plug-in shows in (GetWindow); none by
  // default, so a toolbar waits for one. It is not owned and must outlive
  // its use.
  void SetToolbarWindow(ToolbarControl* window);

  // ---------------------------------------------------------------- events

  // "OnInitOEAPI" and "OnShutdownOEAPI" on the init sinks.
  void RaiseInit();
  void RaiseShutdown();
  // The live subscriptions of all entities.
  size_t Subscriptions() const;

  // ---------------------------------------------------------------- accounting

  // Host objects handed out and not yet released.
  int LiveObjects() const;
  int ComponentInitializations() const;
  int ComponentUninitializations() const;

  // ---------------------------------------------------------------- faults

  // Called after each step of Commit, MoveMessage and MarkRead, and after
  // each listing of a folder (see maildir_step), with the step's name, under
  // the host's lock. Tests make it
  // throw, which fails the operation there, or end the process, as a crash
  // would. Empty: no hook.
  void SetStepHook(std::function<void(const std::string& step)> hook);

 protected:
  HostStatus DoCreateInit(HostRef<HostInit>* init) override;
  HostStatus DoCreateFolderManager(HostRef<HostFolderManager>* manager) override;
  HostStatus DoCreateApi(HostRef<HostApi>* api) override;

 private:
  std::shared_ptr<maildir_host_internal::Store> store_;
  std::deque<NewMessage> waiting_;  // delivered, not raised yet
};

}  // namespace tarvex

#endif  // TARVEX_HOST_MAILDIR_MAILDIR_HOST_H_
