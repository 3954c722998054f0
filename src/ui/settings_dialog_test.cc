#include "ui/settings_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings_store.h"
#include "testing/bayes_fixture.h"
#include "ui/about_dialog.h"
#include "ui/scripted_ui.h"

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
    class Key : public SettingsKey {
     public:
      Key(std::unique_ptr<SettingsKey> inner, std::vector<std::string>& calls)
          : inner_(std::move(inner)), calls_(calls) {}
      std::optional<StoredValue> Query(const std::string& name) override {
        calls_.push_back("read " + name);
        return inner_->Query(name);
      }
      void Set(const std::string& name, const StoredValue& value) override {
        calls_.push_back("write " + name);
        inner_->Set(name, value);
      }

     private:
      std::unique_ptr<SettingsKey> inner_;
      std::vector<std::string>& calls_;
    };
    std::unique_ptr<SettingsKey> key = MemorySettingsStore::OpenKey();
    if (!key) return nullptr;
    return std::make_unique<Key>(std::move(key), calls);
  }

  std::vector<std::string> calls;
};

void ExpectControl(const DialogTemplate& dialog, int id, ControlKind kind, const std::string& text,
                   int x, int y, int width, int height, uint32_t style = 0) {
  SCOPED_TRACE("control " + std::to_string(id) + " of " + dialog.caption);
  int found = 0;
  for (const ControlTemplate& c : dialog.controls) {
    if (c.id != id) continue;
    ++found;
    EXPECT_EQ(c.kind, kind);
    EXPECT_EQ(c.text, text);
    EXPECT_EQ(std::vector<int>({c.x, c.y, c.width, c.height}),
              std::vector<int>({x, y, width, height}));
    EXPECT_EQ(c.style, style);
  }
  EXPECT_EQ(found, 1);
}

// The options with their boxes, box 4 aside.
const std::vector<std::pair<std::string, int>> kOptions = {
    {"MarkReadBeforeMoving", S::kMarkRead},
    {"ConsiderNonEnglishSpam", S::kNonEnglish},
    {"BeepAtSpam", S::kBeep},
    {"LearnFromMarkSpam", S::kLearnSpam},
    {"LearnFromNotSpam", S::kLearnNotSpam},
    {"LearnFromBlackListed", S::kLearnBlackListed},
    {"LearnFromWhiteListed", S::kLearnWhiteListed},
};
const std::string kThreeWords = "Total Words in Bayesian Database : 3";

// The filter starts with three words; the dialog's options live in `options`.
class SettingsDialogTest : public BayesFixture {
 protected:
  SettingsDialogTest() {
    const std::string seen = "," + std::to_string(kStart) + "\n";
    PutDatabase("Spam = 3\nClean = 4\nmoney = 3,1,0.6" + seen + "offer = 2,0,0.9" + seen +
                "hello = 0,4,0.1" + seen);
    Start();
  }

  // Runs a fresh dialog with the script.
  int Run(DialogScript script) {
    dialog = std::make_unique<SettingsDialog>(*filter, optionSettings);
    screen.QueueScript("Settings", std::move(script));
    return screen.RunModal(*dialog);
  }
  const StoredValue& Value(const std::string& name) { return options.values().at(name); }

  LoggingStore options;
  FilterSettings optionSettings{options};
  ScriptedUi screen;
  std::unique_ptr<SettingsDialog> dialog;
};

TEST_F(SettingsDialogTest, TemplateCarriesTheTextsAndPlaces) {
  using K = ControlKind;
  const DialogTemplate& t = S::Layout();
  EXPECT_EQ(t.resourceId, S::kResourceId);
  EXPECT_EQ(t.caption, "Settings");
  EXPECT_EQ(std::vector<int>({t.width, t.height}), std::vector<int>({281, 273}));
  EXPECT_EQ(t.font, "MS Sans Serif");
  EXPECT_EQ(t.controls.size(), 15u);
  ExpectControl(t, S::kBanner, K::kBitmap, "banner", 7, 7, 268, 44);
  ExpectControl(t, S::kGeneralFrame, K::kGroupBox, "General Settings", 7, 54, 267, 82);
  ExpectControl(t, S::kMarkRead, K::kCheckBox,
                "When moving spam to the DedoZarozo Folder mark it as read.", 17, 70, 205, 10);
  ExpectControl(t, S::kNonEnglish, K::kCheckBox,
                "Consider Mail having Non-English Characters as Spam.", 17, 86, 189, 10);
  ExpectControl(t, S::kBeep, K::kCheckBox, "Beep When a Mail is Marked Spam", 17, 102, 127, 10);
  ExpectControl(t, S::kAskDestination, K::kCheckBox, "Display Select Destination Folder", 17, 119,
                119, 10);
  ExpectControl(t, S::kBayesFrame, K::kGroupBox, "Bayesian Filter Settings", 7, 141, 267, 107);
  ExpectControl(t, S::kLearnSpam, K::kCheckBox, "Learn from the mails Marked Spam by you.", 16, 155,
                149, 10);
  ExpectControl(t, S::kLearnNotSpam, K::kCheckBox, "Learn from the mails Marked Not Spam by you.",
                16, 170, 163, 10);
  ExpectControl(t, S::kLearnBlackListed, K::kCheckBox, "Learn from Blacklisted Mails", 15, 185, 103,
                10);
  ExpectControl(t, S::kLearnWhiteListed, K::kCheckBox, "Learn from Whitelisted Mails", 15, 200, 104,
                10);
  ExpectControl(t, S::kEmptyDatabase, K::kButton, "Empty Bayesian DB", 15, 216, 106, 14);
  ExpectControl(t, S::kWordCount, K::kStatic, "Total Words in Database : ", 15, 235, 248, 8);
  ExpectControl(t, kIdOk, K::kDefaultButton, "OK", 169, 252, 50, 14);
  ExpectControl(t, kIdCancel, K::kButton, "Cancel", 224, 252, 50, 14);
}

// Opening

TEST_F(SettingsDialogTest, OpeningReadsTheSettingsInOrderAndShowsTheWordCount) {
  ASSERT_EQ(filter->WordCount(), 3u);
  Run([this](DialogDriver& d) {
    EXPECT_TRUE(d.topmost());
    EXPECT_THAT(options.calls,
                ElementsAre("read BeepAtSpam", "read LearnFromMarkSpam", "read LearnFromNotSpam",
                            "read MarkReadBeforeMoving", "read ConsiderNonEnglishSpam",
                            "read LearnFromBlackListed", "read LearnFromWhiteListed",
                            "read NotSpamFolderName"));
    EXPECT_EQ(d.Text(S::kWordCount), kThreeWords);
    EXPECT_TRUE(d.Checked(S::kAskDestination));  // no folder stored
  });
}

TEST_F(SettingsDialogTest, EachOptionTicksOnlyItsOwnBox) {
  for (const auto& [name, box] : kOptions) {
    SCOPED_TRACE(name);
    for (const auto& option : kOptions) WriteDwordValue(options, option.first, 0);
    WriteDwordValue(options, name, 5);  // any number but 0 is on
    Run([&, box = box](DialogDriver& d) {
      for (const auto& option : kOptions) EXPECT_EQ(d.Checked(option.second), option.second == box);
    });
  }
}

TEST_F(SettingsDialogTest, MissingKeyShowsOnlyTheDestinationBoxTickedAndStoresNothing) {
  LoggingStore absent(false);
  FilterSettings absentSettings(absent);
  SettingsDialog missing(*filter, absentSettings);
  screen.QueueScript([](DialogDriver& d) {
    for (const auto& option : kOptions) EXPECT_FALSE(d.Checked(option.second));
    EXPECT_TRUE(d.Checked(S::kAskDestination));
    EXPECT_EQ(d.Text(S::kWordCount), kThreeWords);
    d.Tick(S::kBeep, true);
    d.Tick(S::kAskDestination, false);
    d.Click(kIdOk);
  });
  EXPECT_EQ(screen.RunModal(missing), kIdOk);
  EXPECT_FALSE(absent.key_exists());
  EXPECT_THAT(absent.values(), IsEmpty());
  EXPECT_THAT(absent.calls, IsEmpty());
  EXPECT_THAT(screen.MessageBoxes(), IsEmpty());
}

// OK

TEST_F(SettingsDialogTest, OkWritesEveryOptionInOrder) {
  EXPECT_EQ(Run([this](DialogDriver& d) {
              options.calls.clear();
              d.Click(kIdOk);
            }),
            kIdOk);
  EXPECT_THAT(options.calls, ElementsAre("write BeepAtSpam", "write ConsiderNonEnglishSpam",
                                         "write LearnFromMarkSpam", "write LearnFromNotSpam",
                                         "write MarkReadBeforeMoving", "write LearnFromBlackListed",
                                         "write LearnFromWhiteListed", "write NotSpamFolderName"));
  for (const auto& option : kOptions) {
    EXPECT_EQ(Value(option.first), (StoredValue{ValueType::kDword, std::string(4, '\0')}));
  }
  EXPECT_EQ(Value("NotSpamFolderName"), (StoredValue{ValueType::kString, ""}));
}

TEST_F(SettingsDialogTest, EachBoxWritesOnlyItsOwnOption) {
  for (const auto& [name, box] : kOptions) {
    SCOPED_TRACE(name);
    WriteDwordValue(options, name, 9);
    Run([&, box = box](DialogDriver& d) {
      for (const auto& option : kOptions) d.Tick(option.second, false);
      d.Tick(box, true);
      d.Click(kIdOk);
    });
    for (const auto& option : kOptions) {
      EXPECT_EQ(ReadDwordValue(options, option.first), option.first == name ? 1u : 0u);
    }
    EXPECT_EQ(Value(name), (StoredValue{ValueType::kDword, std::string("\1\0\0\0", 4)}));
  }
}

TEST_F(SettingsDialogTest, StoredFolderLeavesTheDestinationBoxClearAndOkStoresInbox) {
  optionSettings.SetNotSpamFolderName("Archive/Work");
  Run([](DialogDriver& d) {
    EXPECT_FALSE(d.Checked(S::kAskDestination));
    d.PressEnter();
  });
  EXPECT_EQ(Value("NotSpamFolderName"), (StoredValue{ValueType::kString, "Inbox"}));
  EXPECT_FALSE(dialog->askDestinationFolder);
}

TEST_F(SettingsDialogTest, TickingTheDestinationBoxStoresEmptyText) {
  optionSettings.SetNotSpamFolderName("Archive/Work");
  Run([](DialogDriver& d) {
    d.Tick(S::kAskDestination, true);
    d.Click(kIdOk);
  });
  EXPECT_EQ(Value("NotSpamFolderName"), (StoredValue{ValueType::kString, ""}));
  EXPECT_TRUE(dialog->askDestinationFolder);
}

// Cancel and emptying

TEST_F(SettingsDialogTest, CancelWritesNothing) {
  WriteDwordValue(options, "BeepAtSpam", 1);
  optionSettings.SetNotSpamFolderName("Archive");
  const std::map<std::string, StoredValue> before = options.values();
  EXPECT_EQ(Run([this](DialogDriver& d) {
              options.calls.clear();
              for (const auto& option : kOptions) d.Click(option.second);
              d.Click(S::kAskDestination);
              d.PressEscape();
            }),
            kIdCancel);
  EXPECT_THAT(options.calls, IsEmpty());
  EXPECT_EQ(options.values(), before);
}

TEST_F(SettingsDialogTest, ConfirmedEmptyingHappensAtOnceAndCancelKeepsIt) {
  WriteDwordValue(options, "LearnFromMarkSpam", 1);
  const std::map<std::string, StoredValue> before = options.values();
  screen.QueueAnswer(mb::kIdYes);
  EXPECT_EQ(Run([this](DialogDriver& d) {
              d.Tick(S::kLearnSpam, false);
              d.Click(S::kEmptyDatabase);
              EXPECT_TRUE(d.open());
              EXPECT_EQ(filter->WordCount(), 0u);
              EXPECT_EQ(DatabaseText().find("money"), std::string::npos);  // saved
              EXPECT_EQ(d.Text(S::kWordCount), kThreeWords);  // the count read at opening
              d.Click(kIdCancel);
            }),
            kIdCancel);
  EXPECT_EQ(filter->WordCount(), 0u);
  EXPECT_EQ(options.values(), before);
  const std::vector<ScriptedUi::Shown> boxes = screen.MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Are you sure you want to empty the Database?");
  EXPECT_EQ(boxes[0].caption, "Tarvex");
  EXPECT_EQ(boxes[0].style, mb::kYesNo);
  EXPECT_EQ(boxes[1].text, "Database Empty");
  EXPECT_EQ(boxes[1].caption, "Tarvex");
  EXPECT_EQ(boxes[1].style, mb::kOk);
  EXPECT_EQ(boxes[1].owner, 0);

  // Only a new dialog shows the new count.
  OpenSettingsDialog(screen, *filter, optionSettings);
  const std::vector<ScriptedUi::Shown> dialogs = screen.Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[1].resourceId, S::kResourceId);
  EXPECT_EQ(dialogs[1].controlTexts.at(S::kWordCount), "Total Words in Bayesian Database : 0");
}

TEST_F(SettingsDialogTest, AnsweringNoEmptiesNothing) {
  const std::string file = DatabaseText();
  screen.QueueAnswer(mb::kIdNo);
  Run([](DialogDriver& d) {
    d.Click(S::kEmptyDatabase);
    EXPECT_TRUE(d.open());
  });
  EXPECT_EQ(filter->WordCount(), 3u);
  EXPECT_EQ(DatabaseText(), file);
  EXPECT_THAT(screen.MessageBoxTexts(),
              ElementsAre("Are you sure you want to empty the Database?"));
}

// About

TEST(AboutDialogTest, TemplateCarriesTheTextsAndPlaces) {
  using K = ControlKind;
  const DialogTemplate& t = AboutDialog::Layout();
  EXPECT_EQ(t.resourceId, 1017);
  EXPECT_EQ(t.caption, "About");
  EXPECT_EQ(std::vector<int>({t.width, t.height}), std::vector<int>({232, 114}));
  ASSERT_EQ(t.controls.size(), 5u);
  ExpectControl(t, AboutDialog::kIcon, K::kIcon, "#1014", 11, 10, 20, 20);
  ExpectControl(t, AboutDialog::kName, K::kStatic, "Tarvex v1.2", 40, 16, 100, 8);
  ExpectControl(t, AboutDialog::kFrame, K::kGroupBox, "", 7, 38, 218, 48);
  ExpectControl(t, AboutDialog::kFramedName, K::kStatic, "Tarvex v1.2", 17, 58, 198, 8,
                ctl::kCenter);
  ExpectControl(t, kIdCancel, K::kButton, "Close", 175, 93, 50, 14);
  // Every control keeps the margin, and the framed text has as much room on
  // its left as on its right.
  for (const ControlTemplate& c : t.controls) {
    EXPECT_LE(c.x + c.width, t.width - 7) << c.id;
    EXPECT_LE(c.y + c.height, t.height - 7) << c.id;
  }
  const ControlTemplate& frame = t.controls[2];
  const ControlTemplate& name = t.controls[3];
  EXPECT_EQ(name.x - frame.x, (frame.x + frame.width) - (name.x + name.width));
}

TEST(AboutDialogTest, CloseAndEscapeEndIt) {
  ScriptedUi screen;
  AboutDialog about;
  screen.QueueScript("About", [](DialogDriver& d) { d.Click(AboutDialog::kClose); });
  EXPECT_EQ(screen.RunModal(about), kIdCancel);
  screen.QueueScript([](DialogDriver& d) {
    d.PressEscape();
    EXPECT_FALSE(d.open());
  });
  EXPECT_EQ(screen.RunModal(about), kIdCancel);
  EXPECT_THAT(screen.MessageBoxes(), IsEmpty());
}

}  // namespace
}  // namespace tarvex
