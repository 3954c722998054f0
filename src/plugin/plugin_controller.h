// The plug-in's binding to the mail client: the hidden window that receives
// timer ticks and commands, the subscriptions to the host's events, the
// watched folders, and the host operations the user's commands are built on.
#ifndef TARVEX_PLUGIN_PLUGIN_CONTROLLER_H_
#define TARVEX_PLUGIN_PLUGIN_CONTROLLER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/host.h"
#include "platform/event_loop.h"
#include "plugin/folder_watcher.h"
#include "plugin/message_actions.h"
#include "plugin/subscription.h"
#include "ui/toolbar.h"
#include "ui/user_interface.h"

namespace tarvex {

// What the controller asks of the application that owns it.
class PluginClient {
 public:
  virtual ~PluginClient() = default;
  // A message arrived in a watched folder. May raise HostError.
  virtual void ClassifyNewMessage(int32_t messageId, FolderWatcher& watcher) = 0;
  // A toolbar button or menu item was chosen.
  virtual void OnCommand(uint32_t command) = 0;
};

class PluginController : public MessageWindow, public ToolbarParent {
 public:
  static constexpr uint32_t kToolbarTimerId = 1999;
  static constexpr uint32_t kToolbarTimerPeriodMs = 1000;

  // Creates the HostInit and HostFolderManager objects and subscribes to them;
  // their events are ignored until Start. Raises HostError.
  PluginController(HostLibrary& library, UserInterface& ui, EventLoop& loop);
  // Runs OnHostShutdown, then releases every subscription.
  ~PluginController() override;

  // Creates the hidden window and links the subscriptions to client.
  void Start(PluginClient* client);
  // Closes the hidden window, removes the toolbar and ends the start-up
  // subscription; host failures are reported and end Stop at that step.
  void Stop();

  // "OnInitOEAPI": connects the host's api and toolbar, makes sure the spam
  // folder exists and watches the Inbox and the user's folders.
  void OnHostInitialized();
  // "OnShutdownOEAPI": drops the watchers, the toolbar and the api.
  void OnHostShutdown();
  void HandleNewMessage(int32_t messageId, FolderWatcher& watcher);
  // The toolbar timer's tick: once the host toolbar has its window, fills it
  // with the plug-in's buttons (unless it has buttons already) and stops.
  void BuildToolbarButtons(uint32_t timerId);

  // ToolbarParent: clicks come back as commands of the hidden window, the
  // drop-down arrow shows the button's menu.
  void OnToolbarCommand(uint32_t command) override { PostCommand(command); }
  int OnToolbarDropDown(uint32_t command) override;

  // ------------------------------------------------------------ host operations
  // Each reports a host failure through the error report where it says so;
  // the others pass it to the caller.

  // The selected messages of the current folder; reported, ids so far kept.
  std::vector<int32_t> GetSelectedMessageIds();
  int32_t GetCurrentFolderId();
  // Reported; null then.
  HostRef<HostMessage> GetMessageInFolder(int32_t messageId, int32_t folderId);
  // The message of the current folder; a missing one is the invalid-pointer failure.
  HostRef<HostMessage> GetCurrentMessage(int32_t messageId);
  // "X-TVX-LEARN" of a message of the current folder, empty when absent.
  std::string GetLearnHeader(int32_t messageId);
  void SetHeaderById(int32_t messageId, const std::string& name, const std::string& value);
  // The id of the folder named name; none is the invalid-pointer failure.
  int32_t FindFolderIdByName(const std::string& name);
  // Appends every folder name but "Local Folders"; reported; always true.
  bool ListFolderNames(std::vector<std::string>* names);

  // The spam folder made sure of when the host started.
  SpamFolder& spamFolder() { return spamFolder_; }
  HostApi* api() const;
  HostFolderManager* folderManager() const;
  HostToolbar* toolbar() const;
  UserInterface& ui() const { return ui_; }
  const DropDownToolBar& dropDownToolBar() const { return dropDown_; }
  const ImageList& imageList() const { return images_; }
  const std::vector<std::unique_ptr<FolderWatcher>>& watchedFolders() const {
    return watchedFolders_;
  }

 protected:
  void OnTimer(uint32_t id) override;
  void OnCommand(uint32_t command) override;

 private:
  void ConnectHost();
  void EnsureSpamFolder();
  void WatchFolders();
  void Watch(HostRef<HostFolder> folder);
  void ReleaseAll();

  HostLibrary& library_;
  UserInterface& ui_;
  HostRef<Subscription> startup_;
  HostRef<Subscription> api_;
  std::vector<std::unique_ptr<FolderWatcher>> watchedFolders_;
  HostRef<Subscription> folderManager_;
  ImageList images_;
  DropDownToolBar dropDown_;
  HostRef<Subscription> toolbar_;
  PluginClient* client_ = nullptr;
  SpamFolder spamFolder_;
};

}  // namespace tarvex

#endif  // TARVEX_PLUGIN_PLUGIN_CONTROLLER_H_
