// What the hosts over a real mail store (the Maildir one, the IMAP one) share
// in the objects they hand out: the failure an operation throws and how it
// becomes a status, the message's header reads and staged writes, and the
// toolbar, api and init objects, which are the same for every store.
//
// A host's objects derive from StoreObject<Base, Store>; Store is the host's
// shared state, with what HostObjectCore wants (mutex, counts) and, for the
// api, `size_t toolbars`, `int32_t current_folder`,
// `std::vector<int32_t> selection` and `ToolbarControl* toolbar_window`.
#ifndef TARVEX_HOST_STORE_OBJECTS_H_
#define TARVEX_HOST_STORE_OBJECTS_H_

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/host.h"
#include "host/host_support.h"

namespace tarvex::host_store {

// A failure of an operation, with the status it is handed back as. Thrown
// by a store's helpers, caught where the operation started.
class OperationError : public std::runtime_error {
 public:
  OperationError(HostStatus status, const std::string& description)
      : std::runtime_error(description), status_(status) {}
  HostStatus status() const { return status_; }

 private:
  HostStatus status_;
};

[[noreturn]] inline void Throw(HostStatus status, const std::string& description) {
  throw OperationError(status, description);
}

inline std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

inline EntityKey MessageEntity(int32_t folder, int32_t message) {
  return {EntityKind::kMessage,
          (static_cast<int64_t>(folder) << 32) | static_cast<uint32_t>(message)};
}

// Runs an owner's call with the store locked: an unknown folder or message
// becomes std::invalid_argument, any other failure std::runtime_error.
template <typename Store, typename Operation>
auto OwnerCall(Store& store, Operation operation) {
  std::lock_guard<std::mutex> lock(store.mutex);
  try {
    return operation();
  } catch (const OperationError& error) {
    if (error.status() == status::kInvalidArgument) throw std::invalid_argument(error.what());
    throw std::runtime_error(error.what());
  }
}

// The folder records of a store, by id; each has `present` (in the tree at
// the last look) and `path` (its names from "Local Folders" down), whose
// order is the walk's order (depth first, pre-order).
template <typename Record>
Record* FindFolder(std::map<int32_t, Record>& folders, int32_t id) {
  auto it = folders.find(id);
  return it == folders.end() ? nullptr : &it->second;
}

template <typename Record>
Record& PresentFolder(std::map<int32_t, Record>& folders, int32_t id) {
  Record* folder = FindFolder(folders, id);
  if (!folder || !folder->present) {
    Throw(status::kInvalidArgument, "There is no folder " + std::to_string(id) + ".");
  }
  return *folder;
}

template <typename Record>
std::vector<Record*> FoldersInWalkOrder(std::map<int32_t, Record>& folders) {
  std::vector<Record*> walk;
  for (auto& entry : folders) {
    if (entry.second.present) walk.push_back(&entry.second);
  }
  std::sort(walk.begin(), walk.end(),
            [](const Record* a, const Record* b) { return a->path < b->path; });
  return walk;
}

// "OnNewMessage" with the message's id, "OnInitOEAPI", "OnShutdownOEAPI".
HostEvent NewMessageEvent(int32_t id);
HostEvent InitEvent();
HostEvent ShutdownEvent();

// The value of the first field called name (any case) in a message's start,
// as the plug-in reads it (decoded, an address header as a mail library
// reads it); *found 1 when there is one, else 0 and an empty value.
void ReadHeaderValue(std::string_view head, const std::string& name, std::string* value,
                     int32_t* found);
// The name and value as one header line staged for a commit: a value that
// ends its own line (the filter's word list does) ends there. Throws
// OperationError when they cannot be written as one line.
std::pair<std::string, std::string> StagedHeader(const std::string& name, const std::string& value);
// The header block of a message's start, made valid UTF-8.
std::string HeaderBlockText(std::string_view head);
// The text of a message as the plug-in reads it (mail::BodyText).
std::string BodyTextOf(std::string_view message);

// The base of a store's objects. Subscriptions belong to the object's
// entity; after each change Store::SubscriptionsChanged(entity) is told
// (with the store locked), and a failure there undoes an Advise.
template <typename Base, typename Store>
class StoreObject : public HostObjectCore<Base, Store> {
 public:
  using HostObjectCore<Base, Store>::HostObjectCore;

 protected:
  using HostObjectCore<Base, Store>::Fail;
  using HostObjectCore<Base, Store>::store_;
  using HostObjectCore<Base, Store>::entity_;

  HostStatus DoAdvise(const HostRef<HostEventSink>& sink, uint32_t* cookie) override {
    return Run([&] {
      std::string description;
      if (const HostStatus s = store_->events.Advise(entity_, sink, cookie, &description);
          s != status::kOk) {
        Throw(s, description);
      }
      try {
        store_->SubscriptionsChanged(entity_);
      } catch (...) {
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
      store_->SubscriptionsChanged(entity_);
    });
  }

  // Runs an operation with the store locked; what it throws becomes the
  // status handed back and the error description.
  template <typename Operation>
  HostStatus Run(Operation operation) {
    std::lock_guard<std::mutex> lock(store_->mutex);
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

// The part handle of a message's only part: a message is one part to the
// plug-in.
inline constexpr int32_t kMessagePart = 1;

using HeaderChanges = std::vector<std::pair<std::string, std::string>>;

// A message of a store: header reads from its start, its text from all of
// it, header changes staged on this object until Commit. A store says where
// the bytes are and how a message changes; each is called with the store
// locked and throws OperationError (or another exception) on failure.
template <template <typename> class Object>
class StoreMessage : public Object<HostMessage> {
 public:
  template <typename StorePtr>
  StoreMessage(StorePtr store, int32_t folder, int32_t id)
      : Object<HostMessage>(std::move(store), MessageEntity(folder, id)),
        folder_(folder),
        id_(id) {}

 protected:
  // The message's start, at least its header block.
  virtual const std::string& Head() = 0;
  // The whole message.
  virtual std::string Whole() = 0;
  virtual void Rewrite(const HeaderChanges& changes) = 0;
  virtual void SetRead() = 0;

  HostStatus DoGetHeaderText(std::string* text) override {
    return this->Run([&] { *text = HeaderBlockText(Head()); });
  }
  HostStatus DoGetRawHeaders(std::string* text) override {
    return this->Run([&] { *text = HeaderBlockText(Head()); });
  }
  HostStatus DoGetRootPart(int32_t a, int32_t b, int32_t* part) override {
    return this->Run([&] {
      if (a != 0 || b != 0) Throw(status::kInvalidArgument, "The root part takes 0, 0.");
      *part = kMessagePart;
    });
  }
  HostStatus DoGetBodyPart(int32_t* part) override {
    return this->Run([&] { *part = kMessagePart; });
  }
  HostStatus DoGetPartText(int32_t part, std::string* text) override {
    return this->Run([&] {
      CheckPart(part);
      *text = BodyTextOf(Whole());
    });
  }
  HostStatus DoGetHeaderValue(int32_t part, const std::string& name, std::string* value,
                              int32_t* found) override {
    return this->Run([&] {
      CheckPart(part);
      ReadHeaderValue(Head(), name, value, found);
    });
  }
  HostStatus DoSetHeaderValue(int32_t part, const std::string& name,
                              const std::string& value) override {
    return this->Run([&] {
      CheckPart(part);
      staged_.push_back(StagedHeader(name, value));
    });
  }
  HostStatus DoCommit() override {
    return this->Run([&] {
      if (staged_.empty()) return;
      Rewrite(staged_);
      staged_.clear();
    });
  }
  HostStatus DoMarkRead() override {
    return this->Run([&] { SetRead(); });
  }

  const int32_t folder_;
  const int32_t id_;

 private:
  static void CheckPart(int32_t part) {
    if (part != kMessagePart) {
      Throw(status::kInvalidArgument, "The message has no part " + std::to_string(part) + ".");
    }
  }

  HeaderChanges staged_;  // set but not committed, in order
};

// A toolbar: the flags are taken and change nothing; the window is the
// owner's, none until a front end gives one.
template <template <typename> class Object>
class StoreToolbar : public Object<HostToolbar> {
 public:
  template <typename StorePtr>
  StoreToolbar(StorePtr store, size_t index)
      : Object<HostToolbar>(std::move(store), {EntityKind::kToolbar, static_cast<int64_t>(index)}) {
  }

 protected:
  HostStatus DoSetToolbarFlag(int32_t) override {
    return this->Run([] {});
  }
  HostStatus DoGetWindow(ToolbarControl** window) override {
    return this->Run([&] { *window = this->store_->toolbar_window; });
  }
  HostStatus DoRemove() override {
    return this->Run([] {});
  }
};

// The api over the store's current folder and selection.
template <template <typename> class Object>
class StoreApi : public Object<HostApi> {
 public:
  template <typename StorePtr>
  explicit StoreApi(StorePtr store) : Object<HostApi>(std::move(store), {EntityKind::kApi, 0}) {}

 protected:
  HostStatus DoCreateToolbar(HostRef<HostToolbar>* toolbar) override {
    return this->Run([&] {
      *toolbar = std::make_shared<StoreToolbar<Object>>(this->store_, this->store_->toolbars++);
    });
  }
  HostStatus DoGetCurrentFolderId(int32_t* id) override {
    return this->Run([&] { *id = this->store_->current_folder; });
  }
  HostStatus DoGetFirstSelectedMessageId(int32_t* id) override {
    return this->Run([&] { *id = selection_.First(this->store_->selection); });
  }
  HostStatus DoGetNextSelectedMessageId(int32_t* id) override {
    return this->Run([&] { *id = selection_.Next(this->store_->selection); });
  }

 private:
  SelectionCursor selection_;
};

// A folder of a store, Derived being the store's folder object (made from
// the store and an id) and Message its message object (from the store, the
// folder's id and the message's). Its walk over the messages returns them in
// id order: the ids are taken once per pass; when they run out, the store is
// looked at again for messages that came since. Its name and children come
// from the Store's folder records (folders.at(id).Name()) and CreateFolder;
// the store says the rest, with the store locked.
template <template <typename> class Object, typename Derived, typename Message>
class StoreFolder : public Object<HostFolder> {
 public:
  template <typename StorePtr>
  StoreFolder(StorePtr store, int32_t id)
      : Object<HostFolder>(std::move(store), {EntityKind::kFolder, id}), id_(id) {}

 protected:
  // Whether the folder holds the message now.
  virtual bool Holds(int32_t message) = 0;
  // The ids of the folder's messages above after, ascending.
  virtual std::vector<int32_t> MessagesAfter(int32_t after) = 0;
  // Whether a message of the walk's pass is still there.
  virtual bool StillThere(int32_t) { return true; }

  HostStatus DoGetName(std::string* name) override {
    return this->Run([&] { *name = Name(); });
  }
  HostStatus DoGetId(int32_t* id) override {
    return this->Run([&] { *id = id_; });
  }
  HostStatus DoGetMessage(int32_t messageId, HostRef<HostMessage>* message) override {
    return this->Run([&] {
      if (!Holds(messageId)) {
        Throw(status::kInvalidArgument,
              "There is no message " + std::to_string(messageId) + " in " + Quoted(Name()) + ".");
      }
      *message = std::make_shared<Message>(this->store_, id_, messageId);
    });
  }
  HostStatus DoGetFirstMessage(HostRef<HostMessage>* message) override {
    return this->Run([&] {
      started_ = true;
      last_id_ = 0;
      walk_.clear();
      next_ = 0;
      *message = Next();
    });
  }
  HostStatus DoGetNextMessage(HostRef<HostMessage>* message) override {
    return this->Run([&] { *message = started_ ? Next() : nullptr; });
  }
  HostStatus DoCreateSubFolder(const std::string& name, HostRef<HostFolder>* folder) override {
    return this->Run([&] {
      *folder = std::make_shared<Derived>(this->store_, this->store_->CreateFolder(id_, name));
    });
  }

  std::string Name() { return this->store_->folders.at(id_).Name(); }

  const int32_t id_;

 private:
  HostRef<HostMessage> Next() {
    for (;;) {
      while (next_ < walk_.size()) {
        const int32_t id = walk_[next_++];
        if (!StillThere(id)) continue;  // gone meanwhile
        last_id_ = id;
        return std::make_shared<Message>(this->store_, id_, id);
      }
      walk_ = MessagesAfter(last_id_);
      next_ = 0;
      if (walk_.empty()) return nullptr;
    }
  }

  bool started_ = false;
  int32_t last_id_ = 0;        // the last message id the walk returned
  std::vector<int32_t> walk_;  // the ids of this pass
  size_t next_ = 0;
};

// The folder manager of a store whose Store has Refresh (reads the tree
// again), RefreshBeforeNextFolder and RefreshBeforeFolder(id) (as much of
// that as the store needs there), Walk, Present and Move; Folder is the
// store's folder object, made from the store and an id.
template <template <typename> class Object, typename Folder, int32_t kInboxId,
          int32_t kLocalFoldersId>
class StoreFolderManager : public Object<HostFolderManager> {
 public:
  template <typename StorePtr>
  explicit StoreFolderManager(StorePtr store)
      : Object<HostFolderManager>(std::move(store), {EntityKind::kFolderManager, 0}) {}

 protected:
  HostStatus DoGetInboxFolder(HostRef<HostFolder>* folder) override {
    return this->Run([&] { *folder = std::make_shared<Folder>(this->store_, kInboxId); });
  }

  HostStatus DoGetFirstFolder(HostRef<HostFolder>* folder) override {
    return this->Run([&] {
      this->store_->Refresh();
      cursor_ = std::vector<std::string>{};
      *folder = std::make_shared<Folder>(this->store_, kLocalFoldersId);
    });
  }

  HostStatus DoGetNextFolder(HostRef<HostFolder>* folder) override {
    return this->Run([&] {
      *folder = nullptr;
      if (!cursor_) return;
      this->store_->RefreshBeforeNextFolder();
      for (const auto* next : this->store_->Walk()) {
        if (next->path > *cursor_) {
          cursor_ = next->path;
          *folder = std::make_shared<Folder>(this->store_, next->id);
          return;
        }
      }
      cursor_.reset();
    });
  }

  HostStatus DoGetFolder(int32_t folderId, HostRef<HostFolder>* folder) override {
    return this->Run([&] {
      this->store_->RefreshBeforeFolder(folderId);
      this->store_->Present(folderId);
      *folder = std::make_shared<Folder>(this->store_, folderId);
    });
  }

  HostStatus DoMoveMessage(int32_t sourceFolderId, int32_t targetFolderId, int32_t messageId,
                           int32_t* moved) override {
    return this->Run([&] { this->store_->Move(sourceFolderId, targetFolderId, messageId, moved); });
  }

 private:
  // The path of the folder the walk stands on; none before it and after the last.
  std::optional<std::vector<std::string>> cursor_;
};

template <template <typename> class Object>
class StoreInit : public Object<HostInit> {
 public:
  template <typename StorePtr>
  explicit StoreInit(StorePtr store) : Object<HostInit>(std::move(store), {EntityKind::kInit, 0}) {}
};

}  // namespace tarvex::host_store

#endif  // TARVEX_HOST_STORE_OBJECTS_H_
