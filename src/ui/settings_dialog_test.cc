#include "ui/settings_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "settings/settings_store.h"
#include "testing/bayes_fixture.h"
#include "testing/dialog_layout.h"
#include "testing/dialog_operations.h"
#include "testing/scripted_ui.h"
#include "ui/about_dialog.h"
#include "ui/save_failure.h"

namespace tarvex {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using S = SettingsDialog;

// A key in memory that logs every value read and written, in order.
class LoggingStore : public MemorySettingsStore {
 public:
  using MemorySettingsStore::MemorySettingsStore;

  std::unique_ptr<SettingsKey> OpenKey() override {
    struct Key : SettingsKey {
      Key(std::unique_ptr<SettingsKey> inner, std::vector<std::string>& calls)
          : inner(std::move(inner)), calls(calls) {}
      std::optional<StoredValue> Query(const std::string& name) override {
        calls.push_back("read " + name);
        return inner->Query(name);
      }
      void Set(const std::string& name, const StoredValue& value) override {
        calls.push_back("write " + name);
        inner->Set(name, value);
      }
      std::unique_ptr<SettingsKey> inner;
      std::vector<std::string>& calls;
    };
    std::unique_ptr<SettingsKey> key = MemorySettingsStore::OpenKey();
    return key ? std::make_unique<Key>(std::move(key), calls) : nullptr;
  }

  std::vector<std::string> calls;
};

// The options with their boxes, box 4 aside.
const std::vector<std::pair<std::string, int>> kOptions = {
    {"MarkReadBeforeMoving", S::kMarkRead},
    {"ConsiderNonEnglishSpam", S::kNonEnglish},
    {"BeepAtSpam", S::kBeep},
    {"LearnFromMarkSpam", S::kLearnSpam},
    {"LearnFromNotSpam", S::kLearnNotSpam},
    {"LearnFromBlackListed", S::kLearnBlackListed},
    {"LearnFromWhiteListed", S::kLearnWhiteListed}};
const std::string kThreeWords = "Total Words in Bayesian Database : 3";

// The filter starts with three words; the dialog's options live in `options`.
class SettingsDialogTest : public BayesFixture {
 protected:
  SettingsDialogTest() { Start().LearnMessage("money offer hello", "", 1); }

  // Runs a fresh dialog over the settings with the script.
  int Run(DialogScript script) { return RunOver(optionSettings, std::move(script)); }
  int RunOver(FilterSettings& settings, DialogScript script) {
    ops = std::make_unique<testing::DialogOperations>(fs, settings.store(), screen, filter.get());
    dialog = std::make_unique<SettingsDialog>(*ops);
    screen.QueueScript("Settings", std::move(script));
    return screen.RunModal(*dialog);
  }

  LoggingStore options;
  FilterSettings optionSettings{options};
  ScriptedUi screen;
  std::unique_ptr<testing::DialogOperations> ops;
  std::unique_ptr<SettingsDialog> dialog;
};

TEST_F(SettingsDialogTest, OpeningReadsTheSettingsInOrderAndOkWritesThemInAnother) {
  Run([this](DialogDriver& d) {
    EXPECT_TRUE(d.topmost());
    EXPECT_EQ(d.view().dialog().controls.size(), 15u);
    EXPECT_EQ(d.Text(S::kAskDestination), "Display Select Destination Folder");
    EXPECT_EQ(d.Text(S::kEmptyDatabase), "Empty Bayesian DB");
    EXPECT_THAT(options.calls,
                ElementsAre("read BeepAtSpam", "read LearnFromMarkSpam", "read LearnFromNotSpam",
                            "read MarkReadBeforeMoving", "read ConsiderNonEnglishSpam",
                            "read LearnFromBlackListed", "read LearnFromWhiteListed",
                            "read NotSpamFolderName"));
    EXPECT_EQ(d.Text(S::kWordCount), kThreeWords);
    options.calls.clear();
    d.Click(kIdOk);
  });
  EXPECT_THAT(options.calls, ElementsAre("write BeepAtSpam", "write ConsiderNonEnglishSpam",
                                         "write LearnFromMarkSpam", "write LearnFromNotSpam",
                                         "write MarkReadBeforeMoving", "write LearnFromBlackListed",
                                         "write LearnFromWhiteListed", "write NotSpamFolderName"));
  EXPECT_EQ(screen.Dialogs()[0].resourceId, 230);
}

TEST_F(SettingsDialogTest, EachOptionTicksOnlyItsOwnBoxAndIsWrittenBackFromIt) {
  for (const auto& [name, box] : kOptions) {
    SCOPED_TRACE(name);
    for (const auto& option : kOptions) WriteDwordValue(options, option.first, 0);
    WriteDwordValue(options, name, 5);  // any number but 0 is on
    Run([&, box = box](DialogDriver& d) {
      for (const auto& option : kOptions) EXPECT_EQ(d.Checked(option.second), option.second == box);
      d.Click(kIdOk);
    });
    for (const auto& option : kOptions) {
      EXPECT_EQ(ReadDwordValue(options, option.first), option.first == name ? 1u : 0u);
    }
  }
}

TEST_F(SettingsDialogTest, DestinationBoxStoresEmptyTextWhenTickedElseInbox) {
  for (auto [stored, tick, written] : {std::tuple{"Archive/Work", true, ""},
                                       {"Archive/Work", false, "Inbox"},
                                       {"", false, "Inbox"},
                                       {"", true, ""}}) {
    SCOPED_TRACE(std::string(stored) + (tick ? " ticked" : " cleared"));
    optionSettings.SetNotSpamFolderName(stored);
    Run([&, stored = stored, tick = tick](DialogDriver& d) {
      EXPECT_EQ(d.Checked(S::kAskDestination), *stored == '\0');
      d.Tick(S::kAskDestination, tick);
      d.PressEnter();
    });
    EXPECT_EQ(options.values().at("NotSpamFolderName"), (StoredValue{ValueType::kString, written}));
    EXPECT_EQ(dialog->askDestinationFolder, tick);
  }
}

TEST_F(SettingsDialogTest, MissingKeyShowsOnlyTheDestinationBoxTickedAndStoresNothing) {
  LoggingStore absent(false);
  FilterSettings absentSettings(absent);
  RunOver(absentSettings, [](DialogDriver& d) {
    for (const auto& option : kOptions) EXPECT_FALSE(d.Checked(option.second));
    EXPECT_TRUE(d.Checked(S::kAskDestination));
    d.Tick(S::kBeep, true);
    d.Click(kIdOk);
  });
  EXPECT_FALSE(absent.key_exists());
  EXPECT_THAT(absent.calls, IsEmpty());
}

TEST_F(SettingsDialogTest, EmptyingNeedsYesAndHappensAtOnceWhileCancelWritesNothing) {
  WriteDwordValue(options, "BeepAtSpam", 1);
  optionSettings.SetNotSpamFolderName("Archive");
  const std::map<std::string, StoredValue> before = options.values();
  const std::string file = DatabaseText();
  screen.QueueAnswer(mb::kIdNo);
  screen.QueueAnswer(mb::kIdYes);
  EXPECT_EQ(Run([&](DialogDriver& d) {
              options.calls.clear();
              for (const auto& option : kOptions) d.Click(option.second);
              d.Click(S::kAskDestination);
              d.Click(S::kEmptyDatabase);
              EXPECT_EQ(filter->WordCount(), 3u);
              d.Click(S::kEmptyDatabase);
              EXPECT_EQ(filter->WordCount(), 0u);
              EXPECT_NE(DatabaseText(), file);  // saved, without the words
              EXPECT_EQ(DatabaseText().find("money"), std::string::npos);
              EXPECT_EQ(d.Text(S::kWordCount), kThreeWords);  // the count read at opening
              d.PressEscape();
            }),
            kIdCancel);
  EXPECT_EQ(filter->WordCount(), 0u);  // Cancel does not undo it
  EXPECT_THAT(options.calls, IsEmpty());
  EXPECT_EQ(options.values(), before);
  EXPECT_THAT(screen.MessageBoxTexts(),
              ElementsAre("Are you sure you want to empty the Database?",
                          "Are you sure you want to empty the Database?", "Database Empty"));
  EXPECT_EQ(screen.MessageBoxes()[0].caption, "Tarvex");
  EXPECT_EQ(screen.MessageBoxes()[0].style, mb::kYesNo);

  // Only a new dialog shows the new count.
  testing::DialogOperations again(fs, options, screen, filter.get());
  OpenSettingsDialog(screen, again);
  EXPECT_EQ(screen.Dialogs().at(1).controlTexts.at(S::kWordCount),
            "Total Words in Bayesian Database : 0");
}

// The failed save is told between the question and the dialog's own word,
// outside the dialog, as a save that fails anywhere else.
TEST_F(SettingsDialogTest, EmptyingThatCannotSaveSaysSoBeforeDatabaseEmpty) {
  fs.FailCommits(kDatabase);
  screen.QueueAnswer(mb::kIdYes);
  Run([](DialogDriver& d) {
    d.Click(S::kEmptyDatabase);
    d.PressEscape();
  });
  EXPECT_THAT(screen.MessageBoxTexts(),
              ElementsAre("Are you sure you want to empty the Database?",
                          "Cannot save database (" + kDatabase + ")", "Database Empty"));
  const ScriptedUi::Shown failure = screen.MessageBoxes()[1];
  EXPECT_EQ(failure.caption, "Bayesian Plugin Error");
  EXPECT_EQ(failure.style, 0x50030u);
  EXPECT_EQ(failure.owner, -1);
  EXPECT_GE(screen.MessageBoxes()[2].owner, 0);
}

TEST(SaveFailure, ShowsNothingWhenTheSaveWentWell) {
  RecordingUi ui;
  EXPECT_TRUE(ReportSaveFailure(ui, Status::Ok(), "/p/words.db").ok());
  EXPECT_TRUE(ui.boxes.empty());
  const Status failed = Status::FromErrno("/p/words.db", "cannot write", ENOSPC);
  EXPECT_EQ(ReportSaveFailure(ui, failed, "/p/words.db").message(), failed.message());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Cannot save database (/p/words.db)");
}

TEST(SettingsDialogLayoutTest, TemplatesHoldEveryControlWithItsTextPlaceAndStyle) {
  EXPECT_THAT(
      testing::LayoutLines(S::Layout()),
      ElementsAre("230 \"Settings\" 281x273 MS Sans Serif 8", "bitmap \"banner\" 7,7 268x44",
                  "group \"General Settings\" 7,54 267x82",
                  "check \"When moving spam to the DedoZarozo Folder mark it as read.\" 17,70 "
                  "205x10",
                  "check \"Consider Mail having Non-English Characters as Spam.\" 17,86 189x10",
                  "check \"Beep When a Mail is Marked Spam\" 17,102 127x10",
                  "check \"Display Select Destination Folder\" 17,119 119x10",
                  "group \"Bayesian Filter Settings\" 7,141 267x107",
                  "check \"Learn from the mails Marked Spam by you.\" 16,155 149x10",
                  "check \"Learn from the mails Marked Not Spam by you.\" 16,170 163x10",
                  "check \"Learn from Blacklisted Mails\" 15,185 103x10",
                  "check \"Learn from Whitelisted Mails\" 15,200 104x10",
                  "button \"Empty Bayesian DB\" 15,216 106x14",
                  "static \"Total Words in Database : \" 15,235 248x8",
                  "default \"OK\" 169,252 50x14 ok", "button \"Cancel\" 224,252 50x14 cancel"));
  // The icon's text names its resource.
  EXPECT_THAT(testing::LayoutLines(AboutDialog::Layout()),
              ElementsAre("1017 \"About\" 232x114 MS Sans Serif 8", "icon \"#1014\" 11,10 20x20",
                          "static \"Tarvex v1.2\" 40,16 100x8", "group \"\" 7,38 218x48",
                          "static \"Tarvex v1.2\" 17,58 198x8 center",
                          "button \"Close\" 175,93 50x14 cancel"));
}

TEST(AboutDialogTest, ShowsTheProductNameAndVersion) {
  ScriptedDialogView about(AboutDialog::Layout());
  EXPECT_EQ(about.GetText(AboutDialog::kName), "Tarvex v1.2");
  EXPECT_EQ(about.GetText(AboutDialog::kFramedName), "Tarvex v1.2");
}

}  // namespace
}  // namespace tarvex
