// The application object: owns the Bayesian filter and the sender lists for
// the module's whole life, and the binding to the mail client.
#ifndef TARVEX_APP_FILTER_APP_H_
#define TARVEX_APP_FILTER_APP_H_

#include <cstdint>
#include <memory>

#include "bayes/bayes_filter.h"
#include "classify/classifier.h"
#include "host/folder_watcher.h"
#include "host/host.h"
#include "lists/sender_lists.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "settings/filter_settings.h"
#include "ui/user_interface.h"

namespace tarvex {

// Everything the application reaches outside itself.
struct AppServices {
  const Clock& clock;
  FileSystem& fs;
  SettingsStore& settings;
  UserInterface& ui;
  HostLibrary& host;
};

class FilterApp {
 public:
  explicit FilterApp(const AppServices& services);
  virtual ~FilterApp();
  FilterApp(const FilterApp&) = delete;
  FilterApp& operator=(const FilterApp&) = delete;

  // Loads the blacklist, the whitelist, the word database and the ignore
  // words, and connects to the host's folders.
  bool InitInstance();
  int ExitInstance();

  // Classifies a message that arrived in the watcher's folder; reports host
  // failures itself.
  void ClassifyNewMessage(int32_t messageId, FolderWatcher& watcher);
  // The same, telling what happened.
  ClassifyResult Classify(int32_t messageId, HostFolder& folder);

  BayesFilter& bayesFilter() { return bayesFilter_; }
  SenderLists& lists() { return lists_; }
  const FilterSettings& settings() const { return settings_; }
  HostFolderManager* folderManager() { return folderManager_.get(); }

 private:
  AppServices services_;
  FilterSettings settings_;
  BayesFilter bayesFilter_;
  SenderLists lists_;
  HostRef<HostFolderManager> folderManager_;
};

}  // namespace tarvex

#endif  // TARVEX_APP_FILTER_APP_H_
