#include "ui/folder_dialogs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "testing/dialog_layout.h"
#include "testing/scripted_ui.h"

namespace tarvex {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using T = TrainingDialog;
using P = FolderPickDialog;
using D = DestinationFolderDialog;

TEST(FolderDialogLayoutTest, TemplatesHoldEveryControlWithItsTextPlaceAndStyle) {
  EXPECT_THAT(testing::LayoutLines(T::Layout()),
              ElementsAre("210 \"Train the Bayesian filter\" 296x129 MS Sans Serif 8",
                          "group \"Select Training folders\" 7,7 282x98",
                          "static \"Select Folders containing Spam mails\" 18,22 118x8",
                          "edit \"\" 18,33 239x14 autohscroll", "button \"...\" 262,33 22x14",
                          "static \"Select Folders containing good mails\" 17,54 116x8",
                          "edit \"\" 17,65 239x14 autohscroll", "button \"...\" 261,65 22x14",
                          "check \"Empty the current bayesian filter before starting\" 17,87 "
                          "163x10",
                          "default \"Start Training\" 221,108 68x14 ok"));
  EXPECT_THAT(
      testing::LayoutLines(P::Layout()),
      ElementsAre("211 \"Select Folders\" 222x233 MS Sans Serif 8",
                  "static \"Select Folders\" 7,7 46x8",
                  "listview \"\" 7,18 208x190 border report fullrow",
                  "default \"OK\" 111,212 50x14 ok", "button \"Cancel\" 165,212 50x14 cancel"));
  EXPECT_THAT(
      testing::LayoutLines(D::Layout()),
      ElementsAre("212 \"Select Destination Folder\" 186x74 MS Sans Serif 8",
                  "static \"Select Folder\" 7,9 42x8", "combo \"\" 51,7 95x158 vscroll",
                  "check \"Don't display this dialog next time\" 33,32 119x10",
                  "default \"OK\" 31,53 50x14 ok", "button \"Cancel\" 105,53 50x14 cancel"));
  EXPECT_THAT(testing::LayoutLines(RawHeadersDialog::Layout()),
              ElementsAre("213 \"Raw Mail Headers\" 282x234 MS Sans Serif 8",
                          "bitmap \"banner\" 7,7 268x44",
                          "multiedit \"\" 7,55 268x152 border vscroll readonly",
                          "button \"Close\" 225,213 50x14 cancel"));
}

DialogScript TickAndOk(std::initializer_list<int> rows) {
  return [ticks = std::vector<int>(rows)](DialogDriver& d) {
    for (int row : ticks) d.TickRow(P::kFolderList, row, true);
    d.Click(kIdOk);
  };
}

TEST(TrainingDialogTest, PicksFillTheTextsAndStartReadsTheBoxesBack) {
  ScriptedUi ui;
  TrainingDialog dialog{ui};
  dialog.allFolders = {"Inbox", "Junk", "Lists", "Work"};
  ui.QueueScript("Train the Bayesian filter", [](DialogDriver& d) {
    EXPECT_TRUE(d.topmost());
    d.Click(T::kSpamPick);
    EXPECT_EQ(d.Text(T::kSpamText), "Inbox;Junk;Work;");
    d.Click(T::kGoodPick);
    d.Click(T::kGoodPick);  // cancelled
    EXPECT_EQ(d.Text(T::kGoodText), "Lists;");
    d.Click(T::kSpamPick);  // replaces the first
    EXPECT_EQ(d.Text(T::kSpamText), "Junk;");
    d.Click(T::kStartTraining);
  });
  ui.QueueScript("Select Folders", [](DialogDriver& d) {
    EXPECT_THAT(d.Rows(P::kFolderList), ElementsAre("Inbox", "Junk", "Lists", "Work"));
    for (int row : {3, 0, 1}) d.TickRow(P::kFolderList, row, true);  // the list's order counts
    d.Click(kIdOk);
  });
  ui.QueueScript(TickAndOk({2}));
  ui.QueueScript([](DialogDriver& d) {
    d.TickRow(P::kFolderList, 0, true);
    d.Click(kIdCancel);
  });
  ui.QueueScript(TickAndOk({1}));
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_THAT(dialog.spamFolders, ElementsAre("Junk"));
  EXPECT_EQ(dialog.spamText, "Junk;");
  EXPECT_THAT(dialog.goodFolders, ElementsAre("Lists"));
  EXPECT_EQ(dialog.goodText, "Lists;");

  // What is typed is read back at the start, but never becomes folders; no
  // set is checked.
  ui.QueueScript([](DialogDriver& d) {
    d.Click(T::kGoodPick);
    d.Type(T::kSpamText, "Typed;");
    d.Type(T::kGoodText, "");
    d.Tick(T::kEmptyFirst, true);
    d.PressEnter();  // the default button starts
  });
  ui.QueueScript(TickAndOk({3}));
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_EQ(dialog.spamText, "Typed;");
  EXPECT_EQ(dialog.goodText, "");
  EXPECT_THAT(dialog.spamFolders, ElementsAre("Junk"));
  EXPECT_THAT(dialog.goodFolders, ElementsAre("Work"));
  EXPECT_TRUE(dialog.emptyFirst);
  EXPECT_THAT(ui.MessageBoxes(), IsEmpty());

  // The close box cancels without reading the boxes.
  ui.QueueScript([](DialogDriver& d) {
    d.Tick(T::kEmptyFirst, false);
    d.Type(T::kSpamText, "x");
    d.PressEscape();
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  EXPECT_TRUE(dialog.emptyFirst);
  EXPECT_EQ(dialog.spamText, "Typed;");
}

TEST(FolderPickDialogTest, ListsEveryFolderUntickedAndOkWantsATick) {
  ScriptedUi ui;
  FolderPickDialog dialog;
  dialog.allFolders = {"Zeta", "alpha", "Mid"};
  ui.QueueScript([](DialogDriver& d) {
    EXPECT_TRUE(d.topmost());
    EXPECT_EQ(d.view().Columns(P::kFolderList).at(0).title, "Folder Name");
    EXPECT_THAT(d.Rows(P::kFolderList), ElementsAre("Zeta", "alpha", "Mid"));
    d.Click(kIdOk);
    d.TickRow(P::kFolderList, 1, true);  // a tick taken back counts as none
    d.TickRow(P::kFolderList, 1, false);
    d.PressEnter();
    d.TickRow(P::kFolderList, 2, true);
    d.Click(kIdOk);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_THAT(dialog.chosenFolders, ElementsAre("Mid"));
  EXPECT_EQ(ui.MessageBoxTexts(), std::vector<std::string>(2, "Please Select atleast one folder"));
}

TEST(DestinationFolderDialogTest, OkWantsAFolderAndOnlyATickedBoxStoresIt) {
  MemorySettingsStore store;
  FilterSettings settings{store};
  std::vector<std::string> folders{"Work", "Inbox", "Archive"};
  ScriptedUi ui;
  DestinationFolderDialog dialog{folders, settings};
  ui.QueueScript([](DialogDriver& d) {
    EXPECT_TRUE(d.topmost());
    EXPECT_THAT(d.Rows(D::kFolderBox), ElementsAre("Work", "Inbox", "Archive"));
    d.Click(kIdOk);
    EXPECT_EQ(d.focus(), D::kFolderBox);
    d.Select(D::kFolderBox, 0);
    d.Click(kIdOk);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_EQ(dialog.selectedIndex, 0);
  EXPECT_THAT(store.values(), IsEmpty());
  EXPECT_THAT(ui.MessageBoxTexts(), ElementsAre("Please Select a folder"));
  EXPECT_EQ(ui.MessageBoxes()[0].caption, "Tarvex");

  for (int result : {kIdCancel, kIdOk}) {  // with the box ticked
    DestinationFolderDialog again(folders, settings);
    ui.QueueScript([result](DialogDriver& d) {
      d.Select(D::kFolderBox, 1);
      d.Tick(D::kPermanent, true);
      d.Click(result);
    });
    EXPECT_EQ(ui.RunModal(again), result);
    EXPECT_EQ(again.selectedIndex, result == kIdOk ? 1 : -1);
    EXPECT_EQ(again.dontShowAgain, result == kIdOk);
    EXPECT_EQ(settings.GetNotSpamFolderName(), result == kIdOk ? "Inbox" : "");
  }
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
  ui.QueueScript([](DialogDriver& d) { d.PressEnter(); });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
}

}  // namespace
}  // namespace tarvex
