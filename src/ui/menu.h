// Pop-up menus as data, for the user interface to show.
#ifndef TARVEX_UI_MENU_H_
#define TARVEX_UI_MENU_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex {

// An item; a separator has id 0 and no text.
struct MenuItem {
  uint32_t id;
  std::string text;
  bool separator() const { return id == 0 && text.empty(); }
};

struct Menu {
  uint32_t resourceId;
  std::vector<MenuItem> items;
};

// A rectangle in screen coordinates.
struct ScreenRect {
  int left, top, right, bottom;
};

}  // namespace tarvex

#endif  // TARVEX_UI_MENU_H_
