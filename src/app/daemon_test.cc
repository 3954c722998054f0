// The daemon's life in one process: a real Maildir and GLib loop, the profile
// in memory, so that what reaches the word database file, and when, shows.
#include "app/daemon.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/maildir_session.h"
#include "app/remote_operations.h"
#include "app/store_notices.h"
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
  std::ostringstream log_;
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

// A window's subscription on the daemon's real socket hears of each message
// the daemon judges and of each move a user's command makes, with no
// polling: the subscriber only reads.
TEST_F(DaemonLife, SubscribersHearOfEachJudgedMessageAndEachMove) {
  testing::TempFolder sockets{"tarvex-sockets"};
  const std::string path = sockets.path() + "/run/socket";
  CommandServer server(path);
  const auto connect = [&path] {
    std::string problem;
    return ConnectToServer(path, &problem);
  };
  std::vector<StoreNotice> heard;
  std::atomic<bool> subscribed{false}, done{false};
  std::thread window([&] {
    UniqueFd daemon = Subscribe(connect);
    subscribed = daemon.valid();
    Frame frame;
    StoreNotice notice;
    while (subscribed && heard.size() < 2 && ReadFrame(daemon.get(), &frame)) {
      if (!ReadNotice(frame, &notice)) break;
      heard.push_back(notice);
      if (notice.kind != StoreNotice::Kind::kJudged) continue;
      // The user marks the judged message as spam from the window.
      RecordingUi windowUi;
      RemoteOperations ops(connect, windowUi);
      std::vector<MessageRef> found;
      std::vector<std::string> now;
      if (ops.FindMessages({"clean"}, &found).ok()) ops.MarkSpam(found, &now);
    }
    done = true;
  });
  {
    MaildirSession session({clock_, files_, store_, ui_, loop_}, root_);
    SessionOwner owner(session, files_, store_);
    LocalOperations operations(owner);
    Subscribers subscribers;
    DaemonOptions options;
    options.commands = &server;
    AnswerClients(&options, operations, session.ui(), subscribers);
    bool delivered = false;
    loop_.Every(10, [&] {
      if (subscribed && !delivered) {
        Deliver("clean", "From: C <c@example.com>\nSubject: hello\n\nhello there\n");
        delivered = true;
      }
      if (done) loop_.Quit();
    });
    loop_.Every(5000, [&] { loop_.Quit(); });
    EXPECT_TRUE(RunDaemon(session, loop_, options, log_));
  }
  window.join();
  ASSERT_EQ(heard.size(), 2u) << log_.str();
  EXPECT_EQ(heard[0].kind, StoreNotice::Kind::kJudged);
  EXPECT_EQ(heard[0].folder, MaildirHost::kInboxId);
  EXPECT_EQ(heard[0].message, 1);
  EXPECT_EQ(heard[0].outcome, Outcome::kClean) << log_.str();
  EXPECT_EQ(heard[1].kind, StoreNotice::Kind::kChanged);
  EXPECT_TRUE(fs::exists(root_ + "/.DedoZarozo/new/clean") ||
              fs::exists(root_ + "/.DedoZarozo/cur/clean"));
}

// The daemon never waits on a subscriber: one that does not read is dropped
// once its connection is full, while one that reads keeps hearing; past the
// limit a subscription is refused.
TEST(SubscribersTest, ASubscriberThatDoesNotReadIsDroppedWithoutWaiting) {
  Subscribers subscribers(2);
  int deaf[2], reading[2], late[2];
  for (int* ends : {deaf, reading, late}) {
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  }
  UniqueFd deafEnd(deaf[0]), readingEnd(reading[0]), lateEnd(late[0]);
  subscribers.Add(UniqueFd(deaf[1]));
  subscribers.Add(UniqueFd(reading[1]));
  subscribers.Add(UniqueFd(late[1]));
  EXPECT_EQ(subscribers.count(), 2u);
  char byte;
  EXPECT_EQ(::recv(lateEnd.get(), &byte, 1, 0), 0);  // hung up on

  FrameDecoder decoder(4096, SIZE_MAX);
  std::vector<Frame> frames;
  char buffer[65536];
  for (int i = 0; i < 100000 && subscribers.count() == 2; ++i) {
    subscribers.Tell({StoreNotice::Kind::kJudged, 2, i, Outcome::kClean, false, false});
    const ssize_t got = ::recv(readingEnd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) decoder.Feed({buffer, static_cast<size_t>(got)}, &frames);
  }
  EXPECT_EQ(subscribers.count(), 1u);
  subscribers.Tell({StoreNotice::Kind::kChanged, -1, 0, Outcome::kUntouched, false, false});
  ssize_t got;
  while ((got = ::recv(readingEnd.get(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
    decoder.Feed({buffer, static_cast<size_t>(got)}, &frames);
  }
  ASSERT_GT(frames.size(), 2u);
  StoreNotice last;
  ASSERT_TRUE(ReadNotice(frames.back(), &last));
  EXPECT_EQ(last.kind, StoreNotice::Kind::kChanged);
  // The deaf one is at its end once it reads what fitted.
  while ((got = ::recv(deafEnd.get(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
  }
  EXPECT_EQ(got, 0);
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
