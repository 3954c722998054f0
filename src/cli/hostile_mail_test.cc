// Hostile files in the Maildir and failing disks, met by the real daemon and
// the real program: nothing blocks, nothing outside the Maildir is read, and
// every error names the file, the operation and the system's reason.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <regex>

#include "testing/program.h"

namespace tarvex {
namespace {

using testing::ReadFile;
using testing::Result;
using testing::WaitUntil;
namespace fs = std::filesystem;

std::string Mail(const std::string& from, const std::string& subject) {
  return "From: " + from + "\nSubject: " + subject + "\nMessage-ID: <" + subject +
         "@test>\n\nthe agenda for monday\n";
}

class HostileMail : public testing::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ASSERT_EQ(Run("init").exit_code, 0);
  }

  // Sets a number in the settings file, as a user editing it would.
  void SetDword(const std::string& name, uint32_t value) {
    const std::string path = home_ + "/.config/tarvex/settings.reg";
    char line[64];
    std::snprintf(line, sizeof line, "\"%s\"=dword:%08x", name.c_str(), value);
    const std::string text = std::regex_replace(
        ReadFile(path), std::regex("\"" + name + "\"=dword:[0-9a-f]+"), std::string(line));
    ASSERT_NE(text.find(line), std::string::npos) << text;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }

  std::string New(const std::string& name) const { return Maildir() + "/new/" + name; }
  std::string Tmp(const std::string& name) const { return Maildir() + "/tmp/" + name; }

  // The file of a message once the daemon has written its verdict; empty
  // when it has not within the wait.
  std::string JudgedFile(const std::string& name) {
    std::string found;
    WaitUntil([&] {
      for (const std::string& folder : {Maildir(), SpamFolder()}) {
        const std::string file = folder + "/new/" + name;
        if (fs::exists(file) && ReadFile(file).find("X-TVX-RESULT") != std::string::npos) {
          found = file;
          return true;
        }
      }
      return false;
    });
    return found;
  }

  bool LogHas(const std::string& text) {
    return WaitUntil([&] { return DaemonLog().find(text) != std::string::npos; });
  }
};

TEST_F(HostileMail, FilesThatAreNotMessagesAreSkippedWithALogLine) {
  const std::string secret = Message("secret", Mail("a@b.example", "secret"));
  // A FIFO that came while nothing watched must not keep the daemon from
  // starting.
  ASSERT_EQ(mkfifo(New("1.early-fifo").c_str(), 0600), 0);
  StartDaemon();
  // A link renamed in from tmp/ and one made in place, a dangling one, a
  // FIFO renamed in, a folder.
  ASSERT_EQ(symlink(secret.c_str(), Tmp("2.link").c_str()), 0);
  fs::rename(Tmp("2.link"), New("2.link"));
  ASSERT_EQ(symlink(secret.c_str(), New("3.link").c_str()), 0);
  ASSERT_EQ(symlink((home_ + "/nowhere").c_str(), New("4.dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(Tmp("5.fifo").c_str(), 0600), 0);
  fs::rename(Tmp("5.fifo"), New("5.fifo"));
  fs::create_directory(New("6.folder"));
  Deliver("7.after", Mail("c@d.example", "after"));

  EXPECT_NE(JudgedFile("7.after"), "") << DaemonLog();
  const struct {
    const char* name;
    const char* kind;
  } skipped[] = {{"1.early-fifo", "a FIFO"},    {"2.link", "a symbolic link"},
                 {"3.link", "a symbolic link"}, {"4.dangling", "a symbolic link"},
                 {"5.fifo", "a FIFO"},          {"6.folder", "a folder"}};
  for (const auto& s : skipped) {
    EXPECT_TRUE(LogHas("tarvex: skipped " + New(s.name) + ": " + s.kind + "\n")) << DaemonLog();
  }
  EXPECT_TRUE(fs::is_symlink(New("2.link")) && fs::is_symlink(New("3.link")));
  EXPECT_EQ(ReadFile(secret), Mail("a@b.example", "secret"));
  // And a restart goes past the FIFOs again.
  StopDaemon();
  StartDaemon();
}

TEST_F(HostileMail, AJudgedMessageKeepsItsMode) {
  ASSERT_EQ(Run("blacklist add spammer@evil.example").exit_code, 0);
  StartDaemon();
  for (const char* name : {"clean", "listed"}) {
    std::ofstream(Tmp(name)) << Mail(
        std::string(name) == "listed" ? "spammer@evil.example" : "c@d.example", name);
    ASSERT_EQ(chmod(Tmp(name).c_str(), 0640), 0);
    fs::rename(Tmp(name), New(name));
  }
  const std::string spam = SpamFolder() + "/new/listed";
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(spam); })) << DaemonLog();
  for (const std::string& file : {JudgedFile("clean"), spam}) {
    ASSERT_NE(file, "") << DaemonLog();
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << file;
  }
}

TEST_F(HostileMail, ABareSenderAddressMeetsTheBlacklist) {
  ASSERT_EQ(Run("blacklist add spammer@evil.example").exit_code, 0);
  ASSERT_EQ(Run("blacklist add x@evil.example").exit_code, 0);
  const struct {
    const char* name;
    const char* from;
    const char* reason;
  } senders[] = {
      {"bare", "spammer@evil.example", "spammer@evil.example in blacklist"},
      {"comment", "x@evil.example (X)", "x@evil.example in blacklist"},
      {"named", "Name <spammer@evil.example>", "spammer@evil.example in blacklist"},
  };
  StartDaemon();
  for (const auto& s : senders) Deliver(s.name, Mail(s.from, s.name));
  for (const auto& s : senders) {
    // The verdict is written in the Inbox before the move: only the spam
    // folder's copy is the end of the road.
    const std::string file = SpamFolder() + "/new/" + s.name;
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(file); })) << DaemonLog();
    EXPECT_NE(ReadFile(file).find(std::string("X-TVX-REASON: ") + s.reason), std::string::npos);
    // The message keeps the header as it was written.
    EXPECT_NE(ReadFile(file).find(std::string("From: ") + s.from + "\n"), std::string::npos);
  }
  // Read raw, the header is taken as written: no brackets, no list test.
  const std::string bare = Message("bare.eml", Mail("spammer@evil.example", "raw"));
  EXPECT_NE(Run("classify " + bare).out.find(": blacklisted,"), std::string::npos);
  EXPECT_EQ(Run("classify --raw " + bare).out.find(": blacklisted,"), std::string::npos);
}

TEST_F(HostileMail, MessagesAboveTheSizeLimitAreLeftAloneAndPassedOn) {
  SetDword("MaxMessageSize", 4096);
  const std::string big = Mail("c@d.example", "big") + std::string(8192, 'x') + "\n";
  const std::string small = Mail("c@d.example", "small");
  StartDaemon();
  Deliver("big", big);
  Deliver("small", small);
  EXPECT_NE(JudgedFile("small"), "") << DaemonLog();
  const std::string tooBig =
      "too big to judge (" + std::to_string(big.size()) + " bytes; MaxMessageSize 4096)";
  EXPECT_TRUE(LogHas("tarvex: skipped " + New("big") + ": " + tooBig + "\n")) << DaemonLog();
  EXPECT_EQ(ReadFile(New("big")), big);

  // filter, with the daemon and without: the message goes on unchanged.
  for (bool daemon : {true, false}) {
    if (!daemon) StopDaemon();
    Result r = Run("filter", big);
    EXPECT_EQ(r.exit_code, 3) << daemon;
    EXPECT_EQ(r.out, big);
    EXPECT_EQ(r.err, "tarvex: standard input: " + tooBig + "; passed on unchanged\n");
    r = Run("filter", small);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_NE(r.out.find("X-TVX-RESULT: Clean"), std::string::npos);
  }
}

// The daemon's memory in kB, now or at its peak ("VmRSS", "VmHWM").
long DaemonMemory(pid_t daemon, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(daemon) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

// A large message is held about twice while it is judged, and the memory
// goes back after.
TEST_F(HostileMail, ALargeMessageCostsTwiceItsSizeWhileJudgedOnly) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own memory would be measured";
#endif
  constexpr long kSize = 40 << 20;
  SetDword("MaxMessageSize", 64 << 20);
  std::string text = Mail("c@d.example", "large");
  for (int i = 0; text.size() < kSize; ++i) text += "word" + std::to_string(i % 5000) + " ";
  std::ofstream(Tmp("large")) << text;
  StartDaemon();
  const long before = DaemonMemory(daemon_, "VmRSS");
  fs::rename(Tmp("large"), New("large"));
  ASSERT_NE(JudgedFile("large"), "") << DaemonLog();
  ASSERT_TRUE(LogHas("Inbox #"));
  EXPECT_LT(DaemonMemory(daemon_, "VmHWM"), before + (2 * kSize + (24 << 20)) / 1024);
  EXPECT_LT(DaemonMemory(daemon_, "VmRSS"), before + (16 << 10));
}

// More than the daemon takes in one request: the client answers by itself.
TEST_F(HostileMail, FilterPassesOnAMessageAboveTheDefaultLimitWithTheDaemonRunning) {
  const std::string big = Mail("c@d.example", "huge") + std::string(size_t{21} << 20, 'x') + "\n";
  StartDaemon();
  const Result r = Run("filter", big);
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_TRUE(r.out == big) << r.out.size();
  EXPECT_NE(r.err.find("too big to judge"), std::string::npos) << r.err;
}

TEST_F(HostileMail, HostErrorsNameTheFileTheOperationAndTheReason) {
  ASSERT_EQ(Run("blacklist add spammer@evil.example").exit_code, 0);
  // A spam folder that cannot take messages, even for root: its new/ is a file.
  fs::remove(SpamFolder() + "/new");
  std::ofstream(SpamFolder() + "/new") << "not a folder";
  StartDaemon();
  Deliver("listed", Mail("spammer@evil.example", "listed"));
  // The message box's text, then the host's own account.
  EXPECT_TRUE(LogHas("Tarvex: Unspecified error (cannot move " + New("listed") +
                     " to DedoZarozo: Not a directory)\n"))
      << DaemonLog();

  // The command line's error output says the same.
  Deliver("chosen", Mail("c@d.example", "chosen"));
  ASSERT_NE(JudgedFile("chosen"), "");
  const Result r = Run("mark-spam " + New("chosen"));
  EXPECT_NE(r.err.find("Tarvex: Unspecified error (cannot move " + New("chosen") +
                       " to DedoZarozo: Not a directory)\n"),
            std::string::npos)
      << r.err;
}

// A disk that fills up cannot be made in a test; a file size limit fails the
// same write in the same place.
TEST_F(HostileMail, AWriteThatFailsIsLoggedWithTheSystemsReason) {
  const std::string message = Mail("c@d.example", "large") + std::string(8192, 'x') + "\n";
  std::ofstream(Tmp("large")) << message;
  // The daemon inherits both: the signal ignored, so the write fails instead.
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = {4096, old.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  StartDaemon();
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
  fs::rename(Tmp("large"), New("large"));
  EXPECT_TRUE(LogHas("Tarvex: Unspecified error (cannot write the new version of " + New("large") +
                     " in " + Maildir() + "/tmp: File too large)\n"))
      << DaemonLog();
  EXPECT_EQ(ReadFile(New("large")), message);
}

}  // namespace
}  // namespace tarvex
