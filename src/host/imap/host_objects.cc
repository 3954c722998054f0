#include <optional>
#include <string_view>

#include "host/imap/store.h"
#include "host/store_objects.h"

// The objects handed to the plug-in: thin adapters that run each operation
// on the store with its lock held and turn what it throws into the status
// and error description handed back.

namespace tarvex {
namespace imap_host_internal {

// Outside the unnamed namespace: the shared objects (store_objects.h) derive
// from it.
template <typename Base>
class Object : public host_store::StoreObject<Base, Store> {
 public:
  using host_store::StoreObject<Base, Store>::StoreObject;

 protected:
  using host_store::StoreObject<Base, Store>::Run;
  using host_store::StoreObject<Base, Store>::store_;
  using host_store::StoreObject<Base, Store>::entity_;

  HostStatus DoAdvise(const HostRef<HostEventSink>& sink, uint32_t* cookie) override {
    return Run([&] {
      std::string description;
      const HostStatus s = store_->events.Advise(entity_, sink, cookie, &description);
      if (s != status::kOk) Throw(s, description);
    });
  }

  HostStatus DoUnadvise(uint32_t cookie) override {
    return Run([&] {
      std::string description;
      const HostStatus s = store_->events.Unadvise(entity_, cookie, &description);
      if (s != status::kOk) Throw(s, description);
    });
  }
};

namespace {

class ImapMessage : public host_store::StoreMessage<Object> {
 public:
  using StoreMessage::StoreMessage;

 protected:
  const std::string& Head() override { return store_->Read(Folder(), id_).bytes; }
  std::string Whole() override { return store_->Read(Folder(), id_).bytes; }
  void Rewrite(const host_store::HeaderChanges& changes) override {
    store_->Rewrite(Folder(), id_, changes);
  }
  void SetRead() override { store_->MarkRead(Folder(), id_); }

 private:
  FolderRecord& Folder() { return store_->folders.at(folder_); }
};

class ImapFolder : public Object<HostFolder> {
 public:
  ImapFolder(std::shared_ptr<Store> store, int32_t id)
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
      if (Folder().mailbox.empty() || !Folder().exists || !store_->Holds(Folder(), messageId)) {
        Throw(status::kInvalidArgument, "There is no message " + std::to_string(messageId) +
                                            " in " + Quoted(Folder().Name()) + ".");
      }
      *message = std::make_shared<ImapMessage>(store_, id_, messageId);
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
    return Run(
        [&] { *folder = std::make_shared<ImapFolder>(store_, store_->CreateFolder(id_, name)); });
  }

 private:
  FolderRecord& Folder() { return store_->folders.at(id_); }

  // The message after the last one returned: the ids are listed once per
  // pass, and again when they run out, for messages that came since.
  HostRef<HostMessage> Next() {
    if (next_ == walk_.size()) {
      walk_ = store_->Messages(Folder(), last_id_);
      next_ = 0;
    }
    if (next_ == walk_.size()) return nullptr;
    last_id_ = walk_[next_++];
    return std::make_shared<ImapMessage>(store_, id_, last_id_);
  }

  const int32_t id_;
  bool started_ = false;
  int32_t last_id_ = 0;
  std::vector<int32_t> walk_;
  size_t next_ = 0;
};

}  // namespace

HostRef<HostInit> MakeInit(std::shared_ptr<Store> store) {
  return std::make_shared<host_store::StoreInit<Object>>(std::move(store));
}

HostRef<HostFolderManager> MakeFolderManager(std::shared_ptr<Store> store) {
  return std::make_shared<host_store::StoreFolderManager<Object, ImapFolder, ImapHost::kInboxId,
                                                         ImapHost::kLocalFoldersId>>(
      std::move(store));
}

HostRef<HostApi> MakeApi(std::shared_ptr<Store> store) {
  return std::make_shared<host_store::StoreApi<Object>>(std::move(store));
}

}  // namespace imap_host_internal
}  // namespace tarvex
