// The way from the client to the daemon, end to end: where the socket is
// whatever the environment, who may listen there, clients that send half a
// request or nothing, a profile that is busy, and the beep at spam. Tests
// that need another user run as root and run the program as a user id of
// its own.
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "app/profile.h"
#include "platform/command_socket.h"
#include "platform/profile_lock.h"
#include "testing/program.h"

namespace tarvex {
namespace {

using testing::ReadFile;
using testing::Result;
using testing::WaitUntil;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Mail(const std::string& from, const std::string& subject) {
  return "From: Someone <" + from + ">\nSubject: " + subject + "\n\nsome words\n";
}

sockaddr_un Address(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  return address;
}

UniqueFd Listen(const std::string& path) {
  UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_un address = Address(path);
  EXPECT_EQ(bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
  chmod(path.c_str(), 0666);
  EXPECT_EQ(listen(fd.get(), 8), 0);
  return fd;
}

UniqueFd Connect(const std::string& path, const std::string& bytes) {
  UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_un address = Address(path);
  EXPECT_EQ(connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0)
      << path;
  EXPECT_EQ(send(fd.get(), bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  return fd;
}

// Someone else listening where the daemon would: counts what clients send.
class Impostor {
 public:
  explicit Impostor(const std::string& path) : listener_(Listen(path)) {
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd ready{listener_.get(), POLLIN, 0};
        if (poll(&ready, 1, 50) <= 0) continue;
        UniqueFd client(accept(listener_.get(), nullptr, nullptr));
        const timeval patience{1, 0};
        setsockopt(client.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        char buffer[4096];
        for (ssize_t n; (n = recv(client.get(), buffer, sizeof buffer, 0)) > 0;) bytes_ += n;
      }
    });
  }
  ~Impostor() {
    stop_ = true;
    thread_.join();
  }
  size_t bytes() const { return bytes_; }

 private:
  UniqueFd listener_;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> bytes_{0};
  std::thread thread_;
};

// The profile's socket file name, the same in every folder.
std::string SocketName(const std::string& home) {
  const ProfilePaths paths = LocateProfile(
      {}, [&](const char* name) { return name == std::string("HOME") ? home.c_str() : nullptr; });
  return fs::path(paths.socket).filename().string();
}

long ResidentKiB(pid_t pid) {
  long size = 0, resident = 0;
  std::ifstream(("/proc/" + std::to_string(pid) + "/statm").c_str()) >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string SettingsFile(const std::string& home) { return home + "/.config/tarvex/settings.reg"; }

class Client : public testing::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ASSERT_EQ(Run("init").exit_code, 0);
  }
  std::string Socket() const { return home_ + "/run/tarvex/" + SocketName(home_); }
};

TEST_F(Client, IdleAndHalfSentRequestsHoldUpNeitherCommandsNorMail) {
  StartDaemon();
  std::vector<UniqueFd> idle;
  for (int i = 0; i < 3; ++i) idle.push_back(Connect(Socket(), ""));
  idle.push_back(Connect(Socket(), std::string("Q\x40\0\0\0", 5) + "half"));
  const Clock::time_point start = Clock::now();
  const Result r = Run("stats");
  const auto took = Clock::now() - start;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_LT(took, std::chrono::seconds(3));
  Deliver("meanwhile", Mail("a@b.example", "hello"));
  EXPECT_TRUE(WaitUntil([&] { return DaemonLog().find("Inbox #") != std::string::npos; },
                        std::chrono::seconds(3)))
      << DaemonLog();

  // A head that announces the largest frame costs nothing until bytes come.
  const long before = ResidentKiB(daemon_);
  const UniqueFd greedy = Connect(Socket(), std::string("Q\0\0\0\x10", 5));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_LT(ResidentKiB(daemon_) - before, 16 * 1024) << "KiB before: " << before;
  EXPECT_EQ(Run("stats").exit_code, 0);
}

TEST_F(Client, FilterGivesUpSoonOnABusyProfile) {
  pid_t holder = 0;
  const std::optional<ProfileLock> busy =
      ProfileLock::TryAcquire(SettingsFile(home_) + ".lock", &holder);
  ASSERT_TRUE(busy);
  const Clock::time_point start = Clock::now();
  const Result r = Run("filter", Mail("a@b.example", "hello"));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(8));
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_NE(r.err.find("in use by process " + std::to_string(getpid())), std::string::npos)
      << r.err;
}

TEST_F(Client, AMissingConfigFileIsNamedAndGetsNoLockFile) {
  const std::string missing = home_ + "/nosuch.reg";
  struct Case {
    std::string command;
    int exit_code;
  };
  // Only the command whose status is a verdict fails with 3; one that reads
  // a message to find it fails as any other.
  for (const Case& c : {Case{"stats", 1}, Case{"filter", 3}, Case{"mark-spam --stdin", 1}}) {
    const Result r = Run("--config " + missing + " " + c.command, Mail("a@b.example", "hi"));
    EXPECT_EQ(r.exit_code, c.exit_code) << c.command;
    EXPECT_EQ(r.err, "tarvex: " + missing + ": no such file (named by --config)\n") << c.command;
    EXPECT_FALSE(fs::exists(missing + ".lock")) << c.command;
  }
}

TEST_F(Client, ADaemonStartsWhileThePreviousOneLetsGo) {
  // What a daemon killed a moment ago does: holds the lock a little longer.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t going = fork();
  if (going == 0) {
    pid_t other = 0;
    const std::optional<ProfileLock> lock =
        ProfileLock::TryAcquire(SettingsFile(home_) + ".lock", &other);
    if (write(ready[1], "x", 1) != 1 || !lock) _exit(1);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    _exit(0);
  }
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  close(ready[1]);
  StartDaemon();
  EXPECT_EQ(DaemonLog().find("in use"), std::string::npos) << DaemonLog();
  waitpid(going, nullptr, 0);
  EXPECT_EQ(StopDaemon(SIGTERM), 0);

  // One that stays is named after a few seconds.
  pid_t holder = 0;
  const std::optional<ProfileLock> staying =
      ProfileLock::TryAcquire(SettingsFile(home_) + ".lock", &holder);
  const Result r = Run("run");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("in use by process " + std::to_string(getpid())), std::string::npos)
      << r.err;
}

// Starts the daemon with a terminal as its standard error; what it writes
// there gathers in terminal().
class TerminalDaemon : public Client {
 protected:
  void TearDown() override {
    Client::TearDown();
    if (reader_.joinable()) reader_.join();
    if (master_ >= 0) close(master_);
  }
  void StartOnTerminal() {
    const std::string command = "exec " + Environment() + Program() + "run";
    daemon_ = forkpty(&master_, nullptr, nullptr, nullptr);
    ASSERT_GE(daemon_, 0);
    if (daemon_ == 0) {
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    reader_ = std::thread([this] {
      char buffer[4096];
      for (ssize_t n; (n = read(master_, buffer, sizeof buffer)) > 0;) {
        std::lock_guard<std::mutex> hold(mutex_);
        terminal_.append(buffer, static_cast<size_t>(n));
      }
    });
    ASSERT_TRUE(WaitUntil([&] { return terminal().find("watching") != std::string::npos; }))
        << terminal();
  }
  std::string terminal() {
    std::lock_guard<std::mutex> hold(mutex_);
    return terminal_;
  }

  int master_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::string terminal_;
};

TEST_F(TerminalDaemon, BeepsAtSpamOnATerminalAndSaysSoInTheLog) {
  ASSERT_EQ(Run("blacklist add --domain spam.example").exit_code, 0);
  ASSERT_EQ(Run("whitelist add friend@home.example").exit_code, 0);
  ASSERT_EQ(Run("settings set BeepAtSpam on").exit_code, 0);
  StartOnTerminal();
  Deliver("friend", Mail("friend@home.example", "hello"));
  Deliver("offer", Mail("x@spam.example", "offer"));
  std::string seen;
  ASSERT_TRUE(WaitUntil([&] {
    seen = terminal();
    return std::count(seen.begin(), seen.end(), '#') == 2;
  })) << seen;
  EXPECT_NE(seen.find(": whitelisted\r\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find(": blacklisted, moved to DedoZarozo, beep\r\n"), std::string::npos) << seen;
  EXPECT_EQ(std::count(seen.begin(), seen.end(), '\a'), 1) << seen;
  EXPECT_EQ(StopDaemon(SIGTERM), 0);

  // A log that is a file says it, without the bell; with the setting off,
  // neither.
  StartDaemon();
  Deliver("again", Mail("y@spam.example", "again"));
  ASSERT_TRUE(WaitUntil([&] { return DaemonLog().find(" #") != std::string::npos; }));
  EXPECT_EQ(StopDaemon(SIGTERM), 0);
  const std::string withBeep = DaemonLog();
  ASSERT_EQ(Run("settings set BeepAtSpam off").exit_code, 0);
  StartDaemon();
  Deliver("quiet", Mail("z@spam.example", "quiet"));
  ASSERT_TRUE(WaitUntil([&] { return DaemonLog().find(" #") != std::string::npos; }));
  EXPECT_NE(withBeep.find("moved to DedoZarozo, beep\n"), std::string::npos) << withBeep;
  EXPECT_EQ(withBeep.find('\a'), std::string::npos);
  EXPECT_EQ(DaemonLog().find("beep"), std::string::npos) << DaemonLog();
}

// The program run as a user of its own, with no runtime folder in its
// environment (as under a delivery agent or cron).
class AnotherUser : public testing::ProgramTest {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
    ProgramTest::SetUp();
    user_ = 50000 + static_cast<uid_t>(getpid() % 10000);
    const std::string id = std::to_string(user_);
    runAs_ = "setpriv --reuid=" + id + " --regid=" + id + " --clear-groups ";
    runtimeDir_.clear();
    private_ = "/tmp/tarvex-" + id;
    session_ = "/run/user/" + id;
    Own(home_);
    Own(home_ + "/run");
    ASSERT_EQ(Run("init").exit_code, 0);
  }
  void TearDown() override {
    ProgramTest::TearDown();
    std::error_code ignored;
    fs::remove_all(private_, ignored);
    fs::remove_all(session_, ignored);
  }

  void Own(const std::string& path, mode_t mode = 0700) {
    ASSERT_EQ(lchown(path.c_str(), user_, user_), 0) << path;
    ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
  }
  void MakeFolder(const std::string& path, mode_t mode) {
    fs::create_directories(path);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  }
  // Runs the daemon and returns when it ends, or kills it after a while.
  Result RunDaemonToItsEnd() {
    const std::string as = runAs_;
    runAs_ = "timeout -s KILL 15 " + runAs_;
    const Result r = Run("run");
    runAs_ = as;
    return r;
  }

  uid_t user_ = 0;
  std::string private_, session_;
};

TEST_F(AnotherUser, MakesItsPrivateFolderAndMeetsItsClientsThere) {
  StartDaemon();
  struct stat status;
  ASSERT_EQ(lstat(private_.c_str(), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
  EXPECT_EQ(status.st_uid, user_);
  EXPECT_EQ(status.st_mode & 07777, 0700u);
  EXPECT_TRUE(fs::exists(private_ + "/" + SocketName(home_)));
  const Result r = Run("stats");  // the daemon holds the profile: only it can answer
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

TEST_F(AnotherUser, UsesNoFolderSomeoneElseMadeOrOpened) {
  struct Case {
    const char* name;
    std::function<void()> make;
    std::string reason;
  };
  const std::string elsewhere = home_ + "/elsewhere";
  const Case cases[] = {
      {"another user's open folder", [&] { MakeFolder(private_, 0777); }, "it belongs to user 0"},
      {"another user's private folder", [&] { MakeFolder(private_, 0700); },
       "it belongs to user 0"},
      {"the user's folder opened to all",
       [&] {
         MakeFolder(private_, 0777);
         Own(private_, 0777);
       },
       "its mode 0777 lets other users in (it must be 0700)"},
      {"a link to another user's folder",
       [&] {
         MakeFolder(elsewhere, 0777);
         fs::create_directory_symlink(elsewhere, private_);
       },
       "it is a symbolic link"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.make();
    const std::string problem = private_ + ": not a private folder: " + c.reason;
    {
      // Whoever listens there hears nothing of the message; the client
      // judges it itself.
      Impostor impostor(private_ + "/" + SocketName(home_));
      const Result r = Run("filter", Mail("a@b.example", "private matters"));
      EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << r.exit_code << r.err;
      EXPECT_NE(r.out.find("X-TVX-RESULT: "), std::string::npos) << r.out;
      EXPECT_NE(r.err.find(problem + "; not used"), std::string::npos) << r.err;
      EXPECT_EQ(impostor.bytes(), 0u);
    }
    const Result r = RunDaemonToItsEnd();
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find(problem), std::string::npos) << r.err;
    fs::remove_all(private_);
    fs::remove_all(elsewhere);
  }
}

TEST_F(AnotherUser, SendsNothingToAListenerOfAnotherUser) {
  MakeFolder(private_, 0700);
  Own(private_);
  const std::string socket = private_ + "/" + SocketName(home_);
  Impostor impostor(socket);  // root, in the user's own folder
  const Result r = Run("filter", Mail("a@b.example", "private matters"));
  EXPECT_NE(r.out.find("X-TVX-RESULT: "), std::string::npos) << r.out;
  EXPECT_NE(r.err.find(socket + ": the process listening there runs as user 0, not as you"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(impostor.bytes(), 0u);
}

TEST_F(AnotherUser, FindsTheDaemonWhateverEitherEnvironmentSays) {
  // A service manager starts the daemon in the login session's runtime
  // folder; a delivery agent's client has no environment.
  MakeFolder(session_, 0700);
  Own(session_);
  runtimeDir_ = session_;
  StartDaemon();
  EXPECT_TRUE(fs::exists(session_ + "/tarvex/" + SocketName(home_)));
  runtimeDir_.clear();
  Clock::time_point start = Clock::now();
  Result r = Run("filter", Mail("a@b.example", "hello"));
  // Only the daemon, which holds the profile, can have judged it.
  EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << r.err;
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(StopDaemon(SIGTERM), 0);

  // Started by cron before any login, it listens in its private folder; a
  // login shell's client, with a runtime folder of its own, finds it there.
  fs::remove_all(session_);
  StartDaemon();
  EXPECT_TRUE(fs::exists(private_ + "/" + SocketName(home_)));
  MakeFolder(session_, 0700);
  Own(session_);
  runtimeDir_ = session_;
  start = Clock::now();
  r = Run("stats");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
}

}  // namespace
}  // namespace tarvex
