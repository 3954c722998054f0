// The plug-in's hold on one watched folder: the folder whose new messages it
// hands to the classifier.
#ifndef TARVEX_HOST_FOLDER_WATCHER_H_
#define TARVEX_HOST_FOLDER_WATCHER_H_

#include "host/host.h"

namespace tarvex {

class FolderWatcher {
 public:
  explicit FolderWatcher(HostRef<HostFolder> folder) : folder_(std::move(folder)) {}
  virtual ~FolderWatcher() = default;
  HostFolder& folder() const { return *folder_; }

 private:
  HostRef<HostFolder> folder_;
};

}  // namespace tarvex

#endif  // TARVEX_HOST_FOLDER_WATCHER_H_
