#include "ui/dialog.h"

namespace tarvex {

void DialogPresenter::OnCommand(DialogView& view, int control) {
  if (control == kIdOk || control == kIdCancel) view.EndDialog(control);
}

}  // namespace tarvex
