// A toolbar control held in memory: it records what the plug-in puts into it
// and lets tests press its buttons.
#ifndef TARVEX_TESTING_RECORDING_TOOLBAR_H_
#define TARVEX_TESTING_RECORDING_TOOLBAR_H_

#include <string>
#include <vector>

#include "ui/toolbar.h"

namespace tarvex {

class RecordingToolbar : public ToolbarControl {
 public:
  int ButtonCount() const override { return static_cast<int>(buttons.size()); }
  int CommandToIndex(uint32_t command) const override {
    for (size_t i = 0; i < buttons.size(); ++i) {
      if (buttons[i].command == command) return static_cast<int>(i);
    }
    return -1;
  }
  void SetParent(ToolbarParent* p) override { parent = p; }
  void AddStrings(const std::string& list) override { strings.push_back(list); }
  bool InsertButton(int index, const ToolbarButton& button) override {
    if (index < 0 || index > ButtonCount()) return false;
    buttons.insert(buttons.begin() + index, button);
    return true;
  }
  void SetImageList(const ImageList* images) override { imageList = images; }
  void SetHotImageList(const ImageList* images) override { hotImageList = images; }
  // Buttons are 40 x 30 pixels, side by side from the screen position (100, 50).
  ScreenRect ButtonRect(uint32_t command) const override {
    const int left = 100 + 40 * CommandToIndex(command);
    return {left, 50, left + 40, 80};
  }

  // The user presses button index: a drop-down button notifies the parent of
  // its arrow, any other sends its command.
  void Press(int index) {
    const ToolbarButton& button = buttons.at(static_cast<size_t>(index));
    if (!parent) return;
    if (button.style & tb::kStyleWholeDropDown) {
      parent->OnToolbarDropDown(button.command);
    } else {
      parent->OnToolbarCommand(button.command);
    }
  }

  std::vector<ToolbarButton> buttons;
  std::vector<std::string> strings;
  ToolbarParent* parent = nullptr;
  const ImageList* imageList = nullptr;
  const ImageList* hotImageList = nullptr;
};

}  // namespace tarvex

#endif  // TARVEX_TESTING_RECORDING_TOOLBAR_H_
