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

template <typename Base>
using Object = host_store::StoreObject<Base, Store>;

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

class MaildirFolder : public host_store::StoreFolder<Object, MaildirFolder, MaildirMessage> {
 public:
  using StoreFolder::StoreFolder;

 protected:
  bool Holds(int32_t message) override { return !store_->Locate(Folder(), message, true).empty(); }
  // The disk is listed again for each pass.
  std::vector<int32_t> MessagesAfter(int32_t after) override {
    FolderRecord& folder = Folder();
    store_->ListMessages(folder);
    std::vector<int32_t> ids;
    for (auto it = folder.uniques.upper_bound(after); it != folder.uniques.end(); ++it) {
      if (!folder.messages.at(it->second).file.empty()) ids.push_back(it->first);
    }
    return ids;
  }
  bool StillThere(int32_t message) override {
    return !store_->Locate(Folder(), message, false).empty();
  }

 private:
  FolderRecord& Folder() { return store_->folders.at(id_); }
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
