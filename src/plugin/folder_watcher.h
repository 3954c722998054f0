// The subscription to one watched folder: its new messages go to the
// controller, which hands them to the classifier together with the watcher.
#ifndef TARVEX_PLUGIN_FOLDER_WATCHER_H_
#define TARVEX_PLUGIN_FOLDER_WATCHER_H_

#include <cstdint>
#include <functional>

#include "host/host.h"
#include "plugin/subscription.h"

namespace tarvex {

class FolderWatcher {
 public:
  using NewMessageHandler = std::function<void(int32_t messageId, FolderWatcher& watcher)>;

  // Subscribes to the folder's events. Raises HostError.
  FolderWatcher(HostLibrary& library, HostRef<HostFolder> folder, NewMessageHandler onNewMessage);
  // Unsubscribes from the folder. Raises HostError.
  void Detach();
  // Detaches quietly if that was not done.
  ~FolderWatcher();
  FolderWatcher(const FolderWatcher&) = delete;
  FolderWatcher& operator=(const FolderWatcher&) = delete;

  HostFolder& folder() const { return *folder_; }

 private:
  HostRef<HostFolder> folder_;
  HostRef<Subscription> subscription_;
};

}  // namespace tarvex

#endif  // TARVEX_PLUGIN_FOLDER_WATCHER_H_
