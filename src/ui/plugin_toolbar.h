// The plug-in's toolbar: seven buttons, the last of which opens a menu, and
// the command ids through which buttons and menu items reach the plug-in.
#ifndef TARVEX_UI_PLUGIN_TOOLBAR_H_
#define TARVEX_UI_PLUGIN_TOOLBAR_H_

#include <array>
#include <cstdint>
#include <string>

#include "ui/menu.h"
#include "ui/toolbar.h"

namespace tarvex {

namespace command {
constexpr uint32_t kMarkSpam = 600, kNotSpam = 601, kBlackList = 602, kWhiteList = 603,
                   kTrainFilter = 604, kMailHeaders = 605, kSettingsMenu = 606;
constexpr uint32_t kSettings = 32771, kHelp = 32772, kAbout = 32773, kSupport = 32774;
}  // namespace command

struct PluginButton {
  uint32_t command;
  const char* text;
  int iconResource;
  uint8_t style;
};

// In toolbar order: button index = image index = string index.
inline constexpr std::array<PluginButton, 7> kPluginButtons = {{
    {command::kMarkSpam, "Mark Spam", 1009, tb::kStyleAutoSize},
    {command::kNotSpam, "Not Spam", 1008, tb::kStyleAutoSize},
    {command::kBlackList, "BlackList", 1001, tb::kStyleAutoSize},
    {command::kWhiteList, "WhiteList", 1004, tb::kStyleAutoSize},
    {command::kTrainFilter, "Train Filter", 1007, tb::kStyleAutoSize},
    {command::kMailHeaders, "Mail Headers", 1002, tb::kStyleAutoSize},
    {command::kSettingsMenu, "Settings", 1003, tb::kStyleAutoSize | tb::kStyleWholeDropDown},
}};

constexpr uint32_t kSettingsMenuResource = 1010;
constexpr int kProductIconResource = 1014;

// The button texts as the toolbar takes them: each ended by a zero byte, the
// list by another.
std::string ToolbarStrings();
// The seven button icons, in button order.
ImageList ToolbarImages();
// Puts the seven buttons with their texts on window, its clicks going to
// parent, with images (kept by the caller) as its images.
void FillToolbar(ToolbarControl& window, ToolbarParent& parent, const ImageList& images);
// Menu resource 1010: Settings, Support, Help, a separator, About.
const Menu& SettingsMenu();
// The menu with that resource id; null when there is none.
const Menu* MenuResource(uint32_t resourceId);
// The file of an icon resource under the resources folder.
const char* IconFile(int resourceId);

}  // namespace tarvex

#endif  // TARVEX_UI_PLUGIN_TOOLBAR_H_
