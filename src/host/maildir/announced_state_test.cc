// What the Maildir host remembers of the mail it announced, from one run (one
// MaildirHost) to the next, on real temporary Maildirs.
#include "host/maildir/announced_state.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>

#include "host/host_contract_test.h"
#include "host/maildir/maildir_host.h"
#include "testing/maildir_files.h"
#include "testing/temp_folder.h"

namespace tarvex {
namespace {

using maildir_test::ReadAll;
using maildir_test::TempMaildir;
using Names = std::vector<std::string>;
const char kPlain[] = "From: alice@example.com\nSubject: Lunch\n\nNoon?\n";

// One run of the daemon's store: made, watching, the Inbox and "Work"
// subscribed to as the plug-in does; judging stamps every message but those
// whose subject says "whitelisted".
class StoreRun {
 public:
  StoreRun(const TempMaildir& md, const std::string& state) : md_(md) {
    MaildirHost::Options options = maildir_test::WithJudgedMarks();
    options.announced_state = state;
    host_ = std::make_unique<MaildirHost>(md.root(), options);
    manager_ = host_->CreateFolderManager();
    host_->StartWatching();
    for (const char* name : {"Inbox", "Work"}) {
      auto folder = FolderNamed(*manager_, name);
      auto sink = std::make_shared<maildir_test::NewMessageSink>();
      // The folder holds its sinks: a sink holding the folder would keep both.
      sink->on_new = [this, folder = folder.get()](int32_t id) {
        auto message = folder->GetMessage(id);
        judged.push_back(folder->GetName() + " " + message->GetHeaderValue(1, "Subject", nullptr));
        if (on_judge) on_judge();
        if (message->GetHeaderValue(1, "Subject", nullptr) == "whitelisted") return;
        message->SetHeaderValue(1, "X-Verdict", "Clean");
        message->Commit();
      };
      folder->Advise(sink);
      folders_.push_back(folder);
    }
  }
  MaildirHost& host() { return *host_; }

  Names judged;  // "<folder> <subject>" as judged
  std::function<void()> on_judge;

 private:
  const TempMaildir& md_;
  std::unique_ptr<MaildirHost> host_;
  HostRef<HostFolderManager> manager_;
  std::vector<HostRef<HostFolder>> folders_;
};

std::string Mail(const std::string& subject) {
  return "From: a@example.com\nSubject: " + subject + "\n\nbody\n";
}

class AnnouncedStateTest : public ::testing::Test {
 protected:
  AnnouncedStateTest() { md.MakeFolder(".Work"); }
  TempMaildir md;
  testing::TempFolder state_home{"tarvex-state"};
  const std::string state = state_home.path() + "/tarvex/announced";
};

TEST_F(AnnouncedStateTest, AStartJudgesOnlyWhatCameWhileDownAndNothingTwice) {
  md.Deliver("", Mail("whitelisted"));  // came while down, before the first run
  md.Deliver("", Mail("down"));
  {
    StoreRun run(md, state);
    run.host().AnnounceUnjudgedMail();
    md.Deliver(".Work", Mail("whitelisted"));  // while up
    run.host().ProcessFileEvents();
    EXPECT_EQ(run.judged, (Names{"Inbox whitelisted", "Inbox down", "Work whitelisted"}));
  }
  const std::string read = md.Deliver("", Mail("read while down"));
  const std::string whitelisted = md.Deliver("", Mail("whitelisted"));
  std::filesystem::rename(md.Path("new/" + read), md.Path("cur/" + read + ":2,S"));
  {
    StoreRun run(md, state);
    run.host().AnnounceUnjudgedMail();
    EXPECT_EQ(run.judged, Names{"Inbox whitelisted"});  // the one that came while down
  }
  // The user reads the whitelisted mail: nothing left to remember there.
  for (const std::string& name : md.Files("new")) {
    std::filesystem::rename(md.Path("new/" + name), md.Path("cur/" + name + ":2,S"));
  }
  {
    StoreRun run(md, state);
    run.host().AnnounceUnjudgedMail();
    EXPECT_TRUE(run.judged.empty());
  }
  // Bounded: only the Work message is still waiting unmarked in a new/.
  const std::string list = ReadAll(state);
  EXPECT_EQ(list, ".Work/" + md.Files(".Work/new")[0] + std::string(1, '\0'));
  EXPECT_EQ(maildir_test::TempMaildir::FilesIn(state_home.path() + "/tarvex"),
            Names{"announced"});  // no temporary file left
}

TEST_F(AnnouncedStateTest, DyingWhileJudgingLosesNothing) {
  md.Deliver("", Mail("whitelisted"));
  md.Deliver("", Mail("other"));
  // The run dies while the second message is judged: the first was judged,
  // the second announced, neither remembered yet.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    StoreRun run(md, state);
    run.on_judge = [&] {
      if (run.judged.size() == 2) ::_exit(42);
    };
    run.host().AnnounceUnjudgedMail();
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42);
  StoreRun run(md, state);
  run.host().AnnounceUnjudgedMail();
  EXPECT_EQ(run.judged, (Names{"Inbox whitelisted", "Inbox other"}));
}

TEST_F(AnnouncedStateTest, AListThatCannotBeWrittenIsReportedWithItsFile) {
  std::ofstream(state_home.path() + "/tarvex") << "a file where the folder should be";
  md.Deliver("", Mail("whitelisted"));
  StoreRun run(md, state);
  try {
    run.host().AnnounceUnjudgedMail();
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(state), std::string::npos) << error.what();
  }
  EXPECT_EQ(run.judged, Names{"Inbox whitelisted"});  // judged all the same
}

TEST(AnnouncedStateFile, IsOnePerMaildirInTheFolderGiven) {
  const std::string a = maildir::AnnouncedStateFile("/state", "/home/u/Maildir");
  EXPECT_EQ(a.rfind("/state/announced-", 0), 0u) << a;
  EXPECT_EQ(maildir::AnnouncedStateFile("/state", "/home/u/Maildir/"), a);
  EXPECT_NE(maildir::AnnouncedStateFile("/state", "/home/u/Mail"), a);
}

}  // namespace
}  // namespace tarvex
