// The "Settings" dialog: the user's options, the size of the Bayesian word
// database and a button that empties it.
#ifndef TARVEX_UI_SETTINGS_DIALOG_H_
#define TARVEX_UI_SETTINGS_DIALOG_H_

#include <cstdint>

#include "ops/operations.h"
#include "settings/filter_settings.h"
#include "ui/dialog.h"
#include "ui/user_interface.h"

namespace tarvex {

// Reads the options when it opens and writes them all back on OK; Cancel
// writes nothing. Emptying the database happens at once, when the user
// confirms it, and Cancel does not undo it. The word count shown is the one
// read at opening; emptying does not refresh it. Nothing is validated, and a
// missing settings key is not reported (the options then read as off and
// nothing is written).
class SettingsDialog : public DialogPresenter {
 public:
  static constexpr int kResourceId = 230;
  static constexpr int kBanner = 1400;
  static constexpr int kGeneralFrame = 1401;
  static constexpr int kMarkRead = setting::kMarkReadBeforeMoving.dialogControl;
  static constexpr int kNonEnglish = setting::kConsiderNonEnglishSpam.dialogControl;
  static constexpr int kBeep = setting::kBeepAtSpam.dialogControl;
  static constexpr int kAskDestination = setting::kNotSpamFolderName.dialogControl;
  static constexpr int kBayesFrame = 1406;
  static constexpr int kLearnSpam = setting::kLearnFromMarkSpam.dialogControl;
  static constexpr int kLearnNotSpam = setting::kLearnFromNotSpam.dialogControl;
  static constexpr int kLearnBlackListed = setting::kLearnFromBlackListed.dialogControl;
  static constexpr int kLearnWhiteListed = setting::kLearnFromWhiteListed.dialogControl;
  static constexpr int kEmptyDatabase = 1411;
  static constexpr int kWordCount = 1412;

  // The folder a message marked as not spam goes to when the destination
  // dialog is switched off here.
  static constexpr char kDefaultNotSpamFolder[] = "Inbox";
  // What the dialog asks before emptying the database, and says after, even
  // when the emptied database could not be saved.
  static constexpr char kEmptyQuestion[] = "Are you sure you want to empty the Database?";
  static constexpr char kEmptied[] = "Database Empty";

  // The options and the database are reached through the user's operations.
  explicit SettingsDialog(Operations& ops) : ops_(ops) {}

  static const DialogTemplate& Layout();
  const DialogTemplate& Template() const override { return Layout(); }
  void OnInitDialog(DialogView& view) override;
  void OnCommand(DialogView& view, int control) override;

  // The check boxes, filled at initialisation and read back at OK.
  bool markReadBeforeMoving = false;
  bool considerNonEnglishSpam = false;
  bool beepAtSpam = false;
  bool askDestinationFolder = false;  // no NotSpamFolderName stored
  bool learnFromMarkSpam = false;
  bool learnFromNotSpam = false;
  bool learnFromBlackListed = false;
  bool learnFromWhiteListed = false;

 private:
  void ReadSettings();
  void WriteSettings();
  // Each box's member, by the setting it shows.
  struct Box {
    const SettingInfo* setting;
    bool SettingsDialog::*checked;
  };
  static const Box kBoxes[];

  void ShowBoxes(DialogView& view) const;
  void ReadBoxes(const DialogView& view);
  void EmptyDatabase(DialogView& view);

  bool Option(const SettingInfo& s);
  void SetOption(const SettingInfo& s, bool on);

  Operations& ops_;
};

// Shows the settings dialog modally; its result is of no interest. A failed
// save when emptying is shown as every failed save is.
void OpenSettingsDialog(UserInterface& ui, Operations& ops);

}  // namespace tarvex

#endif  // TARVEX_UI_SETTINGS_DIALOG_H_
