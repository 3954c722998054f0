#include "ui/folder_dialogs.h"

namespace tarvex {

// TrainingDialog

const DialogTemplate& TrainingDialog::Layout() {
  using K = ControlKind;
  static const DialogTemplate layout{
      kResourceId,
      "Train the Bayesian filter",
      296,
      129,
      {
          {kFrame, K::kGroupBox, "Select Training folders", 7, 7, 282, 98},
          {kSpamLabel, K::kStatic, "Select Folders containing Spam mails", 18, 22, 118, 8},
          {kSpamText, K::kEdit, "", 18, 33, 239, 14, ctl::kAutoHScroll},
          {kSpamPick, K::kButton, "...", 262, 33, 22, 14},
          {kGoodLabel, K::kStatic, "Select Folders containing good mails", 17, 54, 116, 8},
          {kGoodText, K::kEdit, "", 17, 65, 239, 14, ctl::kAutoHScroll},
          {kGoodPick, K::kButton, "...", 261, 65, 22, 14},
          {kEmptyFirst, K::kCheckBox, "Empty the current bayesian filter before starting", 17, 87,
           163, 10},
          {kStartTraining, K::kDefaultButton, "Start Training", 221, 108, 68, 14},
      }};
  return layout;
}

void TrainingDialog::OnInitDialog(DialogView& view) {
  view.SetText(kSpamText, spamText);
  view.SetText(kGoodText, goodText);
  view.SetCheck(kEmptyFirst, emptyFirst);
  view.MakeTopmost();
}

void TrainingDialog::OnCommand(DialogView& view, int control) {
  switch (control) {
    case kSpamPick:
      Pick(view, kSpamText, spamFolders, spamText);
      break;
    case kGoodPick:
      Pick(view, kGoodText, goodFolders, goodText);
      break;
    case kStartTraining:
      spamText = view.GetText(kSpamText);
      goodText = view.GetText(kGoodText);
      emptyFirst = view.GetCheck(kEmptyFirst);
      view.EndDialog(kIdOk);
      break;
    default:
      DialogPresenter::OnCommand(view, control);
  }
}

void TrainingDialog::Pick(DialogView& view, int textControl, std::vector<std::string>& folders,
                          std::string& text) {
  FolderPickDialog pick;
  for (const std::string& name : allFolders) pick.allFolders.push_back(name);
  if (ui_.RunModal(pick) != kIdOk) return;
  folders.clear();
  text.clear();
  for (const std::string& name : pick.chosenFolders) {
    folders.push_back(name);
    text += name + ";";
  }
  view.SetText(textControl, text);
}

// FolderPickDialog

const DialogTemplate& FolderPickDialog::Layout() {
  using K = ControlKind;
  static const DialogTemplate layout{kResourceId,
                                     "Select Folders",
                                     222,
                                     233,
                                     {
                                         {kLabel, K::kStatic, "Select Folders", 7, 7, 46, 8},
                                         {kFolderList, K::kListView, "", 7, 18, 208, 190,
                                          ctl::kReportView | ctl::kBorder | ctl::kFullRowSelect},
                                         {kIdOk, K::kDefaultButton, "OK", 111, 212, 50, 14},
                                         {kIdCancel, K::kButton, "Cancel", 165, 212, 50, 14},
                                     }};
  return layout;
}

void FolderPickDialog::OnInitDialog(DialogView& view) {
  view.EnableCheckBoxes(kFolderList);
  view.AddColumn(kFolderList, "Folder Name", kColumnWidthPixels);
  for (const std::string& name : allFolders) view.AddItem(kFolderList, name);
  view.MakeTopmost();
}

void FolderPickDialog::OnCommand(DialogView& view, int control) {
  if (control != kIdOk) {
    DialogPresenter::OnCommand(view, control);
    return;
  }
  bool any = false;
  const int rows = view.ItemCount(kFolderList);
  for (int row = 0; row < rows; ++row) {
    if (!view.ItemChecked(kFolderList, row)) continue;
    chosenFolders.push_back(view.ItemText(kFolderList, row));
    any = true;
  }
  if (any) {
    view.EndDialog(kIdOk);
  } else {
    view.MessageBox("Please Select atleast one folder", kDialogBoxCaption, mb::kOk);
  }
}

// DestinationFolderDialog

const DialogTemplate& DestinationFolderDialog::Layout() {
  using K = ControlKind;
  static const DialogTemplate layout{
      kResourceId,
      "Select Destination Folder",
      186,
      74,
      {
          {kLabel, K::kStatic, "Select Folder", 7, 9, 42, 8},
          {kFolderBox, K::kComboBox, "", 51, 7, 95, 158, ctl::kVScroll},
          {kPermanent, K::kCheckBox, "Don't display this dialog next time", 33, 32, 119, 10},
          {kIdOk, K::kDefaultButton, "OK", 31, 53, 50, 14},
          {kIdCancel, K::kButton, "Cancel", 105, 53, 50, 14},
      }};
  return layout;
}

void DestinationFolderDialog::OnInitDialog(DialogView& view) {
  view.MakeTopmost();
  for (const std::string& name : folderNames) view.AddItem(kFolderBox, name);
}

void DestinationFolderDialog::OnCommand(DialogView& view, int control) {
  if (control != kIdOk) {
    DialogPresenter::OnCommand(view, control);
    return;
  }
  dontShowAgain = view.GetCheck(kPermanent);
  const int selected = view.Selection(kFolderBox);
  if (selected < 0) {
    view.MessageBox("Please Select a folder", kDialogBoxCaption, mb::kOk);
    view.SetFocus(kFolderBox);
    return;
  }
  selectedIndex = selected;
  if (dontShowAgain) settings_.SetNotSpamFolderName(view.ItemText(kFolderBox, selected));
  view.EndDialog(kIdOk);
}

// RawHeadersDialog

const DialogTemplate& RawHeadersDialog::Layout() {
  using K = ControlKind;
  static const DialogTemplate layout{kResourceId,
                                     "Raw Mail Headers",
                                     282,
                                     234,
                                     {
                                         // The text of a bitmap control names its image.
                                         {kBanner, K::kBitmap, "banner", 7, 7, 268, 44},
                                         {kHeaders, K::kMultiLineEdit, "", 7, 55, 268, 152,
                                          ctl::kReadOnly | ctl::kVScroll | ctl::kBorder},
                                         {kClose, K::kButton, "Close", 225, 213, 50, 14},
                                     }};
  return layout;
}

void RawHeadersDialog::OnInitDialog(DialogView& view) {
  view.MakeTopmost();
  view.SetText(kHeaders, rawHeaderText);
}

}  // namespace tarvex
