// The host objects of a MemoryHost: each operation runs with the store
// locked and is logged.
#include <memory>
#include <string>
#include <utility>

#include "host/memory/memory_store.h"

namespace tarvex {
namespace memory_host_internal {
namespace {

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

}  // namespace

HostRef<HostInit> MakeInit(std::shared_ptr<Store> store) {
  return std::make_shared<MemoryInit>(std::move(store));
}

HostRef<HostFolderManager> MakeFolderManager(std::shared_ptr<Store> store) {
  return std::make_shared<MemoryFolderManager>(std::move(store));
}

HostRef<HostApi> MakeApi(std::shared_ptr<Store> store) {
  return std::make_shared<MemoryApi>(std::move(store));
}

}  // namespace memory_host_internal
}  // namespace tarvex
