// The plug-in end to end against the in-memory host: loaded, initialised by
// the host, watching folders, classifying what arrives, obeying the user's
// commands, shut down in order, with every host reference released.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/filter_app.h"
#include "bayes/database_file.h"
#include "host/fault_injecting_host.h"
#include "host/memory/memory_host.h"
#include "testing/scripted_ui.h"
#include "ui/folder_dialogs.h"
#include "ui/settings_dialog.h"

namespace tarvex {
namespace {

constexpr int32_t kInbox = MemoryHost::kInboxId;

class Plugin : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteStringValue(store_, "WordFilePath", "/p/words.db");
    WriteStringValue(store_, "BlackListPath", "/p/black.xml");
    WriteStringValue(store_, "WhiteListPath", "/p/white.xml");
    fs_.files()["/p/black.xml"] =
        "<BlackList>\n    <Domain Name=\"spam.example\" />\n</BlackList>\n";
    fs_.files()["/p/white.xml"] = "<WhiteList />\n";
    for (const char* option : {"LearnFromMarkSpam", "LearnFromNotSpam", "ConsiderNonEnglishSpam"}) {
      WriteDwordValue(store_, option, 1);
    }
    work_ = host_.AddFolder(MemoryHost::kLocalFoldersId, "Work");
    host_.AddFolder(work_, "Inbox");  // a second "Inbox" is never watched
  }

  void TearDown() override {
    Unload();
    EXPECT_EQ(host_.LiveObjects(), 0);
    EXPECT_EQ(host_.Subscriptions(), 0u);
    EXPECT_EQ(host_.ComponentInitializations(), host_.ComponentUninitializations());
  }

  void Load() {
    app_ = std::make_unique<FilterApp>(AppServices{clock_, fs_, store_, ui_, faults_, loop_});
    app_->InitInstance();
  }
  void Unload() {
    if (!app_) return;
    app_->ExitInstance();
    app_.reset();
  }
  void Started() {
    Load();
    host_.RaiseInit();
    spam_ = host_.FolderId("DedoZarozo");
  }
  // Runs a toolbar command as a click would: through the hidden window.
  void Command(uint32_t id) {
    app_->controller()->PostCommand(id);
    loop_.RunPending();
  }
  void Select(int32_t folder, std::vector<int32_t> ids) {
    host_.SetCurrentFolder(folder);
    host_.SetSelection(std::move(ids));
  }
  int32_t Add(int32_t folder, const std::string& from, const std::string& extra = "") {
    HostHeaders headers = {{"From", from}, {"Subject", "note " + extra}};
    if (!extra.empty()) headers.push_back({"X-TVX-LEARN", extra});
    return host_.AddMessage(folder, headers, "see you at the meeting tomorrow");
  }
  std::string Header(int32_t folder, int32_t id, const std::string& name) {
    for (const auto& [n, v] : host_.Message(folder, id).headers) {
      if (n == name) return v;
    }
    return "(none)";
  }
  std::string Database() {
    std::string text = fs_.files()["/p/words.db"];
    Scramble(text.data(), text.size());
    return text;
  }
  int32_t Spam() { return app_->bayesFilter().SpamMessageCount(); }
  int32_t Clean() { return app_->bayesFilter().CleanMessageCount(); }

  ManualClock clock_{1'700'000'000};
  MemoryFileSystem fs_;
  MemorySettingsStore store_;
  ScriptedUi ui_;
  MemoryHost host_;
  FaultInjectingHost faults_{host_};  // what the plug-in reaches
  ManualEventLoop loop_;
  std::unique_ptr<FilterApp> app_;
  int32_t work_ = 0, spam_ = 0;
};

TEST_F(Plugin, SetsUpOnInitAndClassifiesOnlyWatchedFolders) {
  InitializePlugin();
  Load();
  EXPECT_EQ(host_.FolderId("DedoZarozo"), -1);  // nothing before the host is ready
  Started();
  ASSERT_NE(spam_, -1);
  EXPECT_EQ(host_.FolderWalk()[1], kInbox);
  ASSERT_EQ(host_.ToolbarCount(), 1u);
  EXPECT_EQ(host_.Toolbar(0).flags, (std::vector<int32_t>{0}));
  EXPECT_EQ(loop_.TimerPeriod(app_->controller(), PluginController::kToolbarTimerId), 1000u);
  EXPECT_EQ(app_->controller()->watchedFolders().size(), 2u);  // Inbox and Work

  const int32_t inboxMail = host_.DeliverNewMessage(kInbox, {{"From", "<a@spam.example>"}}, "x");
  const int32_t workMail = host_.DeliverNewMessage(work_, {{"From", "<b@ok.example>"}}, "hello");
  const int32_t sent = host_.DeliverNewMessage(MemoryHost::kSentItemsId, {{"From", "<c@d>"}}, "x");
  EXPECT_EQ(host_.Moves().size(), 1u);  // the blacklisted one went to DedoZarozo
  EXPECT_EQ(host_.Moves()[0].source_id, inboxMail);
  EXPECT_EQ(Header(work_, workMail, "X-TVX-RESULT"), "Clean");
  EXPECT_EQ(Header(MemoryHost::kSentItemsId, sent, "X-TVX-RESULT"), "(none)");

  // A folder made after start-up is not watched until the next "OnInitOEAPI".
  const int32_t later = host_.AddFolder(MemoryHost::kLocalFoldersId, "Later");
  const int32_t lateMail = host_.DeliverNewMessage(later, {{"From", "<b@ok.example>"}}, "x");
  EXPECT_EQ(Header(later, lateMail, "X-TVX-RESULT"), "(none)");

  host_.RaiseShutdown();
  host_.RaiseShutdown();  // nothing left to release
  EXPECT_TRUE(app_->controller()->watchedFolders().empty());
  host_.DeliverNewMessage(kInbox, {{"From", "<a@spam.example>"}}, "x");
  EXPECT_EQ(host_.Moves().size(), 1u);
  EXPECT_TRUE(ui_.MessageBoxes().empty());

  host_.RaiseInit();  // connects everything again
  EXPECT_EQ(host_.ToolbarCount(), 2u);
  EXPECT_EQ(app_->controller()->watchedFolders().size(), 3u);
}

// The spam folder found when the host started is the one spam goes to: no
// message walks the folders for it again.
TEST_F(Plugin, KeepsTheSpamFolderFoundAtStart) {
  const int32_t spam = host_.AddFolder(work_, "DedoZarozo");
  Started();
  EXPECT_EQ(spam_, spam);
  host_.ClearCalls();
  for (int i = 0; i < 3; ++i) host_.DeliverNewMessage(kInbox, {{"From", "<a@spam.example>"}}, "x");
  Select(kInbox, {Add(kInbox, "<x@y.example>")});
  Command(command::kMarkSpam);
  const std::vector<std::string> calls = host_.Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "GetFirstFolder"), 0);
  ASSERT_EQ(host_.Moves().size(), 4u);
  for (const MemoryHost::Move& move : host_.Moves()) EXPECT_EQ(move.target_folder, spam);
}

TEST_F(Plugin, MarkSpamLearnsMarksMovesAndSaves) {
  Started();
  const int32_t a = Add(kInbox, "<x@y.example>");
  const int32_t judged = Add(kInbox, "<x@y.example>", "Not Spam");
  const int saves = fs_.commits();
  Select(kInbox, {});
  Command(command::kMarkSpam);
  EXPECT_EQ(fs_.commits(), saves);  // nothing selected: not even a save

  Select(kInbox, {a, judged});
  Command(command::kMarkSpam);
  ASSERT_EQ(host_.Moves().size(), 1u);
  const int32_t moved = host_.Moves()[0].target_id;
  EXPECT_EQ(Header(spam_, moved, "X-TVX-LEARN"), "Spam");
  EXPECT_EQ(Header(kInbox, judged, "X-TVX-LEARN"), "Not Spam");
  EXPECT_EQ(Spam(), 1);
  EXPECT_NE(Database().find("Spam = 1\n"), std::string::npos);

  // In the spam folder itself nothing is moved; with learning turned off the
  // message is still marked.
  WriteDwordValue(store_, "LearnFromMarkSpam", 0);
  const int32_t there = Add(spam_, "<x@y.example>");
  Select(spam_, {there});
  Command(command::kMarkSpam);
  EXPECT_EQ(host_.Moves().size(), 1u);
  EXPECT_EQ(Header(spam_, there, "X-TVX-LEARN"), "Spam");
  EXPECT_EQ(Spam(), 1);
}

// The spam folder is found inside each message's move: a failure there is
// reported for that message, and the next one is still learnt, marked and moved.
TEST_F(Plugin, MarkSpamReportsAFailedSpamFolderLookupAndGoesOn) {
  Started();
  const int32_t first = Add(kInbox, "<x@y.example>");
  const int32_t second = Add(kInbox, "<x@y.example>");
  Select(kInbox, {first, second});
  faults_.FailNext("GetFirstFolder", status::kAccessDenied, "the folder list is locked");
  Command(command::kMarkSpam);
  EXPECT_EQ(ui_.MessageBoxTexts(), (std::vector<std::string>{"Access is denied."}));
  EXPECT_EQ(Header(kInbox, first, "X-TVX-LEARN"), "Spam");  // marked, left where it was
  ASSERT_EQ(host_.Moves().size(), 1u);
  EXPECT_EQ(host_.Moves()[0].source_id, second);
  EXPECT_EQ(Header(spam_, host_.Moves()[0].target_id, "X-TVX-LEARN"), "Spam");
  EXPECT_EQ(Spam(), 2);
  EXPECT_NE(Database().find("Spam = 2\n"), std::string::npos);

  // In the spam folder itself the message is neither moved nor marked read.
  WriteDwordValue(store_, "MarkReadBeforeMoving", 1);
  const int32_t there = Add(spam_, "<x@y.example>");
  Select(spam_, {there});
  host_.ClearCalls();
  Command(command::kMarkSpam);
  EXPECT_EQ(Header(spam_, there, "X-TVX-LEARN"), "Spam");
  const std::vector<std::string> calls = host_.Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "MoveMessage"), 0);
  EXPECT_FALSE(host_.Message(spam_, there).read);
}

TEST_F(Plugin, NotSpamAsksForADestinationOncePerCommand) {
  Started();
  const int32_t fresh = Add(spam_, "<x@y.example>");
  const int32_t markedSpam = Add(spam_, "<x@y.example>", "Spam");
  const int32_t markedGood = Add(spam_, "<x@y.example>", "Not Spam");
  Select(spam_, {fresh, markedSpam, markedGood});
  ui_.QueueScript("Select Destination Folder", [&](DialogDriver& d) {
    EXPECT_EQ(d.Rows(DestinationFolderDialog::kFolderBox)[0], "Inbox");
    // A message arriving while the dialog is open is classified inside it.
    host_.DeliverNewMessage(kInbox, {{"From", "<a@spam.example>"}}, "x");
    d.Select(DestinationFolderDialog::kFolderBox, 0);
    d.Click(kIdOk);
  });
  Command(command::kNotSpam);
  EXPECT_EQ(ui_.Dialogs().size(), 1u);
  std::vector<MemoryHost::Move> moves = host_.Moves();
  ASSERT_EQ(moves.size(), 3u);  // the nested spam, then the two messages judged here
  EXPECT_EQ(moves[1].target_folder, kInbox);
  EXPECT_EQ(Header(kInbox, moves[1].target_id, "X-TVX-LEARN"), "Not Spam");
  EXPECT_EQ(Header(spam_, markedGood, "X-TVX-LEARN"), "Not Spam");
  EXPECT_GE(Clean(), 2);  // one learnt, one corrected (at least once)

  // Cancel: learnt and marked, not moved; no setting stored.
  const int32_t other = Add(spam_, "<x@y.example>");
  Select(spam_, {other});
  ui_.QueueScript([](DialogDriver& d) {
    d.Tick(DestinationFolderDialog::kPermanent, true);
    d.Click(kIdCancel);
  });
  Command(command::kNotSpam);
  EXPECT_EQ(Header(spam_, other, "X-TVX-LEARN"), "Not Spam");
  EXPECT_EQ(host_.Moves().size(), 3u);
  EXPECT_EQ(FilterSettings(store_).GetNotSpamFolderName(), "");

  // A stored destination skips the dialog; outside the spam folder nothing moves.
  FilterSettings(store_).SetNotSpamFolderName("Work");
  const int32_t last = Add(spam_, "<x@y.example>");
  Select(spam_, {last});
  Command(command::kNotSpam);
  EXPECT_EQ(host_.Moves().back().target_folder, work_);
  const int32_t inInbox = Add(kInbox, "<x@y.example>");
  Select(kInbox, {inInbox});
  Command(command::kNotSpam);
  EXPECT_EQ(Header(kInbox, inInbox, "X-TVX-LEARN"), "Not Spam");
  EXPECT_EQ(ui_.Dialogs().size(), 2u);
}

// The front ends without dialogs name the messages and give the answers.
TEST_F(Plugin, NotSpamAndHeadersTakeTheirMessagesAndAnswersAsArguments) {
  Started();
  const int32_t a = Add(spam_, "<x@y.example>"), b = Add(spam_, "<x@y.example>", "Spam");
  Select(spam_, {});  // the messages are named, read in the current folder
  int asked = 0;
  const DestinationPicker pick = [&](std::vector<std::string>& names) {
    ++asked;
    EXPECT_NE(std::find(names.begin(), names.end(), "Work"), names.end());
    return std::optional<std::string>("Work");
  };
  app_->NotSpam({a, b}, pick);
  EXPECT_EQ(asked, 1);
  ASSERT_EQ(host_.Moves().size(), 2u);
  for (const MemoryHost::Move& move : host_.Moves()) {
    EXPECT_EQ(move.target_folder, work_);
    EXPECT_EQ(Header(work_, move.target_id, "X-TVX-LEARN"), "Not Spam");
  }
  // Outside the spam folder nothing is asked and nothing moves.
  const int32_t c = Add(kInbox, "<x@y.example>");
  Select(kInbox, {});
  app_->NotSpam({c}, pick);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(Header(kInbox, c, "X-TVX-LEARN"), "Not Spam");
  EXPECT_EQ(host_.Moves().size(), 2u);
  EXPECT_TRUE(ui_.Dialogs().empty());

  const std::optional<std::string> headers = app_->RawHeaders(kInbox, c);
  ASSERT_TRUE(headers);
  EXPECT_NE(headers->find("From: <x@y.example>"), std::string::npos) << *headers;
  EXPECT_NE(headers->find("X-TVX-LEARN: Not Spam"), std::string::npos) << *headers;
}

TEST_F(Plugin, TrainsOnTheFoldersChosenInTheTrainingDialog) {
  Started();
  const int32_t samples = host_.AddFolder(MemoryHost::kLocalFoldersId, "Samples");
  for (int i = 0; i < 3; ++i) Add(samples, "<s@s.example>");
  for (int i = 0; i < 2; ++i) Add(work_, "<w@w.example>");
  app_->bayesFilter().LearnMessage("old words here", "", 1);
  auto pick = [](const std::string& folder) {
    return [folder](DialogDriver& d) {
      const std::vector<std::string> rows = d.Rows(FolderPickDialog::kFolderList);
      for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] == folder) d.TickRow(FolderPickDialog::kFolderList, static_cast<int>(i), true);
      }
      d.Click(kIdOk);
    };
  };
  ui_.QueueScript("Train the Bayesian filter", [](DialogDriver& d) {
    d.Click(TrainingDialog::kSpamPick);
    d.Click(TrainingDialog::kGoodPick);
    EXPECT_EQ(d.Text(TrainingDialog::kSpamText), "Samples;");
    d.Tick(TrainingDialog::kEmptyFirst, true);
    d.Click(TrainingDialog::kStartTraining);
  });
  ui_.QueueScript(pick("Samples"));
  ui_.QueueScript(pick("Work"));
  Command(command::kTrainFilter);
  EXPECT_EQ(Spam(), 1 + 3);
  EXPECT_EQ(Clean(), 2);
  EXPECT_FALSE(app_->bayesFilter().engine().LookupWord("old"));  // emptied first
}

// Every save made for the user says so when the file cannot be written, in
// one box naming the file, shown where the save happens; the command goes on.
TEST_F(Plugin, EverySaveForTheUserSaysWhenTheDatabaseCannotBeWritten) {
  Started();
  fs_.FailCommits("/p/words.db");
  const std::string failed = "Cannot save database (/p/words.db)";
  Select(kInbox, {Add(kInbox, "<x@y.example>")});
  Command(command::kMarkSpam);
  EXPECT_EQ(ui_.MessageBoxTexts(), (std::vector<std::string>{failed}));
  EXPECT_EQ(host_.Moves().size(), 1u);

  ui_.QueueScript("Train the Bayesian filter", [](DialogDriver& d) {
    d.Tick(TrainingDialog::kEmptyFirst, true);
    d.Click(TrainingDialog::kStartTraining);
  });
  Command(command::kTrainFilter);
  EXPECT_EQ(ui_.MessageBoxTexts(), (std::vector<std::string>{failed, failed}));

  ui_.QueueScript("Settings", [](DialogDriver& d) {
    d.Click(SettingsDialog::kEmptyDatabase);
    d.PressEscape();
  });
  ui_.QueueAnswer(mb::kIdYes);
  Command(command::kSettings);
  EXPECT_EQ(
      ui_.MessageBoxTexts(),
      (std::vector<std::string>{failed, failed, "Are you sure you want to empty the Database?",
                                failed, "Database Empty"}));

  Unload();  // the forced save of the shutdown
  const std::vector<ScriptedUi::Shown> boxes = ui_.MessageBoxes();
  ASSERT_EQ(boxes.size(), 6u);
  for (size_t i : {0, 1, 3, 5}) {
    EXPECT_EQ(boxes[i].text, failed);
    EXPECT_EQ(boxes[i].caption, "Bayesian Plugin Error");
    EXPECT_EQ(boxes[i].style, 0x50030u);
    EXPECT_EQ(boxes[i].owner, -1);
  }
}

TEST_F(Plugin, ShowsRawHeadersOnlyForExactlyOneMessage) {
  Started();
  const int32_t a = Add(kInbox, "<x@y.example>");
  const int32_t b = Add(kInbox, "<x@y.example>");
  for (auto selection : {std::vector<int32_t>{}, std::vector<int32_t>{a, b}}) {
    Select(kInbox, selection);
    Command(command::kMailHeaders);
  }
  EXPECT_TRUE(ui_.Dialogs().empty());
  Select(kInbox, {a});
  Command(command::kMailHeaders);
  ASSERT_EQ(ui_.Dialogs().size(), 1u);
  EXPECT_EQ(ui_.Dialogs()[0].controlTexts.at(RawHeadersDialog::kHeaders),
            "From: <x@y.example>\r\nSubject: note \r\n");
}

TEST_F(Plugin, ReportsHostFailuresAndGoesOn) {
  faults_.FailNext("CreateApi", status::kFail);
  Started();
  EXPECT_EQ(ui_.MessageBoxTexts(), (std::vector<std::string>{"Unspecified error"}));
  EXPECT_EQ(host_.ToolbarCount(), 0u);
  EXPECT_EQ(app_->controller()->watchedFolders().size(), 2u);  // phase two still ran
}

TEST_F(Plugin, IgnoresTheHostAfterStopAndExitsWithoutItsInitialisation) {
  Load();
  Unload();
  Load();
  app_->controller()->Stop();
  host_.RaiseInit();
  EXPECT_EQ(host_.ToolbarCount(), 0u);
  EXPECT_TRUE(app_->controller()->watchedFolders().empty());
}

}  // namespace
}  // namespace tarvex
