#include "ui/folder_dialogs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "ui/scripted_ui.h"

namespace tarvex {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Expects the control's kind, text and place.
void ExpectControl(const DialogTemplate& dialog, int id, ControlKind kind, const std::string& text,
                   int x, int y, int width, int height, uint32_t style = 0) {
  SCOPED_TRACE("control " + std::to_string(id) + " of " + dialog.caption);
  const ControlTemplate* found = nullptr;
  for (const ControlTemplate& control : dialog.controls) {
    if (control.id == id) {
      EXPECT_EQ(found, nullptr) << "id used twice";
      found = &control;
    }
  }
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->kind, kind);
  EXPECT_EQ(found->text, text);
  EXPECT_EQ(found->x, x);
  EXPECT_EQ(found->y, y);
  EXPECT_EQ(found->width, width);
  EXPECT_EQ(found->height, height);
  EXPECT_EQ(found->style, style);
}

void ExpectDialog(const DialogTemplate& dialog, const std::string& caption, int width, int height,
                  size_t controls) {
  EXPECT_EQ(dialog.caption, caption);
  EXPECT_EQ(dialog.width, width);
  EXPECT_EQ(dialog.height, height);
  EXPECT_EQ(dialog.font, "MS Sans Serif");
  EXPECT_EQ(dialog.pointSize, 8);
  EXPECT_EQ(dialog.controls.size(), controls);
}

// A script for the folder picker that ticks the given rows and presses OK.
DialogScript TickAndOk(std::initializer_list<int> rows) {
  std::vector<int> ticks(rows);
  return [ticks](DialogDriver& d) {
    for (int row : ticks) d.TickRow(FolderPickDialog::kFolderList, row, true);
    d.Click(kIdOk);
  };
}

// Training

class TrainingDialogTest : public ::testing::Test {
 protected:
  TrainingDialogTest() { dialog.allFolders = {"Inbox", "Junk", "Lists", "Work"}; }

  ScriptedUi ui;
  TrainingDialog dialog{ui};
};

TEST_F(TrainingDialogTest, TemplateCarriesTheTextsAndPlaces) {
  using K = ControlKind;
  const DialogTemplate& t = TrainingDialog::Layout();
  EXPECT_EQ(&dialog.Template(), &t);
  EXPECT_EQ(t.resourceId, TrainingDialog::kResourceId);
  ExpectDialog(t, "Train the Bayesian filter", 296, 129, 9);
  ExpectControl(t, TrainingDialog::kFrame, K::kGroupBox, "Select Training folders", 7, 7, 282, 98);
  ExpectControl(t, TrainingDialog::kSpamLabel, K::kStatic, "Select Folders containing Spam mails",
                18, 22, 118, 8);
  ExpectControl(t, TrainingDialog::kSpamText, K::kEdit, "", 18, 33, 239, 14, ctl::kAutoHScroll);
  ExpectControl(t, TrainingDialog::kSpamPick, K::kButton, "...", 262, 33, 22, 14);
  ExpectControl(t, TrainingDialog::kGoodLabel, K::kStatic, "Select Folders containing good mails",
                17, 54, 116, 8);
  ExpectControl(t, TrainingDialog::kGoodText, K::kEdit, "", 17, 65, 239, 14);
  ExpectControl(t, TrainingDialog::kGoodPick, K::kButton, "...", 261, 65, 22, 14);
  ExpectControl(t, TrainingDialog::kEmptyFirst, K::kCheckBox,
                "Empty the current bayesian filter before starting", 17, 87, 163, 10);
  ExpectControl(t, kIdOk, K::kDefaultButton, "Start Training", 221, 108, 68, 14);
}

TEST_F(TrainingDialogTest, PickedFoldersAppearInListOrderFollowedBySemicolons) {
  ui.QueueScript("Train the Bayesian filter", [](DialogDriver& d) {
    d.Click(TrainingDialog::kSpamPick);
    EXPECT_EQ(d.Text(TrainingDialog::kSpamText), "Inbox;Junk;Work;");
    EXPECT_EQ(d.Text(TrainingDialog::kGoodText), "");
    d.Click(TrainingDialog::kStartTraining);
  });
  ui.QueueScript("Select Folders", [](DialogDriver& d) {
    // The picker lists the folders handed to the training dialog.
    EXPECT_THAT(d.Rows(FolderPickDialog::kFolderList),
                ElementsAre("Inbox", "Junk", "Lists", "Work"));
    // Ticked out of order: the list's order counts.
    for (int row : {3, 0, 1}) d.TickRow(FolderPickDialog::kFolderList, row, true);
    d.Click(kIdOk);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_THAT(dialog.spamFolders, ElementsAre("Inbox", "Junk", "Work"));
  EXPECT_EQ(dialog.spamText, "Inbox;Junk;Work;");
  EXPECT_THAT(dialog.goodFolders, IsEmpty());
  EXPECT_EQ(dialog.goodText, "");
  EXPECT_THAT(ui.MessageBoxes(), IsEmpty());
  ASSERT_EQ(ui.Dialogs().size(), 2u);
  EXPECT_EQ(ui.Dialogs()[1].result, kIdOk);
}

TEST_F(TrainingDialogTest, SecondPickReplacesTheFirst) {
  ui.QueueScript([](DialogDriver& d) {
    d.Click(TrainingDialog::kSpamPick);
    d.Click(TrainingDialog::kSpamPick);
    EXPECT_EQ(d.Text(TrainingDialog::kSpamText), "Lists;");
    d.Click(kIdOk);
  });
  ui.QueueScript(TickAndOk({0, 1}));
  ui.QueueScript(TickAndOk({2}));
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_THAT(dialog.spamFolders, ElementsAre("Lists"));
  EXPECT_EQ(dialog.spamText, "Lists;");
}

TEST_F(TrainingDialogTest, CancelledPickChangesNothing) {
  ui.QueueScript([](DialogDriver& d) {
    d.Click(TrainingDialog::kGoodPick);
    d.Click(TrainingDialog::kGoodPick);
    EXPECT_EQ(d.Text(TrainingDialog::kGoodText), "Work;");
    d.Click(kIdOk);
  });
  ui.QueueScript(TickAndOk({3}));
  ui.QueueScript([](DialogDriver& d) {
    d.TickRow(FolderPickDialog::kFolderList, 0, true);
    d.Click(kIdCancel);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_THAT(dialog.goodFolders, ElementsAre("Work"));
  EXPECT_EQ(dialog.goodText, "Work;");
  EXPECT_THAT(dialog.spamFolders, IsEmpty());
}

TEST_F(TrainingDialogTest, StartWithoutPicksGivesEmptySets) {
  ui.QueueScript([](DialogDriver& d) {
    EXPECT_TRUE(d.topmost());
    EXPECT_EQ(d.Text(TrainingDialog::kSpamText), "");
    EXPECT_EQ(d.Text(TrainingDialog::kGoodText), "");
    EXPECT_FALSE(d.Checked(TrainingDialog::kEmptyFirst));
    d.Click(TrainingDialog::kStartTraining);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_THAT(dialog.spamFolders, IsEmpty());
  EXPECT_THAT(dialog.goodFolders, IsEmpty());
  EXPECT_FALSE(dialog.emptyFirst);
  EXPECT_THAT(ui.MessageBoxes(), IsEmpty());
}

TEST_F(TrainingDialogTest, EmptyBoxIsReportedAtStart) {
  ui.QueueScript([](DialogDriver& d) {
    d.Tick(TrainingDialog::kEmptyFirst, true);
    d.PressEnter();  // the default button starts
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_TRUE(dialog.emptyFirst);
}

TEST_F(TrainingDialogTest, TypedTextIsReadBackButNeverBecomesFolders) {
  ui.QueueScript([](DialogDriver& d) {
    d.Click(TrainingDialog::kSpamPick);
    d.Type(TrainingDialog::kSpamText, "Typed;");
    d.Type(TrainingDialog::kGoodText, "Other;");
    d.Click(kIdOk);
  });
  ui.QueueScript(TickAndOk({1}));
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_EQ(dialog.spamText, "Typed;");
  EXPECT_EQ(dialog.goodText, "Other;");
  EXPECT_THAT(dialog.spamFolders, ElementsAre("Junk"));
  EXPECT_THAT(dialog.goodFolders, IsEmpty());
}

TEST_F(TrainingDialogTest, CloseBoxCancelsWithoutReadingTheBoxes) {
  ui.QueueScript([](DialogDriver& d) {
    d.Tick(TrainingDialog::kEmptyFirst, true);
    d.Type(TrainingDialog::kSpamText, "x");
    d.PressEscape();
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  EXPECT_FALSE(dialog.emptyFirst);
  EXPECT_EQ(dialog.spamText, "");
}

// Folder picker

class FolderPickDialogTest : public ::testing::Test {
 protected:
  FolderPickDialogTest() { dialog.allFolders = {"Zeta", "alpha", "Mid"}; }

  ScriptedUi ui;
  FolderPickDialog dialog;
};

TEST_F(FolderPickDialogTest, TemplateCarriesTheTextsAndPlaces) {
  using K = ControlKind;
  const DialogTemplate& t = FolderPickDialog::Layout();
  EXPECT_EQ(&dialog.Template(), &t);
  ExpectDialog(t, "Select Folders", 222, 233, 4);
  ExpectControl(t, FolderPickDialog::kLabel, K::kStatic, "Select Folders", 7, 7, 46, 8);
  ExpectControl(t, FolderPickDialog::kFolderList, K::kListView, "", 7, 18, 208, 190,
                ctl::kReportView | ctl::kBorder | ctl::kFullRowSelect);
  ExpectControl(t, kIdOk, K::kDefaultButton, "OK", 111, 212, 50, 14);
  ExpectControl(t, kIdCancel, K::kButton, "Cancel", 165, 212, 50, 14);
}

TEST_F(FolderPickDialogTest, ListsEveryFolderUntickedInOrder) {
  ui.QueueScript([](DialogDriver& d) {
    const ScriptedDialogView& view = d.view();
    EXPECT_TRUE(d.topmost());
    EXPECT_TRUE(view.HasCheckBoxes(FolderPickDialog::kFolderList));
    ASSERT_EQ(view.Columns(FolderPickDialog::kFolderList).size(), 1u);
    EXPECT_EQ(view.Columns(FolderPickDialog::kFolderList)[0].title, "Folder Name");
    EXPECT_EQ(view.Columns(FolderPickDialog::kFolderList)[0].widthPixels, 200);
    EXPECT_THAT(d.Rows(FolderPickDialog::kFolderList), ElementsAre("Zeta", "alpha", "Mid"));
    for (int row = 0; row < 3; ++row)
      EXPECT_FALSE(d.RowChecked(FolderPickDialog::kFolderList, row));
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
}

TEST_F(FolderPickDialogTest, OkWithNothingTickedComplainsAndStaysOpen) {
  ui.QueueScript([](DialogDriver& d) {
    d.Click(kIdOk);
    EXPECT_TRUE(d.open());
    // A tick taken back counts as none.
    d.TickRow(FolderPickDialog::kFolderList, 1, true);
    d.TickRow(FolderPickDialog::kFolderList, 1, false);
    d.Click(kIdOk);
    EXPECT_TRUE(d.open());
    d.TickRow(FolderPickDialog::kFolderList, 2, true);
    d.Click(kIdOk);
    EXPECT_FALSE(d.open());
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_THAT(dialog.chosenFolders, ElementsAre("Mid"));
  const std::vector<ScriptedUi::Shown> boxes = ui.MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  for (const ScriptedUi::Shown& box : boxes) {
    EXPECT_EQ(box.text, "Please Select atleast one folder");
    EXPECT_EQ(box.caption, "Tarvex");
    EXPECT_EQ(box.style, mb::kOk);
    EXPECT_EQ(box.owner, 0);
  }
}

TEST_F(FolderPickDialogTest, CancelAfterTickingChoosesNothing) {
  ui.QueueScript([](DialogDriver& d) {
    d.TickRow(FolderPickDialog::kFolderList, 0, true);
    d.Click(kIdCancel);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  EXPECT_THAT(dialog.chosenFolders, IsEmpty());
  EXPECT_THAT(ui.MessageBoxes(), IsEmpty());
}

TEST_F(FolderPickDialogTest, EmptyListCanOnlyBeCancelled) {
  dialog.allFolders.clear();
  ui.QueueScript([](DialogDriver& d) {
    EXPECT_EQ(d.RowCount(FolderPickDialog::kFolderList), 0);
    d.Click(kIdOk);
    d.PressEnter();
    EXPECT_TRUE(d.open());
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  EXPECT_THAT(ui.MessageBoxTexts(),
              ElementsAre("Please Select atleast one folder", "Please Select atleast one folder"));
}

// Destination folder

class DestinationFolderDialogTest : public ::testing::Test {
 protected:
  MemorySettingsStore store;
  FilterSettings settings{store};
  std::vector<std::string> folders{"Work", "Inbox", "Archive"};
  ScriptedUi ui;
  DestinationFolderDialog dialog{folders, settings};
};

TEST_F(DestinationFolderDialogTest, TemplateCarriesTheTextsAndPlaces) {
  using K = ControlKind;
  const DialogTemplate& t = DestinationFolderDialog::Layout();
  EXPECT_EQ(&dialog.Template(), &t);
  ExpectDialog(t, "Select Destination Folder", 186, 74, 5);
  ExpectControl(t, DestinationFolderDialog::kLabel, K::kStatic, "Select Folder", 7, 9, 42, 8);
  // Not sorted: the folders keep the caller's order.
  ExpectControl(t, DestinationFolderDialog::kFolderBox, K::kComboBox, "", 51, 7, 95, 158,
                ctl::kVScroll);
  ExpectControl(t, DestinationFolderDialog::kPermanent, K::kCheckBox,
                "Don't display this dialog next time", 33, 32, 119, 10);
  ExpectControl(t, kIdOk, K::kDefaultButton, "OK", 31, 53, 50, 14);
  ExpectControl(t, kIdCancel, K::kButton, "Cancel", 105, 53, 50, 14);
}

TEST_F(DestinationFolderDialogTest, OpensWithTheFoldersInOrderAndNoneSelected) {
  EXPECT_FALSE(dialog.dontShowAgain);
  EXPECT_EQ(&dialog.folderNames, &folders);
  ui.QueueScript([](DialogDriver& d) {
    EXPECT_TRUE(d.topmost());
    EXPECT_THAT(d.Rows(DestinationFolderDialog::kFolderBox),
                ElementsAre("Work", "Inbox", "Archive"));
    EXPECT_EQ(d.Selection(DestinationFolderDialog::kFolderBox), -1);
    EXPECT_FALSE(d.Checked(DestinationFolderDialog::kPermanent));
  });
  ui.RunModal(dialog);
}

TEST_F(DestinationFolderDialogTest, OkWithoutSelectionComplainsAndFocusesTheBox) {
  ui.QueueScript([](DialogDriver& d) {
    d.Tick(DestinationFolderDialog::kPermanent, true);
    d.Click(kIdOk);
    EXPECT_TRUE(d.open());
    EXPECT_EQ(d.focus(), DestinationFolderDialog::kFolderBox);
    d.Click(kIdCancel);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  const std::vector<ScriptedUi::Shown> boxes = ui.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Please Select a folder");
  EXPECT_EQ(boxes[0].caption, "Tarvex");
  EXPECT_EQ(boxes[0].style, mb::kOk);
  EXPECT_EQ(dialog.selectedIndex, -1);
  EXPECT_THAT(store.values(), IsEmpty());
}

TEST_F(DestinationFolderDialogTest, ChoosingWithTheBoxTickedStoresTheName) {
  ui.QueueScript([](DialogDriver& d) {
    d.Select(DestinationFolderDialog::kFolderBox, 1);
    d.Tick(DestinationFolderDialog::kPermanent, true);
    d.Click(kIdOk);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_EQ(dialog.selectedIndex, 1);
  EXPECT_TRUE(dialog.dontShowAgain);
  EXPECT_EQ(settings.GetNotSpamFolderName(), "Inbox");
  EXPECT_THAT(ui.MessageBoxes(), IsEmpty());
}

TEST_F(DestinationFolderDialogTest, ChoosingWithoutTheBoxStoresNothing) {
  settings.SetNotSpamFolderName("Earlier");
  ui.QueueScript([](DialogDriver& d) {
    d.Select(DestinationFolderDialog::kFolderBox, 0);
    d.Click(kIdOk);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_EQ(dialog.selectedIndex, 0);
  EXPECT_FALSE(dialog.dontShowAgain);
  EXPECT_EQ(settings.GetNotSpamFolderName(), "Earlier");
}

TEST_F(DestinationFolderDialogTest, CancelStoresNothingEvenWhenTicked) {
  ui.QueueScript([](DialogDriver& d) {
    d.Select(DestinationFolderDialog::kFolderBox, 1);
    d.Tick(DestinationFolderDialog::kPermanent, true);
    d.Click(kIdCancel);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  EXPECT_EQ(dialog.selectedIndex, -1);
  EXPECT_FALSE(dialog.dontShowAgain);
  EXPECT_THAT(store.values(), IsEmpty());
}

// Raw headers

TEST(RawHeadersDialogTest, TemplateCarriesTheTextsAndPlaces) {
  using K = ControlKind;
  const DialogTemplate& t = RawHeadersDialog::Layout();
  RawHeadersDialog dialog;
  EXPECT_EQ(&dialog.Template(), &t);
  ExpectDialog(t, "Raw Mail Headers", 282, 234, 3);
  ExpectControl(t, RawHeadersDialog::kBanner, K::kBitmap, "banner", 7, 7, 268, 44);
  ExpectControl(t, RawHeadersDialog::kHeaders, K::kMultiLineEdit, "", 7, 55, 268, 152,
                ctl::kReadOnly | ctl::kVScroll | ctl::kBorder);
  ExpectControl(t, kIdCancel, K::kButton, "Close", 225, 213, 50, 14);
}

TEST(RawHeadersDialogTest, ShowsTheHeadersReadOnlyAndCloses) {
  ScriptedUi ui;
  RawHeadersDialog dialog;
  dialog.rawHeaderText = "Received: from a\r\nSubject: hi\r\n";
  ui.QueueScript([](DialogDriver& d) {
    EXPECT_TRUE(d.topmost());
    EXPECT_EQ(d.Text(RawHeadersDialog::kHeaders), "Received: from a\r\nSubject: hi\r\n");
    EXPECT_THROW(d.Type(RawHeadersDialog::kHeaders, "x"), std::logic_error);
    d.Click(RawHeadersDialog::kClose);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  EXPECT_EQ(ui.Dialogs().at(0).controlTexts.at(RawHeadersDialog::kHeaders),
            "Received: from a\r\nSubject: hi\r\n");

  ui.QueueScript([](DialogDriver& d) { d.PressEscape(); });
  EXPECT_NE(ui.RunModal(dialog), 0);
  ui.QueueScript([](DialogDriver& d) {
    d.PressEnter();
    EXPECT_FALSE(d.open());
  });
  ui.RunModal(dialog);
  EXPECT_THAT(ui.MessageBoxes(), IsEmpty());
}

}  // namespace
}  // namespace tarvex
