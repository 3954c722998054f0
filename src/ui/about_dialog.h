// The "About" box: the product's icon, name and version. Close and Escape
// close it.
#ifndef TARVEX_UI_ABOUT_DIALOG_H_
#define TARVEX_UI_ABOUT_DIALOG_H_

#include "ui/dialog.h"

namespace tarvex {

class AboutDialog : public DialogPresenter {
 public:
  static constexpr int kResourceId = 1017;
  static constexpr int kProductIconResource = 1014;
  static constexpr int kIcon = 1500;
  static constexpr int kName = 1501;
  static constexpr int kFrame = 1502;
  static constexpr int kFramedName = 1503;
  static constexpr int kClose = kIdCancel;
  // The product's name and version, shown beside the icon and again in the
  // frame.
  static constexpr char kProductLine[] = "Tarvex v1.2";

  static const DialogTemplate& Layout();
  const DialogTemplate& Template() const override { return Layout(); }
  void OnInitDialog(DialogView&) override {}
};

}  // namespace tarvex

#endif  // TARVEX_UI_ABOUT_DIALOG_H_
