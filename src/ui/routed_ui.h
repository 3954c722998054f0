// A user interface that passes everything to another one, which can be
// swapped for the length of a command: the long-lived parts of the program
// keep one reference while each command brings the interface its user sees.
#ifndef TARVEX_UI_ROUTED_UI_H_
#define TARVEX_UI_ROUTED_UI_H_

#include <string>

#include "ui/user_interface.h"

namespace tarvex {

class RoutedUi : public UserInterface {
 public:
  explicit RoutedUi(UserInterface& fallback) : target_(&fallback) {}

  // Sends everything to ui while it lives; then back to what it was before.
  class Route {
   public:
    Route(RoutedUi& routed, UserInterface& ui) : routed_(routed), previous_(routed.target_) {
      routed.target_ = &ui;
    }
    ~Route() { routed_.target_ = previous_; }
    Route(const Route&) = delete;
    Route& operator=(const Route&) = delete;

   private:
    RoutedUi& routed_;
    UserInterface* previous_;
  };

  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override {
    return target_->MessageBox(text, caption, style);
  }
  void ShowHostError(const std::string& text, const std::string& caption,
                     const std::string& details) override {
    target_->ShowHostError(text, caption, details);
  }
  void Beep(uint32_t type) override { target_->Beep(type); }
  int RunModal(DialogPresenter& dialog) override { return target_->RunModal(dialog); }
  uint32_t ShowPopupMenu(const Menu& menu, const ScreenRect& button) override {
    return target_->ShowPopupMenu(menu, button);
  }
  void OpenAddress(const std::string& address) override { target_->OpenAddress(address); }

 private:
  UserInterface* target_;
};

}  // namespace tarvex

#endif  // TARVEX_UI_ROUTED_UI_H_
