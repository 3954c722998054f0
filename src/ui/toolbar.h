// The mail client's toolbar as the plug-in drives it, and the plug-in's own
// wrapper around it that adds a drop-down menu to a button.
#ifndef TARVEX_UI_TOOLBAR_H_
#define TARVEX_UI_TOOLBAR_H_

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/menu.h"
#include "ui/user_interface.h"

namespace tarvex {

// A list of 16 x 16 images, by resource id, in the order they were added.
struct ImageList {
  int width = 16, height = 16;
  std::vector<int> resourceIds;
};

// Button states and styles, with the values of the toolbar control.
namespace tb {
constexpr uint8_t kStateEnabled = 0x04;
constexpr uint8_t kStyleAutoSize = 0x10;
constexpr uint8_t kStyleWholeDropDown = 0x80;
}  // namespace tb

struct ToolbarButton {
  int image;
  int string;
  uint32_t command;
  uint8_t state;
  uint8_t style;
};

// Where the toolbar sends what the user does with it.
class ToolbarParent {
 public:
  virtual ~ToolbarParent() = default;
  // A button was clicked.
  virtual void OnToolbarCommand(uint32_t command) = 0;
  // The arrow of a drop-down button was pressed; the answer 0 means default handling.
  virtual int OnToolbarDropDown(uint32_t command) = 0;
};

// The toolbar control in the mail client's window.
class ToolbarControl {
 public:
  virtual ~ToolbarControl() = default;
  virtual int ButtonCount() const = 0;
  // The index of the button with that command, -1 when none.
  virtual int CommandToIndex(uint32_t command) const = 0;
  virtual void SetParent(ToolbarParent* parent) = 0;
  // Texts each ended by a zero byte, the list ended by another one.
  virtual void AddStrings(const std::string& list) = 0;
  virtual bool InsertButton(int index, const ToolbarButton& button) = 0;
  virtual void SetImageList(const ImageList* images) = 0;
  virtual void SetHotImageList(const ImageList* images) = 0;
  // The button's rectangle in screen coordinates.
  virtual ScreenRect ButtonRect(uint32_t command) const = 0;
};

// Wraps the toolbar window (without owning it) and shows a menu for
// drop-down buttons. The menu's choice goes to `choose`, as a command.
class DropDownToolBar {
 public:
  using MenuSource = std::function<const Menu*(uint32_t resourceId)>;
  DropDownToolBar(UserInterface& ui, MenuSource menus, std::function<void(uint32_t)> choose)
      : ui_(ui), menus_(std::move(menus)), choose_(std::move(choose)) {}

  void Attach(ToolbarControl* toolbar) { toolbar_ = toolbar; }
  void Detach() { toolbar_ = nullptr; }
  ToolbarControl* toolbar() const { return toolbar_; }

  // Remembers menuId for the button with command; nothing when the toolbar has
  // no such button.
  void SetDropDownMenu(uint32_t command, uint32_t menuId);
  // Shows the button's menu below it; nothing when it has none.
  virtual void ShowDropDownMenu(uint32_t command);
  virtual ~DropDownToolBar() = default;

  const std::map<uint32_t, uint32_t>& menus() const { return menuOf_; }

 private:
  UserInterface& ui_;
  MenuSource menus_;
  std::function<void(uint32_t)> choose_;
  ToolbarControl* toolbar_ = nullptr;
  std::map<uint32_t, uint32_t> menuOf_;  // command -> menu resource id
};

}  // namespace tarvex

#endif  // TARVEX_UI_TOOLBAR_H_
