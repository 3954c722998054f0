#include "ui/toolbar.h"

namespace tarvex {

void DropDownToolBar::SetDropDownMenu(uint32_t command, uint32_t menuId) {
  if (!toolbar_ || toolbar_->CommandToIndex(command) < 0) return;
  menuOf_[command] = menuId;
}

void DropDownToolBar::ShowDropDownMenu(uint32_t command) {
  auto entry = menuOf_.find(command);
  if (entry == menuOf_.end() || !toolbar_) return;
  const Menu* menu = menus_(entry->second & 0xFFFF);
  if (!menu) return;
  const uint32_t chosen = ui_.ShowPopupMenu(*menu, toolbar_->ButtonRect(command));
  if (chosen != 0) choose_(chosen);
}

}  // namespace tarvex
