// Runs the real program in a temporary home folder: commands, the daemon,
// and deliveries into the home's Maildir the way a mail delivery agent
// makes them.
#ifndef TARVEX_TESTING_PROGRAM_H_
#define TARVEX_TESTING_PROGRAM_H_

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "testing/temp_folder.h"

namespace tarvex::testing {

namespace fs = std::filesystem;

struct Result {
  int exit_code;
  std::string out, err;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Polls until done holds, up to timeout; returns whether it did.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(home_ + "/run"); }
  void TearDown() override { StopDaemon(SIGKILL); }

  // The environment every run gets: nothing of the real user's.
  std::string Environment() const {
    return runAs_ + "env -i HOME=" + home_ +
           (runtimeDir_.empty() ? "" : " XDG_RUNTIME_DIR=" + runtimeDir_) + " ";
  }
  std::string Program() const { return std::string(TARVEX_BINARY) + " --now 1700000000 "; }

  Result Run(const std::string& args, const std::string& input = "") {
    std::ofstream(home_ + "/in", std::ios::binary) << input;
    const std::string command = Environment() + Program() + args + " <" + home_ + "/in >" + home_ +
                                "/out 2>" + home_ + "/err";
    const int status = std::system(command.c_str());
    return {WEXITSTATUS(status), ReadFile(home_ + "/out"), ReadFile(home_ + "/err")};
  }

  std::string Message(const std::string& name, const std::string& text) {
    const std::string path = home_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  std::string Maildir() const { return home_ + "/Maildir"; }
  std::string SpamFolder() const { return Maildir() + "/.DedoZarozo"; }

  // Writes the message into tmp/ and renames it into new/, as an MDA does.
  void Deliver(const std::string& name, const std::string& text, const std::string& folder = "") {
    const std::string dir = folder.empty() ? Maildir() : folder;
    const std::string tmp = dir + "/tmp/" + name;
    std::ofstream(tmp, std::ios::binary) << text;
    fs::rename(tmp, dir + "/new/" + name);
  }

  // Starts "tarvex run" with its log in daemon.log and waits until it
  // watches the Maildir.
  void StartDaemon() {
    const std::string log = home_ + "/daemon.log";
    std::ofstream(log, std::ios::trunc).close();
    daemon_ = fork();
    ASSERT_GE(daemon_, 0);
    if (daemon_ == 0) {
      const std::string command = "exec " + Environment() + Program() + "run 2>>" + log;
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_TRUE(WaitUntil([&] { return DaemonLog().find("watching") != std::string::npos; }))
        << DaemonLog();
  }

  // Signals the daemon and waits for it; its exit status.
  int StopDaemon(int signal = SIGTERM) {
    if (daemon_ <= 0) return -1;
    kill(daemon_, signal);
    int status = 0;
    waitpid(daemon_, &status, 0);
    daemon_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  std::string DaemonLog() const { return ReadFile(home_ + "/daemon.log"); }

  TempFolder temp_{"tarvex-cli"};
  const std::string home_ = temp_.path();
  pid_t daemon_ = 0;
  // What each run goes through to run as another user (empty: this one), and
  // the runtime folder its environment names (empty: none).
  std::string runAs_;
  std::string runtimeDir_ = home_ + "/run";
};

}  // namespace tarvex::testing

#endif  // TARVEX_TESTING_PROGRAM_H_
