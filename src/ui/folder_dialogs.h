// The dialogs of training on whole folders, of choosing where a message that
// is not spam goes, and of showing a message's raw headers. All are modal,
// top-most, and show their complaints in a plain box captioned "Tarvex".
#ifndef TARVEX_UI_FOLDER_DIALOGS_H_
#define TARVEX_UI_FOLDER_DIALOGS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "settings/filter_settings.h"
#include "ui/dialog.h"
#include "ui/user_interface.h"

namespace tarvex {

// Caption of the dialogs' message boxes.
inline constexpr char kDialogBoxCaption[] = "Tarvex";

// Choosing the folders of spam and of good mail to train the filter on. Each
// "..." button opens a FolderPickDialog over allFolders; a pick that ends with
// OK replaces that side's folders and text, a cancelled one changes nothing.
// "Start Training" (the dialog's OK) reads the edit boxes back into the texts
// (what the user typed there never reaches the folder sets) and the check box
// into emptyFirst. Nothing is validated: either set may be empty. There is no
// Cancel button; the close box and Escape cancel.
class TrainingDialog : public DialogPresenter {
 public:
  static constexpr int kResourceId = 210;
  static constexpr int kFrame = 1000;
  static constexpr int kSpamLabel = 1001;
  static constexpr int kSpamText = 1002;
  static constexpr int kSpamPick = 1003;
  static constexpr int kGoodLabel = 1004;
  static constexpr int kGoodText = 1005;
  static constexpr int kGoodPick = 1006;
  static constexpr int kEmptyFirst = 1007;
  static constexpr int kStartTraining = kIdOk;

  // The pickers open through ui.
  explicit TrainingDialog(UserInterface& ui) : ui_(ui) {}

  static const DialogTemplate& Layout();
  const DialogTemplate& Template() const override { return Layout(); }
  void OnInitDialog(DialogView& view) override;
  void OnCommand(DialogView& view, int control) override;

  std::string spamText;  // the chosen spam folders, each followed by ";"
  std::string goodText;
  std::vector<std::string> allFolders;  // filled by the opener
  std::vector<std::string> spamFolders;
  std::vector<std::string> goodFolders;
  bool emptyFirst = false;  // empty the filter before training

 private:
  void Pick(DialogView& view, int textControl, std::vector<std::string>& folders,
            std::string& text);

  UserInterface& ui_;
};

// A checked list of folders to choose from. OK takes the ticked rows from the
// top down, and stays open with a complaint when none is ticked.
class FolderPickDialog : public DialogPresenter {
 public:
  static constexpr int kResourceId = 211;
  static constexpr int kLabel = 1100;
  static constexpr int kFolderList = 1101;
  static constexpr int kColumnWidthPixels = 200;

  static const DialogTemplate& Layout();
  const DialogTemplate& Template() const override { return Layout(); }
  void OnInitDialog(DialogView& view) override;
  void OnCommand(DialogView& view, int control) override;

  std::vector<std::string> allFolders;     // the rows, in order
  std::vector<std::string> chosenFolders;  // appended to at OK
};

// Choosing the folder that a message marked as not spam moves to. OK needs a
// folder; with "Don't display this dialog next time" ticked it also stores the
// folder's name as the setting NotSpamFolderName, so the question is not asked
// again. Cancel stores nothing.
class DestinationFolderDialog : public DialogPresenter {
 public:
  static constexpr int kResourceId = 212;
  static constexpr int kLabel = 1200;
  static constexpr int kFolderBox = 1201;
  static constexpr int kPermanent = 1202;

  DestinationFolderDialog(std::vector<std::string>& folderNames, FilterSettings& settings)
      : folderNames(folderNames), settings_(settings) {}

  static const DialogTemplate& Layout();
  const DialogTemplate& Template() const override { return Layout(); }
  void OnInitDialog(DialogView& view) override;
  void OnCommand(DialogView& view, int control) override;

  std::vector<std::string>& folderNames;
  int32_t selectedIndex = -1;  // the chosen folder's position, set at OK
  bool dontShowAgain = false;  // the check box, read at OK

 private:
  FilterSettings& settings_;
};

// A message's raw headers, read-only. Close, Escape and Enter close it.
class RawHeadersDialog : public DialogPresenter {
 public:
  static constexpr int kResourceId = 213;
  static constexpr int kBanner = 1300;
  static constexpr int kHeaders = 1301;
  static constexpr int kClose = kIdCancel;

  static const DialogTemplate& Layout();
  const DialogTemplate& Template() const override { return Layout(); }
  void OnInitDialog(DialogView& view) override;

  std::string rawHeaderText;
};

}  // namespace tarvex

#endif  // TARVEX_UI_FOLDER_DIALOGS_H_
