#include "ui/plugin_toolbar.h"

namespace tarvex {

std::string ToolbarStrings() {
  std::string list;
  for (const PluginButton& button : kPluginButtons) list.append(button.text).push_back('\0');
  list.push_back('\0');
  return list;
}

void FillToolbar(ToolbarControl& window, ToolbarParent& parent, const ImageList& images) {
  window.SetParent(&parent);
  window.AddStrings(ToolbarStrings());
  for (size_t i = 0; i < kPluginButtons.size(); ++i) {
    const int index = static_cast<int>(i);
    window.InsertButton(index, {index, index, kPluginButtons[i].command, tb::kStateEnabled,
                                kPluginButtons[i].style});
  }
  window.SetImageList(&images);
  window.SetHotImageList(&images);
}

ImageList ToolbarImages() {
  ImageList images;
  for (const PluginButton& button : kPluginButtons)
    images.resourceIds.push_back(button.iconResource);
  return images;
}

const Menu& SettingsMenu() {
  static const Menu menu{kSettingsMenuResource,
                         {{command::kSettings, "Settings"},
                          {command::kSupport, "Support"},
                          {command::kHelp, "Help"},
                          {0, ""},
                          {command::kAbout, "About"}}};
  return menu;
}

const Menu* MenuResource(uint32_t resourceId) {
  return resourceId == kSettingsMenuResource ? &SettingsMenu() : nullptr;
}

const char* IconFile(int resourceId) {
  switch (resourceId) {
    case 1001:
      return "icons/blacklist.png";
    case 1002:
      return "icons/mail-headers.png";
    case 1003:
      return "icons/settings.png";
    case 1004:
      return "icons/whitelist.png";
    case 1007:
      return "icons/train-filter.png";
    case 1008:
      return "icons/not-spam.png";
    case 1009:
      return "icons/mark-spam.png";
    case kProductIconResource:
      return "icons/tarvex.png";
    default:
      return nullptr;
  }
}

}  // namespace tarvex
