// A complete mail client host held in memory: a folder tree, messages,
// toolbars, selection and events, driven by test code through the methods
// below and by the plug-in through the host objects it hands out.
//
// Conventions:
// - Folders. The store folder "Local Folders" (id 1) is the root; its
//   children are the standard folders "Inbox" (2), "Outbox" (3),
//   "Sent Items" (4), "Deleted Items" (5) and "Drafts" (6). Folder ids are
//   positive and given in creation order; a new folder is appended after its
//   parent's existing children. Siblings may not share a name.
// - Folder walk. GetFirstFolder/GetNextFolder of a folder manager visit the
//   tree depth first, pre-order, from "Local Folders", children in creation
//   order. Each folder manager object has its own cursor; the successor is
//   computed from the tree as it is when GetNextFolder is called.
// - Message ids come from one counter of the whole host, so they are unique
//   in every folder and increase with arrival. A folder object's
//   GetFirstMessage/GetNextMessage return the folder's messages in id order
//   (which is arrival order); the cursor remembers the last id returned, so
//   moving messages out of the folder during the walk skips nothing. Each
//   folder object has its own cursor; GetNextMessage before GetFirstMessage
//   returns null.
// - Moving gives the message a new id from the counter in the target folder
//   (Moves() tells which). Moving to the folder the message is in moves
//   nothing (success, moved 0).
// - Headers are name/value pairs in order, UTF-8. GetHeaderText and
//   GetRawHeaders both return the committed headers as "Name: value\r\n"
//   lines, one per header, in order, with no blank line after them.
//   GetHeaderValue matches names case-insensitively (ASCII) and returns the
//   first match. SetHeaderValue stages a change on the message object that
//   set it; Commit applies the staged changes in order: the first header of
//   that name is replaced where it stands (taking the name as given), later
//   ones of that name are removed, and a new header is appended when there
//   was none. Readers, the setting object included, see committed headers only.
// - A message is a single part: GetRootPart(0, 0) and GetBodyPart both return
//   part 1, and GetPartText(1) is the body. Any other part is E_INVALIDARG.
// - Events. Subscriptions belong to the entity behind an object (the one
//   init, folder manager and api entity; each folder; each toolbar; each
//   message), so an event raised for a folder reaches every sink advised on
//   any object of that folder, in the order of advising. A subscription lasts
//   until Unadvise, whether or not the object it was made on is still held.
//   Unadvise with a cookie the entity does not have fails with 0x80040200.
//   Sinks are called without any lock held and may call back into the host,
//   unadvise themselves or others (a sink unadvised before its turn is not
//   called).
// - Failures. A failing call changes nothing and the object's error
//   description (UTF-8) tells why until its next failure. The host fails
//   only where the plug-in misuses it; to see what the plug-in does when the
//   mail client fails, tests put a FaultInjectingHost in front of it.
// - Objects may outlive the MemoryHost; every method is safe to call from
//   several threads.
#ifndef TARVEX_HOST_MEMORY_MEMORY_HOST_H_
#define TARVEX_HOST_MEMORY_MEMORY_HOST_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"
#include "host/host_support.h"

namespace tarvex {

// The header lines of a message in order: name and value, UTF-8.
using HostHeaders = std::vector<std::pair<std::string, std::string>>;

// The entity an event is raised on.
struct EventTarget {
  using Kind = EntityKind;
  Kind kind = Kind::kInit;
  int32_t id = 0;      // folder id, toolbar number (creation order from 0), or message id
  int32_t folder = 0;  // the folder of a message

  static EventTarget Init() { return {Kind::kInit, 0, 0}; }
  static EventTarget FolderManager() { return {Kind::kFolderManager, 0, 0}; }
  static EventTarget Api() { return {Kind::kApi, 0, 0}; }
  static EventTarget Folder(int32_t folderId) { return {Kind::kFolder, folderId, 0}; }
  static EventTarget Toolbar(size_t index) {
    return {Kind::kToolbar, static_cast<int32_t>(index), 0};
  }
  static EventTarget Message(int32_t folderId, int32_t messageId) {
    return {Kind::kMessage, messageId, folderId};
  }
  bool operator==(const EventTarget& o) const {
    return kind == o.kind && id == o.id && folder == o.folder;
  }
};

namespace memory_host_internal {
struct Store;
}  // namespace memory_host_internal

class MemoryHost : public HostLibrary {
 public:
  static constexpr int32_t kLocalFoldersId = 1;
  static constexpr int32_t kInboxId = 2;
  static constexpr int32_t kOutboxId = 3;
  static constexpr int32_t kSentItemsId = 4;
  static constexpr int32_t kDeletedItemsId = 5;
  static constexpr int32_t kDraftsId = 6;

  // The host's part handle for a message's only part.
  static constexpr int32_t kMessagePart = 1;

  // Unadvise of a cookie the object's entity does not hold.
  static constexpr HostStatus kNoConnection = EventRegistry::kNoConnection;
  // CreateSubFolder with the name of an existing sibling.
  static constexpr HostStatus kAlreadyExists = 0x800700B7;

  MemoryHost();
  ~MemoryHost() override;
  MemoryHost(const MemoryHost&) = delete;
  MemoryHost& operator=(const MemoryHost&) = delete;

  void InitializeComponents() override;
  void UninitializeComponents() override;

  // Misuse by test code (an unknown folder, message or toolbar) throws
  // std::invalid_argument from the methods below.

  // ---------------------------------------------------------------- folders

  // Adds a folder under parentId as CreateSubFolder does; returns its id.
  int32_t AddFolder(int32_t parentId, const std::string& name);
  // The id of the first folder of the walk named exactly name; -1 when none.
  int32_t FolderId(const std::string& name) const;
  std::string FolderName(int32_t folderId) const;
  // The folder ids in walk order.
  std::vector<int32_t> FolderWalk() const;

  // ---------------------------------------------------------------- messages

  // Adds an unread message to the folder; returns its id.
  int32_t AddMessage(int32_t folderId, const HostHeaders& headers, const std::string& body);
  // The folder's message ids in order.
  std::vector<int32_t> MessageIds(int32_t folderId) const;
  bool HasMessage(int32_t folderId, int32_t messageId) const;

  // A message as it is stored: committed headers only.
  struct MessageState {
    int32_t folder = 0;
    int32_t id = 0;
    HostHeaders headers;
    std::string body;
    bool read = false;
  };
  MessageState Message(int32_t folderId, int32_t messageId) const;
  // The id of the first message of the folder with a committed header of that
  // name (case-insensitive) and exactly that value; -1 when none.
  int32_t FindMessage(int32_t folderId, const std::string& headerName,
                      const std::string& value) const;

  // Every move so far, in order: where the message was and where it went.
  struct Move {
    int32_t source_folder = 0;
    int32_t source_id = 0;
    int32_t target_folder = 0;
    int32_t target_id = 0;
  };
  std::vector<Move> Moves() const;

  // ---------------------------------------------------------------- api

  // What HostApi reports as the current folder (initially the Inbox) and its
  // selected messages (initially none).
  void SetCurrentFolder(int32_t folderId);
  void SetSelection(std::vector<int32_t> messageIds);

  // ---------------------------------------------------------------- toolbars

  // A toolbar created through HostApi::CreateToolbar, by creation order.
  struct ToolbarState {
    std::vector<int32_t> flags;  // every SetToolbarFlag, in order
    int removes = 0;             // Remove calls
    ToolbarControl* window = nullptr;
  };
  size_t ToolbarCount() const;
  ToolbarState Toolbar(size_t index) const;
  // What the toolbar's GetWindow returns from now on.
  void SetToolbarWindow(size_t index, ToolbarControl* window);

  // ---------------------------------------------------------------- events

  // One sink's handling of an event.
  struct Delivery {
    EventTarget target;
    int32_t number = 0;
    uint32_t cookie = 0;
    HostStatus status = 0;
    std::string description;  // the sink's error description, UTF-8
  };

  // Raises event on every sink subscribed to target; returns the deliveries,
  // which are also added to Deliveries().
  std::vector<Delivery> RaiseEvent(const EventTarget& target, const HostEvent& event);
  // "OnInitOEAPI" and "OnShutdownOEAPI" on the init sinks.
  std::vector<Delivery> RaiseInit();
  std::vector<Delivery> RaiseShutdown();
  // Adds the message to the folder and raises "OnNewMessage" with its id on
  // the folder's sinks; returns the id.
  int32_t DeliverNewMessage(int32_t folderId, const HostHeaders& headers, const std::string& body);
  // Every delivery so far, in order.
  std::vector<Delivery> Deliveries() const;
  // The live subscriptions of the target, and of all entities.
  size_t Subscriptions(const EventTarget& target) const;
  size_t Subscriptions() const;

  // ---------------------------------------------------------------- accounting

  // Host objects handed out and not yet released.
  int LiveObjects() const;
  int ComponentInitializations() const;
  int ComponentUninitializations() const;

  // Every host operation called by the plug-in so far, by name ("GetMessage",
  // "SetHeaderValue" ...), in order.
  std::vector<std::string> Calls() const;
  void ClearCalls();

 protected:
  HostStatus DoCreateInit(HostRef<HostInit>* init) override;
  HostStatus DoCreateFolderManager(HostRef<HostFolderManager>* manager) override;
  HostStatus DoCreateApi(HostRef<HostApi>* api) override;

 private:
  std::shared_ptr<memory_host_internal::Store> store_;
};

}  // namespace tarvex

#endif  // TARVEX_HOST_MEMORY_MEMORY_HOST_H_
