#include "plugin/folder_watcher.h"

namespace tarvex {

FolderWatcher::FolderWatcher(HostLibrary& library, HostRef<HostFolder> folder,
                             NewMessageHandler onNewMessage)
    : folder_(std::move(folder)) {
  subscription_ = Subscription::Create(
      library,
      {{event::kOnNewMessage, 1,
        [this, onNewMessage](const std::vector<int32_t>& a) { onNewMessage(a[0], *this); }},
       {event::kOnMessageDeleted, 1, nullptr},
       {event::kOnDeletion, 0, nullptr}});
  subscription_->Attach(folder_);
  subscription_->Link(true);
}

void FolderWatcher::Detach() {
  subscription_->Link(false);
  subscription_->Detach();
}

FolderWatcher::~FolderWatcher() {
  try {
    Detach();
  } catch (const HostError&) {
    // The host no longer knows the subscription; nothing is left to release.
  }
}

}  // namespace tarvex
