#include "ui/settings_dialog.h"

#include <cstdint>
#include <string>

#include "ui/folder_dialogs.h"
#include "ui/save_failure.h"

namespace tarvex {

const DialogTemplate& SettingsDialog::Layout() {
  using K = ControlKind;
  static const DialogTemplate layout{
      kResourceId,
      "Settings",
      281,
      273,
      {
          // The text of a bitmap control names its image.
          {kBanner, K::kBitmap, "banner", 7, 7, 268, 44},
          {kGeneralFrame, K::kGroupBox, "General Settings", 7, 54, 267, 82},
          {kMarkRead, K::kCheckBox,
           std::string("When moving spam to the ") + kSpamFolderName + " Folder mark it as read.",
           17, 70, 205, 10},
          {kNonEnglish, K::kCheckBox, "Consider Mail having Non-English Characters as Spam.", 17,
           86, 189, 10},
          {kBeep, K::kCheckBox, "Beep When a Mail is Marked Spam", 17, 102, 127, 10},
          {kAskDestination, K::kCheckBox, "Display Select Destination Folder", 17, 119, 119, 10},
          {kBayesFrame, K::kGroupBox, "Bayesian Filter Settings", 7, 141, 267, 107},
          {kLearnSpam, K::kCheckBox, "Learn from the mails Marked Spam by you.", 16, 155, 149, 10},
          {kLearnNotSpam, K::kCheckBox, "Learn from the mails Marked Not Spam by you.", 16, 170,
           163, 10},
          {kLearnBlackListed, K::kCheckBox, "Learn from Blacklisted Mails", 15, 185, 103, 10},
          {kLearnWhiteListed, K::kCheckBox, "Learn from Whitelisted Mails", 15, 200, 104, 10},
          {kEmptyDatabase, K::kButton, "Empty Bayesian DB", 15, 216, 106, 14},
          // Replaced by the count when the dialog opens.
          {kWordCount, K::kStatic, "Total Words in Database : ", 15, 235, 248, 8},
          {kIdOk, K::kDefaultButton, "OK", 169, 252, 50, 14},
          {kIdCancel, K::kButton, "Cancel", 224, 252, 50, 14},
      }};
  return layout;
}

void SettingsDialog::OnInitDialog(DialogView& view) {
  view.MakeTopmost();
  ReadSettings();
  // The count is shown signed, as it always has been.
  DatabaseStats stats;
  ops_.Stats(&stats);
  const int32_t words = static_cast<int32_t>(stats.words);
  view.SetText(kWordCount, "Total Words in Bayesian Database : " + std::to_string(words));
  ShowBoxes(view);
}

void SettingsDialog::OnCommand(DialogView& view, int control) {
  switch (control) {
    case kIdOk:
      ReadBoxes(view);
      WriteSettings();
      view.EndDialog(kIdOk);
      break;
    case kEmptyDatabase:
      EmptyDatabase(view);
      break;
    default:
      DialogPresenter::OnCommand(view, control);
  }
}

// The settings are read and written in fixed orders, which differ; both are
// kept as they are, since a store may log or watch its accesses.
bool SettingsDialog::Option(const SettingInfo& s) {
  SettingValue value;
  ops_.GetSetting(s.name, &value);
  return value.on;
}

void SettingsDialog::SetOption(const SettingInfo& s, bool on) {
  SettingValue value;
  value.on = on;
  ops_.SetSetting(s.name, value);
}

void SettingsDialog::ReadSettings() {
  using namespace setting;
  beepAtSpam = Option(kBeepAtSpam);
  learnFromMarkSpam = Option(kLearnFromMarkSpam);
  learnFromNotSpam = Option(kLearnFromNotSpam);
  markReadBeforeMoving = Option(kMarkReadBeforeMoving);
  considerNonEnglishSpam = Option(kConsiderNonEnglishSpam);
  learnFromBlackListed = Option(kLearnFromBlackListed);
  learnFromWhiteListed = Option(kLearnFromWhiteListed);
  SettingValue folder;
  ops_.GetSetting(kNotSpamFolderName.name, &folder);
  askDestinationFolder = folder.text.empty();
}

void SettingsDialog::WriteSettings() {
  using namespace setting;
  SetOption(kBeepAtSpam, beepAtSpam);
  SetOption(kConsiderNonEnglishSpam, considerNonEnglishSpam);
  SetOption(kLearnFromMarkSpam, learnFromMarkSpam);
  SetOption(kLearnFromNotSpam, learnFromNotSpam);
  SetOption(kMarkReadBeforeMoving, markReadBeforeMoving);
  SetOption(kLearnFromBlackListed, learnFromBlackListed);
  SetOption(kLearnFromWhiteListed, learnFromWhiteListed);
  // An empty name makes the next "Not Spam" ask for the folder again; a folder
  // chosen earlier is not remembered here, so clearing the box means the inbox.
  SettingValue folder;
  if (!askDestinationFolder) folder.text = kDefaultNotSpamFolder;
  ops_.SetSetting(kNotSpamFolderName.name, folder);
}

const SettingsDialog::Box SettingsDialog::kBoxes[] = {
    {&setting::kMarkReadBeforeMoving, &SettingsDialog::markReadBeforeMoving},
    {&setting::kConsiderNonEnglishSpam, &SettingsDialog::considerNonEnglishSpam},
    {&setting::kBeepAtSpam, &SettingsDialog::beepAtSpam},
    {&setting::kNotSpamFolderName, &SettingsDialog::askDestinationFolder},
    {&setting::kLearnFromMarkSpam, &SettingsDialog::learnFromMarkSpam},
    {&setting::kLearnFromNotSpam, &SettingsDialog::learnFromNotSpam},
    {&setting::kLearnFromBlackListed, &SettingsDialog::learnFromBlackListed},
    {&setting::kLearnFromWhiteListed, &SettingsDialog::learnFromWhiteListed},
};

void SettingsDialog::ShowBoxes(DialogView& view) const {
  for (const Box& box : kBoxes) view.SetCheck(box.setting->dialogControl, this->*box.checked);
}

void SettingsDialog::ReadBoxes(const DialogView& view) {
  for (const Box& box : kBoxes) this->*box.checked = view.GetCheck(box.setting->dialogControl);
}

void SettingsDialog::EmptyDatabase(DialogView& view) {
  if (view.MessageBox(kEmptyQuestion, kDialogBoxCaption, mb::kYesNo) != mb::kIdYes) {
    return;
  }
  uint32_t removed = 0;
  ops_.EmptyDatabase(&removed);  // takes effect now, whatever ends the dialog
  view.MessageBox(kEmptied, kDialogBoxCaption, mb::kOk);
  // The word count line keeps the count read at opening.
}

void OpenSettingsDialog(UserInterface& ui, Operations& ops) {
  SettingsDialog dialog(ops);
  ui.RunModal(dialog);
}

}  // namespace tarvex
