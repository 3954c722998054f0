// What the system asks of whoever shows it to the user. Front ends implement
// it; tests record what was shown and script the answers.
#ifndef TARVEX_UI_USER_INTERFACE_H_
#define TARVEX_UI_USER_INTERFACE_H_

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "ui/menu.h"

namespace tarvex {

class DialogPresenter;

// Message box styles and answers, with the values the Windows API gives them.
namespace mb {
constexpr uint32_t kOk = 0x0;
constexpr uint32_t kYesNo = 0x4;
constexpr uint32_t kIconError = 0x10;
constexpr uint32_t kIconQuestion = 0x20;
constexpr uint32_t kIconExclamation = 0x30;
constexpr uint32_t kIconInformation = 0x40;
constexpr uint32_t kSetForeground = 0x10000;
constexpr uint32_t kTopmost = 0x40000;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
}  // namespace mb

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Shows text under caption and returns the button the user chose.
  virtual int MessageBox(const std::string& text, const std::string& caption, uint32_t style) = 0;
  // Shows a failed host call: text in a message box with only an OK button,
  // as MessageBox does. details is the host's own account of the failure
  // (the file, the operation, the system's reason), for front ends that also
  // keep a log or print errors; the box never shows it.
  virtual void ShowHostError(const std::string& text, const std::string& caption,
                             const std::string& details) {
    (void)details;
    MessageBox(text, caption, mb::kOk);
  }
  // Plays the system sound of a message box type (mb::kIconExclamation...).
  virtual void Beep(uint32_t type) = 0;
  // Shows the dialog and returns when it ends, with its result (kIdOk,
  // kIdCancel ...). Other events may be handled while it is open.
  virtual int RunModal(DialogPresenter& dialog) = 0;
  // Shows a pop-up menu below `button` (its top left corner at the button's
  // left and bottom edges, never covering the button) and returns the chosen
  // item's id, 0 when the menu was dismissed.
  virtual uint32_t ShowPopupMenu(const Menu& menu, const ScreenRect& button) = 0;
  // Opens a web or file address with the desktop's "open" action, without
  // waiting for it or looking at its result.
  virtual void OpenAddress(const std::string& address) = 0;
};

// Records every message box and answers from a script (OK when it runs dry).
class RecordingUi : public UserInterface {
 public:
  struct Box {
    std::string text, caption;
    uint32_t style;
  };
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override {
    boxes.push_back({text, caption, style});
    if (answers.empty()) return mb::kIdOk;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void Beep(uint32_t type) override { beeps.push_back(type); }
  // Dialogs are not shown: they end as cancelled; menus are dismissed.
  int RunModal(DialogPresenter&) override { return 2; }
  uint32_t ShowPopupMenu(const Menu&, const ScreenRect&) override { return 0; }
  void OpenAddress(const std::string& address) override { addresses.push_back(address); }

  std::vector<Box> boxes;
  std::vector<uint32_t> beeps;
  std::vector<std::string> addresses;
  std::deque<int> answers;
};

}  // namespace tarvex

#endif  // TARVEX_UI_USER_INTERFACE_H_
