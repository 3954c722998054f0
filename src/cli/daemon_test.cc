// The daemon and the client end to end: the real program on a real Maildir,
// messages delivered as a mail delivery agent delivers them.
#include <algorithm>
#include <cstdlib>
#include <set>
#include <vector>

#include "bayes/database_file.h"
#include "testing/program.h"

namespace tarvex {
namespace {

using testing::ReadFile;
using testing::Result;
using testing::WaitUntil;
namespace fs = std::filesystem;

std::string Mail(const std::string& from, const std::string& subject, const std::string& body) {
  return "From: Someone <" + from + ">\nSubject: " + subject + "\nMessage-ID: <" + subject +
         "@test>\n\n" + body + "\n";
}

// Every message file of a folder's new/ and cur/, by unique name.
std::multiset<std::string> UniqueNames(const std::string& folder) {
  std::multiset<std::string> names;
  for (const char* sub : {"/new", "/cur"}) {
    if (!fs::exists(folder + sub)) continue;
    for (const auto& entry : fs::directory_iterator(folder + sub)) {
      const std::string name = entry.path().filename().string();
      names.insert(name.substr(0, name.find(':')));
    }
  }
  return names;
}

bool Judged(const std::string& file) {
  return ReadFile(file).find("X-TVX-RESULT: ") != std::string::npos;
}

class Daemon : public testing::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ASSERT_EQ(Run("init").exit_code, 0);
    for (int i = 0; i < 4; ++i) {
      const std::string n = std::to_string(i);
      ASSERT_EQ(Run("learn --spam " + Message("s" + n, Mail("a@b.example", "cheap pills " + n,
                                                            "buy cheap pills viagra now")))
                    .exit_code,
                0);
      ASSERT_EQ(Run("learn --clean " + Message("h" + n, Mail("c@d.example", "meeting " + n,
                                                             "agenda for the monday meeting")))
                    .exit_code,
                0);
    }
  }

  // Where the message of that unique name ended up, judged; empty until then.
  std::string JudgedFile(const std::string& unique) {
    for (const std::string& folder : {Maildir(), SpamFolder()}) {
      for (const char* sub : {"/new/", "/cur/"}) {
        const std::string file = folder + sub + unique;
        if (fs::exists(file) && Judged(file)) return file;
      }
    }
    return {};
  }
};

TEST_F(Daemon, JudgesDeliveriesAndServesTheClient) {
  Result r = Run("blacklist add --domain spam.example");  // no daemon yet: runs here
  ASSERT_EQ(r.exit_code, 0) << r.err;
  StartDaemon();

  Deliver("listed", Mail("x@Spam.Example", "hello", "a note"));
  Deliver("pills", Mail("a@b.example", "cheap pills", "buy cheap pills viagra"));
  Deliver("agenda", Mail("c@d.example", "meeting", "the agenda for monday"));
  // A message's log line follows its last change on disk.
  std::string log;
  ASSERT_TRUE(WaitUntil([&] {
    log = DaemonLog();
    return std::count(log.begin(), log.end(), '#') == 3;
  })) << log;
  EXPECT_EQ(JudgedFile("listed"), SpamFolder() + "/new/listed");
  EXPECT_NE(ReadFile(JudgedFile("listed")).find("X-TVX-REASON: Spam.Example domain in blacklist"),
            std::string::npos);
  EXPECT_EQ(JudgedFile("pills"), SpamFolder() + "/new/pills");
  EXPECT_EQ(JudgedFile("agenda"), Maildir() + "/new/agenda");
  const std::string agenda = ReadFile(JudgedFile("agenda"));
  EXPECT_EQ(agenda.substr(agenda.find("\n\n")), "\n\nthe agenda for monday\n");  // body kept
  EXPECT_NE(log.find(": blacklisted, moved to DedoZarozo"), std::string::npos) << log;
  EXPECT_NE(log.find(": clean, Bayesian Score = "), std::string::npos) << log;

  // The client's commands run in the daemon, which owns the word database.
  r = Run("not-spam pills");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "pills: " + Maildir() + "/new/pills\n");
  EXPECT_NE(ReadFile(Maildir() + "/new/pills").find("X-TVX-LEARN: Not Spam"), std::string::npos);
  EXPECT_NE(Run("stats").out.find("\nSpam messages: 4\nClean messages: 5\n"), std::string::npos);
  EXPECT_EQ(Run("blacklist list").out, "domain spam.example\n");
  r = Run("filter", Mail("y@spam.example", "offer", "click"));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("Message-ID: <offer@test>\nX-TVX-RESULT: Spam\nX-TVX-REASON: "),
            std::string::npos)
      << r.out;
  EXPECT_EQ(Run("filter", Mail("c@d.example", "meeting", "agenda monday")).exit_code, 1);
  EXPECT_EQ(Run("init").exit_code, 1);  // the profile is the daemon's

  EXPECT_EQ(StopDaemon(SIGTERM), 0);
  EXPECT_NE(DaemonLog().find("stopping"), std::string::npos);
  // The correction reached the file at exit, and the client runs alone again.
  EXPECT_NE(Run("stats").out.find("Clean messages: 5\n"), std::string::npos);
}

// The daemon judges by the lists as the client last left them.
TEST_F(Daemon, JudgesByListEditsMadeWhileItRuns) {
  StartDaemon();
  const std::string mail = Mail("x@late.example", "hello", "a note");
  const std::string listed = "X-TVX-REASON: late.example domain in blacklist";
  Result r = Run("blacklist add --domain late.example");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Tarvex: Item Added To Blacklist\n");
  EXPECT_NE(Run("filter", mail).out.find(listed), std::string::npos);
  ASSERT_EQ(Run("blacklist rename --domain late.example later.example").exit_code, 0);
  EXPECT_EQ(Run("filter", mail).out.find(listed), std::string::npos);
  EXPECT_NE(Run("filter", Mail("x@later.example", "hello", "a note"))
                .out.find("X-TVX-REASON: later.example domain in blacklist"),
            std::string::npos);
  ASSERT_EQ(Run("blacklist remove --domain later.example").exit_code, 0);
  EXPECT_EQ(Run("filter", Mail("x@later.example", "hi", "a note")).out.find("in blacklist"),
            std::string::npos);
  EXPECT_EQ(StopDaemon(SIGTERM), 0);
}

TEST_F(Daemon, LosesNothingWhenKilledDuringABurst) {
  StartDaemon();
  constexpr int kMessages = 300;
  for (int i = 0; i < kMessages; ++i) {
    const std::string n = std::to_string(i);
    Deliver("m" + n, Mail("a@b.example", i % 2 ? "cheap pills " + n : "meeting " + n,
                          i % 2 ? "buy cheap pills viagra" : "agenda for monday"));
    if (i == kMessages / 3) StopDaemon(SIGKILL);
  }
  StartDaemon();  // judges what arrived while it was down
  ASSERT_TRUE(WaitUntil([&] {
    for (int i = 0; i < kMessages; ++i) {
      if (JudgedFile("m" + std::to_string(i)).empty()) return false;
    }
    return true;
  })) << DaemonLog();
  EXPECT_EQ(StopDaemon(SIGTERM), 0);  // no move under way while the folders are counted
  std::multiset<std::string> all = UniqueNames(Maildir());
  const std::multiset<std::string> spam = UniqueNames(SpamFolder());
  all.insert(spam.begin(), spam.end());
  EXPECT_EQ(all.size(), size_t{kMessages});
  for (int i = 0; i < kMessages; ++i) EXPECT_EQ(all.count("m" + std::to_string(i)), 1u) << i;
  EXPECT_GE(spam.size(), size_t{kMessages / 2 - 10});
}

TEST_F(Daemon, ClientCommandsRunWithoutADaemon) {
  Deliver("one", Mail("a@b.example", "cheap pills", "buy cheap pills"));
  Result r = Run("mark-spam " + Maildir() + "/new/one");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, Maildir() + "/new/one: " + SpamFolder() + "/new/one\n");
  EXPECT_NE(ReadFile(SpamFolder() + "/new/one").find("X-TVX-LEARN: Spam"), std::string::npos);
  r = Run("headers one");
  EXPECT_EQ(r.out.rfind("From: Someone <a@b.example>\nSubject: cheap pills\n", 0), 0u) << r.out;
  EXPECT_EQ(Run("mark-spam nosuch").exit_code, 1);
  // A mail reader pipes the message as stored, after an mbox "From " line.
  r = Run("not-spam --stdin", "From a@b.example Sat Dec  5 10:00:00 2026\n" +
                                  ReadFile(SpamFolder() + "/new/one") + "\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, SpamFolder() + "/new/one: " + Maildir() + "/new/one\n");
  EXPECT_NE(ReadFile(Maildir() + "/new/one").find("X-TVX-LEARN: Not Spam"), std::string::npos);
  EXPECT_EQ(Run("mark-spam --stdin", "Subject: no id\n\nhi\n").exit_code, 1);
  EXPECT_EQ(Run("mark-spam --stdin one").exit_code, 2);

  EXPECT_EQ(Run("whitelist add mum@home.example dad@home.example").exit_code, 0);
  EXPECT_EQ(Run("whitelist rename mum@home.example mother@home.example").exit_code, 0);
  EXPECT_EQ(Run("whitelist remove dad@home.example").exit_code, 0);
  EXPECT_EQ(Run("whitelist add mother@HOME.example").exit_code, 1);  // already there
  EXPECT_EQ(Run("whitelist list").out, "address mother@home.example\n");

  EXPECT_EQ(Run("settings set BeepAtSpam on").exit_code, 0);
  r = Run("settings");
  EXPECT_NE(r.out.find("BeepAtSpam: on\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("LearnFromBlackListed: off\n"), std::string::npos) << r.out;
  r = Run("settings empty-db");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Run("stats").out.rfind("Words: 0\n", 0), 0u);
  EXPECT_NE(Run("about").out.find("Tarvex"), std::string::npos);
}

// The lines of the daemon's log that tell of a judged message.
size_t JudgedLines(const std::string& log) {
  size_t lines = 0;
  for (size_t at = log.find(" #"); at != std::string::npos; at = log.find(" #", at + 1)) ++lines;
  return lines;
}

TEST_F(Daemon, WhitelistedMailIsJudgedAndLearntOnceWhateverTheRestarts) {
  ASSERT_EQ(Run("whitelist add friend@home.example").exit_code, 0);
  ASSERT_EQ(Run("settings set LearnFromWhiteListed on").exit_code, 0);
  auto clean = [&] {
    const std::string stats = Run("stats").out;
    const size_t at = stats.find("Clean messages: ");
    return at == std::string::npos ? -1 : std::atoi(stats.c_str() + at + 16);
  };
  const int before = clean();
  Deliver("early", Mail("friend@home.example", "while down", "before the daemon ran"));
  StartDaemon();  // judges what came while it was down
  Deliver("later", Mail("friend@home.example", "while up", "see you"));
  ASSERT_TRUE(WaitUntil([&] { return JudgedLines(DaemonLog()) == 2; })) << DaemonLog();
  EXPECT_EQ(StopDaemon(SIGTERM), 0);
  EXPECT_EQ(clean(), before + 2);
  // Two more starts, the second ended by a kill, then one more: both
  // messages still wait unmarked in new/, and none is judged again.
  for (int signal : {SIGTERM, SIGKILL, SIGTERM}) {
    StartDaemon();
    EXPECT_NE(DaemonLog().find("(0 waiting messages judged)"), std::string::npos) << DaemonLog();
    StopDaemon(signal);
  }
  EXPECT_EQ(clean(), before + 2);
  for (const char* name : {"early", "later"}) {
    EXPECT_EQ(ReadFile(Maildir() + "/new/" + name).find("X-TVX-"), std::string::npos) << name;
  }
  // Mail that comes while it is down is still judged at the next start.
  Deliver("third", Mail("friend@home.example", "again", "one more"));
  StartDaemon();
  EXPECT_NE(DaemonLog().find("(1 waiting messages judged)"), std::string::npos) << DaemonLog();
  EXPECT_EQ(StopDaemon(SIGTERM), 0);
  EXPECT_EQ(clean(), before + 3);
}

TEST_F(Daemon, MailFilteredOnItsWayInIsNotJudgedAgain) {
  const Result filtered = Run("filter", Mail("a@b.example", "cheap pills", "buy cheap pills now"));
  ASSERT_NE(filtered.out.find("X-TVX-RESULT: "), std::string::npos) << filtered.out;
  StartDaemon();
  Deliver("filtered", filtered.out);  // as a delivery recipe with "tarvex filter" does
  Deliver("plain", Mail("c@d.example", "meeting", "the agenda for monday"));
  // Events are taken in order: once the second is judged, the first was seen.
  ASSERT_TRUE(WaitUntil([&] { return !JudgedFile("plain").empty(); })) << DaemonLog();
  EXPECT_EQ(StopDaemon(SIGTERM), 0);
  EXPECT_EQ(JudgedLines(DaemonLog()), 1u) << DaemonLog();
  EXPECT_EQ(ReadFile(Maildir() + "/new/filtered"), filtered.out);  // untouched, not moved
}

// The corpus's messages of a folder, sorted; even positions train, odd test.
std::vector<std::string> CorpusHalf(const std::string& folder, int parity, size_t count) {
  std::vector<std::string> all, half;
  for (const auto& entry : fs::directory_iterator(folder)) all.push_back(entry.path().string());
  std::sort(all.begin(), all.end());
  for (size_t i = parity; i < all.size() && half.size() < count; i += 2) half.push_back(all[i]);
  return half;
}

std::string Joined(const std::vector<std::string>& files) {
  std::string joined;
  for (const std::string& file : files) joined += " " + file;
  return joined;
}

TEST_F(Daemon, SortsASliceOfTheCorpus) {
  const char* corpus = std::getenv("TARVEX_CORPUS");
  if (!corpus) GTEST_SKIP() << "TARVEX_CORPUS (the corpus's data folder) is not set";
  const std::string data = corpus;
  ASSERT_EQ(Run("learn --spam" + Joined(CorpusHalf(data + "/spam-2", 0, 300))).exit_code, 0);
  ASSERT_EQ(Run("learn --clean" + Joined(CorpusHalf(data + "/easy-ham-1", 0, 300))).exit_code, 0);
  StartDaemon();
  const std::vector<std::string> spam = CorpusHalf(data + "/spam-2", 1, 100);
  const std::vector<std::string> ham = CorpusHalf(data + "/easy-ham-1", 1, 100);
  for (size_t i = 0; i < spam.size(); ++i) {
    Deliver("spam" + std::to_string(i), ReadFile(spam[i]));
    Deliver("ham" + std::to_string(i), ReadFile(ham[i]));
  }
  ASSERT_TRUE(WaitUntil([&] {
    for (size_t i = 0; i < spam.size(); ++i) {
      if (JudgedFile("spam" + std::to_string(i)).empty()) return false;
      if (JudgedFile("ham" + std::to_string(i)).empty()) return false;
    }
    return true;
  })) << DaemonLog();
  EXPECT_EQ(StopDaemon(SIGTERM), 0);  // no move under way while the folders are counted
  size_t caught = 0, misfiled = 0;
  for (const std::string& name : UniqueNames(SpamFolder())) {
    (name.rfind("spam", 0) == 0 ? caught : misfiled)++;
  }
  EXPECT_GE(caught, 80u);
  EXPECT_LE(misfiled, 2u);
  EXPECT_EQ(UniqueNames(Maildir()).size() + caught + misfiled, 200u);
}

}  // namespace
}  // namespace tarvex
