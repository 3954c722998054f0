#include "host/maildir/host_objects.h"

#include <optional>
#include <string_view>

#include "host/maildir/maildir_files.h"
#include "host/maildir/store.h"
#include "mail/maildir_names.h"
#include "mail/message_text.h"
#include "mail/mime_message.h"

namespace tarvex {
namespace maildir_host_internal {

// ------------------------------------------------------------------ objects

// What every object of the host shares, and its entity's subscriptions.
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
};

namespace {

class MaildirMessage : public host_store::StoreMessage<Object> {
 public:
  using StoreMessage::StoreMessage;

 protected:
  // The message file's start, up to its empty line: its header block, read
  // again only when the file has changed. The body is read only when its
  // text is asked for, and not kept, so that a large message costs memory
  // only while it is judged.
  const std::string& Head() override {
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

  std::string Whole() override {
    const std::string path = store_->RequiredFile(Folder(), id_);
    std::string bytes;
    if (const int error = maildir::ReadFile(path, &bytes)) ThrowErrno(error, "cannot read " + path);
    return bytes;
  }

  void Rewrite(const host_store::HeaderChanges& changes) override {
    store_->Rewrite(Folder(), id_, changes);
  }
  void SetRead() override { store_->MarkRead(Folder(), id_); }

 private:
  FolderRecord& Folder() { return store_->folders.at(folder_); }

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

}  // namespace

HostRef<HostInit> MakeInit(std::shared_ptr<Store> store) {
  return std::make_shared<host_store::StoreInit<Object>>(std::move(store));
}

HostRef<HostFolderManager> MakeFolderManager(std::shared_ptr<Store> store) {
  return std::make_shared<host_store::StoreFolderManager<
      Object, MaildirFolder, MaildirHost::kInboxId, MaildirHost::kLocalFoldersId>>(
      std::move(store));
}

HostRef<HostApi> MakeApi(std::shared_ptr<Store> store) {
  return std::make_shared<host_store::StoreApi<Object>>(std::move(store));
}

}  // namespace maildir_host_internal
}  // namespace tarvex
