#include "ui/about_dialog.h"

#include <string>

namespace tarvex {

const DialogTemplate& AboutDialog::Layout() {
  using K = ControlKind;
  static const DialogTemplate layout{
      kResourceId,
      "About",
      232,
      114,
      {
          // The text of an icon control names its icon; "#n" is resource number n.
          {kIcon, K::kIcon, "#" + std::to_string(kProductIconResource), 11, 10, 20, 20},
          {kName, K::kStatic, kProductLine, 40, 16, 100, 8},
          {kFrame, K::kGroupBox, "", 7, 38, 218, 48},
          // Spans the frame's inside with equal margins on both sides.
          {kFramedName, K::kStatic, kProductLine, 17, 58, 198, 8, ctl::kCenter},
          {kClose, K::kButton, "Close", 175, 93, 50, 14},
      }};
  return layout;
}

}  // namespace tarvex
