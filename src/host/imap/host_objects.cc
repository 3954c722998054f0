#include <optional>
#include <string_view>

#include "host/imap/store.h"
#include "host/store_objects.h"

// The objects handed to the plug-in: thin adapters that run each operation
// on the store with its lock held and turn what it throws into the status
// and error description handed back.

namespace tarvex {
namespace imap_host_internal {

template <typename Base>
using Object = host_store::StoreObject<Base, Store>;

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

class ImapFolder : public host_store::StoreFolder<Object, ImapFolder, ImapMessage> {
 public:
  using StoreFolder::StoreFolder;

 protected:
  bool Holds(int32_t message) override {
    return !Folder().mailbox.empty() && Folder().exists && store_->Holds(Folder(), message);
  }
  std::vector<int32_t> MessagesAfter(int32_t after) override {
    return store_->Messages(Folder(), after);
  }

 private:
  FolderRecord& Folder() { return store_->folders.at(id_); }
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
