#include "ui/save_failure.h"

namespace tarvex {

Status ReportSaveFailure(UserInterface& ui, const Status& saved, const std::string& path) {
  if (!saved.ok()) {
    ui.MessageBox("Cannot save database (" + path + ")", "Bayesian Plugin Error",
                  mb::kIconExclamation | mb::kSetForeground | mb::kTopmost);
  }
  return saved;
}

}  // namespace tarvex
