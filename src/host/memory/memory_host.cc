#include "host/memory/memory_host.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>

namespace tarvex {
namespace memory_host_internal {

using Lock = std::lock_guard<std::mutex>;

// The entity behind an object (an EntityKey) is its kind and its folder id,
// toolbar number or message number (which, unlike the message id, survives
// moves).

struct Failure {
  HostStatus status = 0;
  std::string description;
};

struct FolderNode {
  int32_t id = 0;
  int32_t parent = 0;  // 0 for the root
  std::string name;
  std::vector<int32_t> children;        // in creation order
  std::map<int32_t, int64_t> messages;  // message id -> message number
};

struct StoredMessage {
  int32_t folder = 0;
  int32_t id = 0;
  HostHeaders headers;
  std::string body;
  bool read = false;
};

bool SameHeaderName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Sets name to value the way Commit does: the first header of that name is
// replaced where it stands, later ones go, and a missing one is appended.
void ApplyHeader(HostHeaders& headers, const std::string& name, const std::string& value) {
  auto first = std::find_if(headers.begin(), headers.end(),
                            [&](const auto& h) { return SameHeaderName(h.first, name); });
  if (first == headers.end()) {
    headers.emplace_back(name, value);
    return;
  }
  *first = {name, value};
  headers.erase(std::remove_if(first + 1, headers.end(),
                               [&](const auto& h) { return SameHeaderName(h.first, name); }),
                headers.end());
}

std::string HeaderBlock(const HostHeaders& headers) {
  std::string block;
  for (const auto& [name, value] : headers) block += name + ": " + value + "\r\n";
  return block;
}

// Everything the host holds. The members are guarded by mutex, except the
// counters, which objects change from their destructors.
struct Store {
  mutable std::mutex mutex;

  std::map<int32_t, FolderNode> folders;
  int32_t next_folder_id = 1;
  std::map<int64_t, StoredMessage> messages;  // by message number
  int64_t next_message_number = 1;
  int32_t next_message_id = 1;
  std::vector<MemoryHost::Move> moves;

  int32_t current_folder = MemoryHost::kInboxId;
  std::vector<int32_t> selection;
  std::vector<MemoryHost::ToolbarState> toolbars;

  EventRegistry events;
  std::vector<MemoryHost::Delivery> deliveries;

  std::vector<std::string> calls;  // every operation called, in order

  HostCounts counts;

  // The helpers below expect mutex to be held.

  // Every operation passes here, to be logged.
  void Called(const char* operation) { calls.push_back(operation); }

  FolderNode* Folder(int32_t id) {
    auto it = folders.find(id);
    return it == folders.end() ? nullptr : &it->second;
  }

  FolderNode& RequiredFolder(int32_t id) {
    FolderNode* folder = Folder(id);
    if (!folder) throw std::invalid_argument("no folder " + std::to_string(id));
    return *folder;
  }

  // The id of the new folder, or 0 with the reason in *failure.
  int32_t CreateFolder(int32_t parent_id, const std::string& name, Failure* failure) {
    FolderNode* parent = Folder(parent_id);
    if (!parent) {
      *failure = {status::kInvalidArgument,
                  "There is no folder " + std::to_string(parent_id) + "."};
      return 0;
    }
    if (name.empty()) {
      *failure = {status::kInvalidArgument, "A folder needs a name."};
      return 0;
    }
    for (int32_t child : parent->children) {
      if (folders.at(child).name == name) {
        *failure = {MemoryHost::kAlreadyExists,
                    "\"" + parent->name + "\" already has a folder \"" + name + "\"."};
        return 0;
      }
    }
    const int32_t id = next_folder_id++;
    parent->children.push_back(id);
    folders[id] = FolderNode{id, parent_id, name, {}, {}};
    return id;
  }

  // The folder after id in the walk; 0 after the last.
  int32_t NextInWalk(int32_t id) const {
    const FolderNode& node = folders.at(id);
    if (!node.children.empty()) return node.children.front();
    for (int32_t current = id; folders.at(current).parent != 0;) {
      const int32_t parent = folders.at(current).parent;
      const std::vector<int32_t>& siblings = folders.at(parent).children;
      auto it = std::find(siblings.begin(), siblings.end(), current);
      if (it + 1 != siblings.end()) return *(it + 1);
      current = parent;
    }
    return 0;
  }

  std::vector<int32_t> Walk() const {
    std::vector<int32_t> ids;
    for (int32_t id = MemoryHost::kLocalFoldersId; id != 0; id = NextInWalk(id)) ids.push_back(id);
    return ids;
  }

  // The message number of the folder's message id; 0 when there is none.
  int64_t MessageNumber(int32_t folder_id, int32_t message_id) {
    FolderNode* folder = Folder(folder_id);
    if (!folder) return 0;
    auto it = folder->messages.find(message_id);
    return it == folder->messages.end() ? 0 : it->second;
  }

  int64_t RequiredMessage(int32_t folder_id, int32_t message_id) {
    RequiredFolder(folder_id);
    const int64_t number = MessageNumber(folder_id, message_id);
    if (number == 0) {
      throw std::invalid_argument("no message " + std::to_string(message_id) + " in folder " +
                                  std::to_string(folder_id));
    }
    return number;
  }

  int32_t InsertMessage(int32_t folder_id, const HostHeaders& headers, const std::string& body) {
    FolderNode& folder = RequiredFolder(folder_id);
    const int32_t id = next_message_id++;
    const int64_t number = next_message_number++;
    messages[number] = StoredMessage{folder_id, id, headers, body, false};
    folder.messages[id] = number;
    return id;
  }

  EntityKey Entity(const EventTarget& target) {
    switch (target.kind) {
      case EventTarget::Kind::kFolder:
        RequiredFolder(target.id);
        return {target.kind, target.id};
      case EventTarget::Kind::kToolbar:
        if (target.id < 0 || static_cast<size_t>(target.id) >= toolbars.size()) {
          throw std::invalid_argument("no toolbar " + std::to_string(target.id));
        }
        return {target.kind, target.id};
      case EventTarget::Kind::kMessage:
        return {target.kind, RequiredMessage(target.folder, target.id)};
      default:
        return {target.kind, 0};
    }
  }
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

  HostStatus DoAdvise(const HostRef<HostEventSink>& sink, uint32_t* cookie) override {
    Lock lock(store_->mutex);
    store_->Called("Advise");
    std::string description;
    const HostStatus result = store_->events.Advise(entity_, sink, cookie, &description);
    return result == status::kOk ? result : Fail(result, std::move(description));
  }

  HostStatus DoUnadvise(uint32_t cookie) override {
    Lock lock(store_->mutex);
    store_->Called("Unadvise");
    std::string description;
    const HostStatus result = store_->events.Unadvise(entity_, cookie, &description);
    return result == status::kOk ? result : Fail(result, std::move(description));
  }

  HostStatus Fail(const Failure& failure) { return Fail(failure.status, failure.description); }
};

class MemoryMessage : public Object<HostMessage> {
 public:
  MemoryMessage(std::shared_ptr<Store> store, int64_t number)
      : Object(std::move(store), {EventTarget::Kind::kMessage, number}), number_(number) {}

 protected:
  HostStatus DoGetHeaderText(std::string* text) override {
    Lock lock(store_->mutex);
    store_->Called("GetHeaderText");
    *text = HeaderBlock(Stored().headers);
    return status::kOk;
  }

  HostStatus DoGetRawHeaders(std::string* text) override {
    Lock lock(store_->mutex);
    store_->Called("GetRawHeaders");
    *text = HeaderBlock(Stored().headers);
    return status::kOk;
  }

  HostStatus DoGetRootPart(int32_t a, int32_t b, int32_t* part) override {
    Lock lock(store_->mutex);
    store_->Called("GetRootPart");
    if (a != 0 || b != 0) return Fail(status::kInvalidArgument, "The root part takes 0, 0.");
    *part = MemoryHost::kMessagePart;
    return status::kOk;
  }

  HostStatus DoGetBodyPart(int32_t* part) override {
    Lock lock(store_->mutex);
    store_->Called("GetBodyPart");
    *part = MemoryHost::kMessagePart;
    return status::kOk;
  }

  HostStatus DoGetPartText(int32_t part, std::string* text) override {
    Lock lock(store_->mutex);
    store_->Called("GetPartText");
    if (part != MemoryHost::kMessagePart) return BadPart(part);
    *text = Stored().body;
    return status::kOk;
  }

  HostStatus DoGetHeaderValue(int32_t part, const std::string& name, std::string* value,
                              int32_t* found) override {
    Lock lock(store_->mutex);
    store_->Called("GetHeaderValue");
    if (part != MemoryHost::kMessagePart) return BadPart(part);
    value->clear();
    *found = 0;
    for (const auto& header : Stored().headers) {
      if (SameHeaderName(header.first, name)) {
        *value = header.second;
        *found = 1;
        break;
      }
    }
    return status::kOk;
  }

  HostStatus DoSetHeaderValue(int32_t part, const std::string& name,
                              const std::string& value) override {
    Lock lock(store_->mutex);
    store_->Called("SetHeaderValue");
    if (part != MemoryHost::kMessagePart) return BadPart(part);
    if (name.empty()) return Fail(status::kInvalidArgument, "A header needs a name.");
    staged_.emplace_back(name, value);
    return status::kOk;
  }

  HostStatus DoCommit() override {
    Lock lock(store_->mutex);
    store_->Called("Commit");
    StoredMessage& message = Stored();
    for (const auto& [name, value] : staged_) ApplyHeader(message.headers, name, value);
    staged_.clear();
    return status::kOk;
  }

  HostStatus DoMarkRead() override {
    Lock lock(store_->mutex);
    store_->Called("MarkRead");
    Stored().read = true;
    return status::kOk;
  }

 private:
  StoredMessage& Stored() { return store_->messages.at(number_); }

  HostStatus BadPart(int32_t part) {
    return Fail(status::kInvalidArgument, "The message has no part " + std::to_string(part) + ".");
  }

  const int64_t number_;
  HostHeaders staged_;  // set but not committed, in order
};

class MemoryFolder : public Object<HostFolder> {
 public:
  MemoryFolder(std::shared_ptr<Store> store, int32_t id)
      : Object(std::move(store), {EventTarget::Kind::kFolder, id}), id_(id) {}

 protected:
  HostStatus DoGetName(std::string* name) override {
    Lock lock(store_->mutex);
    store_->Called("GetName");
    *name = Node().name;
    return status::kOk;
  }

  HostStatus DoGetId(int32_t* id) override {
    Lock lock(store_->mutex);
    store_->Called("GetId");
    *id = id_;
    return status::kOk;
  }

  HostStatus DoGetMessage(int32_t messageId, HostRef<HostMessage>* message) override {
    Lock lock(store_->mutex);
    store_->Called("GetMessage");
    const int64_t number = store_->MessageNumber(id_, messageId);
    if (number == 0) {
      return Fail(status::kInvalidArgument, "There is no message " + std::to_string(messageId) +
                                                " in \"" + Node().name + "\".");
    }
    *message = std::make_shared<MemoryMessage>(store_, number);
    return status::kOk;
  }

  HostStatus DoGetFirstMessage(HostRef<HostMessage>* message) override {
    Lock lock(store_->mutex);
    store_->Called("GetFirstMessage");
    started_ = true;
    last_id_ = 0;
    *message = MessageAfter(Node().messages.begin());
    return status::kOk;
  }

  HostStatus DoGetNextMessage(HostRef<HostMessage>* message) override {
    Lock lock(store_->mutex);
    store_->Called("GetNextMessage");
    *message = started_ ? MessageAfter(Node().messages.upper_bound(last_id_)) : nullptr;
    return status::kOk;
  }

  HostStatus DoCreateSubFolder(const std::string& name, HostRef<HostFolder>* folder) override {
    Lock lock(store_->mutex);
    store_->Called("CreateSubFolder");
    Failure failure;
    const int32_t id = store_->CreateFolder(id_, name, &failure);
    if (id == 0) return Fail(failure);
    *folder = std::make_shared<MemoryFolder>(store_, id);
    return status::kOk;
  }

 private:
  FolderNode& Node() { return store_->folders.at(id_); }

  // The message at it, which becomes the cursor; null at the end.
  HostRef<HostMessage> MessageAfter(std::map<int32_t, int64_t>::const_iterator it) {
    if (it == Node().messages.cend()) return nullptr;
    last_id_ = it->first;
    return std::make_shared<MemoryMessage>(store_, it->second);
  }

  const int32_t id_;
  bool started_ = false;
  int32_t last_id_ = 0;  // the last message id the walk returned
};

class MemoryFolderManager : public Object<HostFolderManager> {
 public:
  explicit MemoryFolderManager(std::shared_ptr<Store> store)
      : Object(std::move(store), {EventTarget::Kind::kFolderManager, 0}) {}

 protected:
  HostStatus DoGetInboxFolder(HostRef<HostFolder>* folder) override {
    Lock lock(store_->mutex);
    store_->Called("GetInboxFolder");
    *folder = std::make_shared<MemoryFolder>(store_, MemoryHost::kInboxId);
    return status::kOk;
  }

  HostStatus DoGetFirstFolder(HostRef<HostFolder>* folder) override {
    Lock lock(store_->mutex);
    store_->Called("GetFirstFolder");
    current_ = MemoryHost::kLocalFoldersId;
    *folder = std::make_shared<MemoryFolder>(store_, current_);
    return status::kOk;
  }

  HostStatus DoGetNextFolder(HostRef<HostFolder>* folder) override {
    Lock lock(store_->mutex);
    store_->Called("GetNextFolder");
    if (current_ != 0) current_ = store_->NextInWalk(current_);
    *folder = current_ == 0 ? nullptr : std::make_shared<MemoryFolder>(store_, current_);
    return status::kOk;
  }

  HostStatus DoGetFolder(int32_t folderId, HostRef<HostFolder>* folder) override {
    Lock lock(store_->mutex);
    store_->Called("GetFolder");
    if (!store_->Folder(folderId)) {
      return Fail(status::kInvalidArgument, "There is no folder " + std::to_string(folderId) + ".");
    }
    *folder = std::make_shared<MemoryFolder>(store_, folderId);
    return status::kOk;
  }

  HostStatus DoMoveMessage(int32_t sourceFolderId, int32_t targetFolderId, int32_t messageId,
                           int32_t* moved) override {
    Lock lock(store_->mutex);
    store_->Called("MoveMessage");
    FolderNode* source = store_->Folder(sourceFolderId);
    FolderNode* target = store_->Folder(targetFolderId);
    if (!source || !target) {
      return Fail(
          status::kInvalidArgument,
          "There is no folder " + std::to_string(source ? targetFolderId : sourceFolderId) + ".");
    }
    auto it = source->messages.find(messageId);
    if (it == source->messages.end()) {
      return Fail(status::kInvalidArgument, "There is no message " + std::to_string(messageId) +
                                                " in \"" + source->name + "\".");
    }
    *moved = 0;
    if (source == target) return status::kOk;
    const int64_t number = it->second;
    source->messages.erase(it);
    const int32_t new_id = store_->next_message_id++;
    target->messages[new_id] = number;
    StoredMessage& message = store_->messages.at(number);
    message.folder = targetFolderId;
    message.id = new_id;
    store_->moves.push_back({sourceFolderId, messageId, targetFolderId, new_id});
    *moved = 1;
    return status::kOk;
  }

 private:
  int32_t current_ = 0;  // the folder the walk stands on; 0 before it and after the last
};

class MemoryToolbar : public Object<HostToolbar> {
 public:
  MemoryToolbar(std::shared_ptr<Store> store, size_t index)
      : Object(std::move(store), {EventTarget::Kind::kToolbar, static_cast<int64_t>(index)}),
        index_(index) {}

 protected:
  HostStatus DoSetToolbarFlag(int32_t flag) override {
    Lock lock(store_->mutex);
    store_->Called("SetToolbarFlag");
    store_->toolbars.at(index_).flags.push_back(flag);
    return status::kOk;
  }

  HostStatus DoGetWindow(ToolbarControl** window) override {
    Lock lock(store_->mutex);
    store_->Called("GetWindow");
    *window = store_->toolbars.at(index_).window;
    return status::kOk;
  }

  HostStatus DoRemove() override {
    Lock lock(store_->mutex);
    store_->Called("Remove");
    ++store_->toolbars.at(index_).removes;
    return status::kOk;
  }

 private:
  const size_t index_;
};

class MemoryApi : public Object<HostApi> {
 public:
  explicit MemoryApi(std::shared_ptr<Store> store)
      : Object(std::move(store), {EventTarget::Kind::kApi, 0}) {}

 protected:
  HostStatus DoCreateToolbar(HostRef<HostToolbar>* toolbar) override {
    Lock lock(store_->mutex);
    store_->Called("CreateToolbar");
    store_->toolbars.emplace_back();
    *toolbar = std::make_shared<MemoryToolbar>(store_, store_->toolbars.size() - 1);
    return status::kOk;
  }

  HostStatus DoGetCurrentFolderId(int32_t* id) override {
    Lock lock(store_->mutex);
    store_->Called("GetCurrentFolderId");
    *id = store_->current_folder;
    return status::kOk;
  }

  HostStatus DoGetFirstSelectedMessageId(int32_t* id) override {
    Lock lock(store_->mutex);
    store_->Called("GetFirstSelectedMessageId");
    *id = selection_.First(store_->selection);
    return status::kOk;
  }

  HostStatus DoGetNextSelectedMessageId(int32_t* id) override {
    Lock lock(store_->mutex);
    store_->Called("GetNextSelectedMessageId");
    *id = selection_.Next(store_->selection);
    return status::kOk;
  }

 private:
  SelectionCursor selection_;
};

class MemoryInit : public Object<HostInit> {
 public:
  explicit MemoryInit(std::shared_ptr<Store> store)
      : Object(std::move(store), {EventTarget::Kind::kInit, 0}) {}
};

}  // namespace memory_host_internal

using memory_host_internal::Failure;
using memory_host_internal::Lock;
using memory_host_internal::Store;

namespace {

const char* const kStandardFolders[] = {"Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts"};

}  // namespace

MemoryHost::MemoryHost() : store_(std::make_shared<Store>()) {
  Store& store = *store_;
  const int32_t root = store.next_folder_id++;
  store.folders[root] = memory_host_internal::FolderNode{root, 0, "Local Folders", {}, {}};
  for (const char* name : kStandardFolders) {
    Failure failure;
    store.CreateFolder(root, name, &failure);
  }
}

MemoryHost::~MemoryHost() = default;

void MemoryHost::InitializeComponents() { ++store_->counts.initializations; }
void MemoryHost::UninitializeComponents() { ++store_->counts.uninitializations; }

HostStatus MemoryHost::DoCreateInit(HostRef<HostInit>* init) {
  Lock lock(store_->mutex);
  store_->Called("CreateInit");
  *init = std::make_shared<memory_host_internal::MemoryInit>(store_);
  return status::kOk;
}

HostStatus MemoryHost::DoCreateFolderManager(HostRef<HostFolderManager>* manager) {
  Lock lock(store_->mutex);
  store_->Called("CreateFolderManager");
  *manager = std::make_shared<memory_host_internal::MemoryFolderManager>(store_);
  return status::kOk;
}

HostStatus MemoryHost::DoCreateApi(HostRef<HostApi>* api) {
  Lock lock(store_->mutex);
  store_->Called("CreateApi");
  *api = std::make_shared<memory_host_internal::MemoryApi>(store_);
  return status::kOk;
}

// ------------------------------------------------------------------ folders

int32_t MemoryHost::AddFolder(int32_t parentId, const std::string& name) {
  Lock lock(store_->mutex);
  Failure failure;
  const int32_t id = store_->CreateFolder(parentId, name, &failure);
  if (id == 0) throw std::invalid_argument(failure.description);
  return id;
}

int32_t MemoryHost::FolderId(const std::string& name) const {
  Lock lock(store_->mutex);
  for (int32_t id : store_->Walk()) {
    if (store_->folders.at(id).name == name) return id;
  }
  return -1;
}

std::string MemoryHost::FolderName(int32_t folderId) const {
  Lock lock(store_->mutex);
  return store_->RequiredFolder(folderId).name;
}

std::vector<int32_t> MemoryHost::FolderWalk() const {
  Lock lock(store_->mutex);
  return store_->Walk();
}

// ------------------------------------------------------------------ messages

int32_t MemoryHost::AddMessage(int32_t folderId, const HostHeaders& headers,
                               const std::string& body) {
  Lock lock(store_->mutex);
  return store_->InsertMessage(folderId, headers, body);
}

std::vector<int32_t> MemoryHost::MessageIds(int32_t folderId) const {
  Lock lock(store_->mutex);
  std::vector<int32_t> ids;
  for (const auto& entry : store_->RequiredFolder(folderId).messages) ids.push_back(entry.first);
  return ids;
}

bool MemoryHost::HasMessage(int32_t folderId, int32_t messageId) const {
  Lock lock(store_->mutex);
  return store_->MessageNumber(folderId, messageId) != 0;
}

MemoryHost::MessageState MemoryHost::Message(int32_t folderId, int32_t messageId) const {
  Lock lock(store_->mutex);
  const auto& stored = store_->messages.at(store_->RequiredMessage(folderId, messageId));
  return {stored.folder, stored.id, stored.headers, stored.body, stored.read};
}

int32_t MemoryHost::FindMessage(int32_t folderId, const std::string& headerName,
                                const std::string& value) const {
  Lock lock(store_->mutex);
  for (const auto& [id, number] : store_->RequiredFolder(folderId).messages) {
    for (const auto& header : store_->messages.at(number).headers) {
      if (memory_host_internal::SameHeaderName(header.first, headerName) &&
          header.second == value) {
        return id;
      }
    }
  }
  return -1;
}

std::vector<MemoryHost::Move> MemoryHost::Moves() const {
  Lock lock(store_->mutex);
  return store_->moves;
}

// ------------------------------------------------------------------ api, toolbars

void MemoryHost::SetCurrentFolder(int32_t folderId) {
  Lock lock(store_->mutex);
  store_->RequiredFolder(folderId);
  store_->current_folder = folderId;
}

void MemoryHost::SetSelection(std::vector<int32_t> messageIds) {
  Lock lock(store_->mutex);
  store_->selection = std::move(messageIds);
}

size_t MemoryHost::ToolbarCount() const {
  Lock lock(store_->mutex);
  return store_->toolbars.size();
}

MemoryHost::ToolbarState MemoryHost::Toolbar(size_t index) const {
  Lock lock(store_->mutex);
  if (index >= store_->toolbars.size()) throw std::invalid_argument("no such toolbar");
  return store_->toolbars[index];
}

void MemoryHost::SetToolbarWindow(size_t index, ToolbarControl* window) {
  Lock lock(store_->mutex);
  if (index >= store_->toolbars.size()) throw std::invalid_argument("no such toolbar");
  store_->toolbars[index].window = window;
}

// ------------------------------------------------------------------ events

std::vector<MemoryHost::Delivery> MemoryHost::RaiseEvent(const EventTarget& target,
                                                         const HostEvent& event) {
  EntityKey entity;
  {
    Lock lock(store_->mutex);
    entity = store_->Entity(target);
  }
  std::vector<Delivery> deliveries;
  store_->events.Raise(
      store_->mutex, entity, event,
      [&](uint32_t cookie, HostStatus status, std::string description) {
        Delivery delivery{target, event.number, cookie, status, std::move(description)};
        store_->deliveries.push_back(delivery);
        deliveries.push_back(std::move(delivery));
      });
  return deliveries;
}

std::vector<MemoryHost::Delivery> MemoryHost::RaiseInit() {
  HostEvent init;
  init.number = event::kOnInitOEAPI;
  return RaiseEvent(EventTarget::Init(), init);
}

std::vector<MemoryHost::Delivery> MemoryHost::RaiseShutdown() {
  HostEvent shutdown;
  shutdown.number = event::kOnShutdownOEAPI;
  return RaiseEvent(EventTarget::Init(), shutdown);
}

int32_t MemoryHost::DeliverNewMessage(int32_t folderId, const HostHeaders& headers,
                                      const std::string& body) {
  const int32_t id = AddMessage(folderId, headers, body);
  HostEvent arrival;
  arrival.number = event::kOnNewMessage;
  arrival.arguments.push_back(HostVariant::Integer(id));
  RaiseEvent(EventTarget::Folder(folderId), arrival);
  return id;
}

std::vector<std::string> MemoryHost::Calls() const {
  std::lock_guard<std::mutex> lock(store_->mutex);
  return store_->calls;
}

void MemoryHost::ClearCalls() {
  std::lock_guard<std::mutex> lock(store_->mutex);
  store_->calls.clear();
}

std::vector<MemoryHost::Delivery> MemoryHost::Deliveries() const {
  Lock lock(store_->mutex);
  return store_->deliveries;
}

size_t MemoryHost::Subscriptions(const EventTarget& target) const {
  Lock lock(store_->mutex);
  return store_->events.Count(store_->Entity(target));
}

size_t MemoryHost::Subscriptions() const {
  Lock lock(store_->mutex);
  return store_->events.Count();
}

// ------------------------------------------------------------------ accounting

int MemoryHost::LiveObjects() const { return store_->counts.live_objects; }
int MemoryHost::ComponentInitializations() const { return store_->counts.initializations; }
int MemoryHost::ComponentUninitializations() const { return store_->counts.uninitializations; }

}  // namespace tarvex
