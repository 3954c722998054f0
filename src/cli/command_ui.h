// What the user of one command is shown: the lines of the message boxes,
// kept in order for the command to print when it ends. The command line runs
// no dialogs; one that still comes up ends at once as cancelled.
#ifndef TARVEX_CLI_COMMAND_UI_H_
#define TARVEX_CLI_COMMAND_UI_H_

#include <string>
#include <vector>

#include "plugin/host_error_report.h"
#include "ui/user_interface.h"

namespace tarvex {

class CommandUi : public UserInterface {
 public:
  struct Line {
    std::string text;  // "caption: text (details)"
    bool error;
  };

  // A box outside any dialog reports an error; the user's answer is OK.
  int MessageBox(const std::string& text, const std::string& caption, uint32_t) override {
    lines_.push_back({HostErrorLine(text, caption, ""), true});
    return mb::kIdOk;
  }
  void ShowHostError(const std::string& text, const std::string& caption,
                     const std::string& details) override {
    lines_.push_back({HostErrorLine(text, caption, details), true});
  }
  void Beep(uint32_t) override {}
  int RunModal(DialogPresenter&) override { return mb::kIdCancel; }
  uint32_t ShowPopupMenu(const Menu&, const ScreenRect&) override { return 0; }
  void OpenAddress(const std::string&) override {}

  // What a dialog would have told its user in a box under caption; an error
  // when it refused what the command asked.
  void Say(const std::string& text, const std::string& caption, bool error) {
    lines_.push_back({HostErrorLine(text, caption, ""), error});
  }

  const std::vector<Line>& lines() const { return lines_; }

 private:
  std::vector<Line> lines_;
};

}  // namespace tarvex

#endif  // TARVEX_CLI_COMMAND_UI_H_
