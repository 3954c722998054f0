#include "ui/dialog.h"

#include <algorithm>
#include <cctype>

namespace tarvex {

bool TakesFocus(ControlKind kind) {
  switch (kind) {
    case ControlKind::kStatic:
    case ControlKind::kGroupBox:
    case ControlKind::kBitmap:
    case ControlKind::kIcon:
      return false;
    default:
      return true;
  }
}

bool SortsBefore(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) <
           std::tolower(static_cast<unsigned char>(y));
  });
}

void DialogPresenter::OnCommand(DialogView& view, int control) {
  if (control == kIdOk || control == kIdCancel) view.EndDialog(control);
}

}  // namespace tarvex
