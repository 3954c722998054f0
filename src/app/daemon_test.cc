// The daemon's life in one process: a real Maildir and GLib loop, the profile
// in memory, so that what reaches the word database file, and when, shows.
#include "app/daemon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/maildir_session.h"
#include "bayes/database_file.h"
#include "testing/temp_folder.h"
#include "ui/user_interface.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

class DaemonLife : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"/tmp", "/new", "/cur"}) fs::create_directory(root_ + sub);
    WriteStringValue(store_, "WordFilePath", "/p/words.db");
    WriteStringValue(store_, "BlackListPath", "/p/black.xml");
    files_.files()["/p/black.xml"] =
        "<BlackList>\n    <Domain Name=\"spam.example\" />\n</BlackList>\n";
    WriteDwordValue(store_, "LearnFromBlackListed", 1);
  }

  void Deliver(const std::string& name, const std::string& text) {
    std::ofstream(root_ + "/tmp/" + name) << text;
    fs::rename(root_ + "/tmp/" + name, root_ + "/new/" + name);
  }
  std::string Database() {
    std::string text = files_.files()["/p/words.db"];
    Scramble(text.data(), text.size());
    return text;
  }

  testing::TempFolder temp_{"tarvex-daemon"};
  const std::string root_ = temp_.path();
  ManualClock clock_{1'700'000'000};
  MemoryFileSystem files_;
  MemorySettingsStore store_;
  RecordingUi ui_;
  GLibEventLoop loop_;
};

TEST_F(DaemonLife, JudgesLogsSavesWhenChangedAndStopsInOrder) {
  Deliver("early", "From: A <a@spam.example>\nSubject: before start\n\nbody\n");
  std::ostringstream log;
  std::vector<std::string> saved;  // the database at each save period
  {
    MaildirSession session({clock_, files_, store_, ui_, loop_}, root_);
    DaemonOptions options;
    options.savePeriodMs = 30;
    int ticks = 0;
    loop_.Every(options.savePeriodMs, [&] {
      saved.push_back(Database());
      if (++ticks == 2) Deliver("late", "From: B <b@spam.example>\nSubject: while up\n\nbody\n");
      if (ticks == 6) loop_.Quit();
    });
    EXPECT_TRUE(RunDaemon(session, loop_, options, log));
    EXPECT_EQ(session.app().controller(), nullptr);  // ExitInstance ran
  }
  // Both blacklisted messages were judged, logged and learnt; the learnt
  // words reached the file at a periodic save, not only at exit.
  EXPECT_TRUE(fs::exists(root_ + "/.DedoZarozo/new/early"));
  EXPECT_TRUE(fs::exists(root_ + "/.DedoZarozo/new/late"));
  const std::string text = log.str();
  EXPECT_NE(text.find("(1 waiting messages judged)"), std::string::npos) << text;
  EXPECT_NE(text.find("Inbox #1: blacklisted, moved to DedoZarozo, learnt\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Inbox #2: blacklisted, moved to DedoZarozo, learnt\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("tarvex: stopping\n"), std::string::npos);
  ASSERT_EQ(saved.size(), 6u);
  EXPECT_NE(saved.back().find("Spam = 2\n"), std::string::npos) << saved.back();
  EXPECT_NE(Database().find("Spam = 2\n"), std::string::npos);
  EXPECT_TRUE(ui_.boxes.empty());
}

// The message box of a failed save names only the file; the log says why,
// and a broken sender list is warned about at start-up.
TEST_F(DaemonLife, LogsWhyASaveFailedAndWhichListIsBroken) {
  files_.files()["/p/black.xml"] = "<BlackList>\n    <Domain Name='spam.example />\n";
  Deliver("early", "Subject: before start\n\nbody\n");
  files_.FailAppends("/p/words.db");
  std::ostringstream log;
  {
    MaildirSession session({clock_, files_, store_, ui_, loop_}, root_);
    DaemonOptions options;
    options.savePeriodMs = 30;
    loop_.Every(10, [&] { session.app().bayesFilter().LearnMessage("some words", "", 1); });
    loop_.Every(100, [&] { loop_.Quit(); });
    EXPECT_TRUE(RunDaemon(session, loop_, options, log));
  }
  const std::string text = log.str();
  EXPECT_NE(text.find("tarvex: warning: /p/black.xml: line 2, column 13: "), std::string::npos)
      << text;
  EXPECT_NE(text.find("tarvex: /p/words.db: cannot write: No space left on device\n"),
            std::string::npos)
      << text;
  ASSERT_FALSE(ui_.boxes.empty());
  EXPECT_EQ(ui_.boxes[0].text, "Cannot save database (/p/words.db)");
}

TEST(JudgedLine, NamesFolderVerdictScoreAndFate) {
  ClassifyResult result;
  result.outcome = Outcome::kSpam;
  result.headers = {{"X-TVX-RESULT", "Spam"},
                    {"X-TVX-SCORE", "Bayesian Score = 99"},
                    {"X-TVX-TOP-WORDS", " pills 99\r\n"}};
  result.moved = true;
  EXPECT_EQ(JudgedLine(result, 7, "Work"),
            "Work #7: spam, Bayesian Score = 99, moved to DedoZarozo");
  result = {};
  result.outcome = Outcome::kUntouched;
  result.failed = true;
  EXPECT_EQ(JudgedLine(result, 8, "Inbox"), "Inbox #8: untouched, stopped by a host failure");
}

}  // namespace
}  // namespace tarvex
