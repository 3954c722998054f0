// The toolbar's commands in a window that is a daemon's client: each runs in
// the window, its dialogs too, against the daemon's operations, on the
// window's folder and selection; what the daemon showed meanwhile is shown
// by the operations on the window's interface.
#ifndef TARVEX_DESKTOP_CLIENT_COMMANDS_H_
#define TARVEX_DESKTOP_CLIENT_COMMANDS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ops/operations.h"
#include "ui/plugin_toolbar.h"
#include "ui/toolbar.h"
#include "ui/user_interface.h"

namespace tarvex::desktop {

// What a command acts on: the folder shown, by id and name, and the
// messages selected in it.
struct WindowSelection {
  int32_t folder = 0;
  std::string folderName;
  std::vector<int32_t> messages;
};

class ClientCommands : public ToolbarParent {
 public:
  ClientCommands(Operations& ops, UserInterface& ui, std::function<WindowSelection()> selection);

  // Fills the toolbar with the plug-in's buttons, whose commands come here.
  void Attach(ToolbarControl& toolbar);
  void Run(uint32_t command);

  // ToolbarParent.
  void OnToolbarCommand(uint32_t command) override { Run(command); }
  int OnToolbarDropDown(uint32_t command) override;

  // Told how a training run gets on.
  Progress onProgress;

 private:
  void MarkSpam(const WindowSelection& at);
  void NotSpam(const WindowSelection& at);
  void Train();
  void ShowMailHeaders(const WindowSelection& at);
  void OpenList(ListId list);
  // Shows a failure the daemon answered with; true when there was none.
  bool Done(const Status& status);

  Operations& ops_;
  UserInterface& ui_;
  std::function<WindowSelection()> selection_;
  ImageList images_ = ToolbarImages();
  DropDownToolBar dropDown_;
};

}  // namespace tarvex::desktop

#endif  // TARVEX_DESKTOP_CLIENT_COMMANDS_H_
