// Each operation that changes a message, stopped after each of its steps by a
// crash (a child process dying there) or a failure (the step hook throws).
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>

#include "host/host_contract_test.h"
#include "host/maildir/maildir_host.h"
#include "testing/maildir_files.h"

namespace tarvex {
namespace {

using maildir_test::ReadAll;
using maildir_test::TempMaildir;
using Files = std::map<std::string, std::string>;  // message file (from the root) -> content

const std::string kMessage = "From: a@example.com\r\nSubject: s\r\n\r\nbody \xFF\r\n";
const std::string kCommitted =
    "From: a@example.com\r\nSubject: s\r\nX-Verdict: Spam\r\n\r\nbody \xFF\r\n";

// The messages of the folders the operations touch.
Files MessageFiles(const TempMaildir& md) {
  Files files;
  for (const std::string dir : {"new", "cur", ".Junk/new", ".Junk/cur"}) {
    for (const std::string& name : md.Files(dir))
      files[dir + "/" + name] = ReadAll(md.Path(dir + "/" + name));
  }
  return files;
}

HostRef<HostMessage> TheMessage(MaildirHost& host) {
  return host.CreateFolderManager()->GetInboxFolder()->GetMessage(1);
}

struct Operation {
  const char* file;  // where the message is before
  Files after;       // the store after it
  std::function<void(MaildirHost&)> run;
  std::vector<std::string> steps;  // the change is made at the second
};

const Operation kOperations[] = {
    {"cur/m:2,S",
     {{"cur/m:2,S", kCommitted}},
     [](MaildirHost& host) {
       auto message = TheMessage(host);
       message->SetHeaderValue(1, "X-Verdict", "Spam");
       message->Commit();
     },
     {maildir_step::kCommitWritten, maildir_step::kCommitReplaced, maildir_step::kCommitCleaned}},
    {"new/m",
     {{".Junk/new/m", kMessage}},
     [](MaildirHost& host) {
       auto manager = host.CreateFolderManager();
       manager->MoveMessage(MaildirHost::kInboxId, FolderNamed(*manager, "Junk")->GetId(), 1);
     },
     {maildir_step::kMovePrepared, maildir_step::kMoveRenamed, maildir_step::kMoveFlushed}},
    {"new/m",
     {{"cur/m:2,S", kMessage}},
     [](MaildirHost& host) { TheMessage(host)->MarkRead(); },
     {maildir_step::kMarkReadPrepared, maildir_step::kMarkReadRenamed,
      maildir_step::kMarkReadFlushed}},
};

TEST(MaildirCrashTest, StoppedAfterAnyStepTheMessageIsThereOnceOldOrNewAndCanBeRedone) {
  for (const Operation& operation : kOperations) {
    for (const std::string& at : operation.steps) {
      const bool changed = at != operation.steps[0];
      for (const bool crash : {true, false}) {
        const std::string where = at + (crash ? ", crashed" : ", failed");
        TempMaildir md;
        md.MakeFolder(".Junk");
        md.Write(operation.file, kMessage);
        // A delivery agent's file, being written while all this goes on.
        const std::string delivering = "1700000000.M1P1.mda";
        md.Write("tmp/" + delivering, "From: b@example.com\r\n");
        auto hook = [&](const std::string& s) {
          if (s != at) return;
          if (crash) ::_exit(42);
          throw std::runtime_error("injected");
        };
        // A crash happens in a child, which dies at the step without unwinding,
        // closing or cleaning anything.
        const pid_t child = crash ? ::fork() : 0;
        ASSERT_GE(child, 0);
        std::unique_ptr<MaildirHost> host;  // the one that failed, else one started afterwards
        if (child == 0) {
          host = std::make_unique<MaildirHost>(md.root());
          host->SetStepHook(hook);
          EXPECT_THROW(operation.run(*host), HostError) << where;
          if (crash) ::_exit(0);                                                      // did not die
          EXPECT_EQ(md.Files("tmp"), std::vector<std::string>{delivering}) << where;  // no litter
          host->SetStepHook(nullptr);
        } else {
          int status = 0;
          ASSERT_EQ(::waitpid(child, &status, 0), child);
          ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42) << where;
        }
        const Files before = {{operation.file, kMessage}};
        EXPECT_EQ(MessageFiles(md), changed ? operation.after : before) << where;

        // What the dead process left in tmp/ goes when the next host starts;
        // the delivery agent's file stays.
        if (!host) host = std::make_unique<MaildirHost>(md.root());
        EXPECT_EQ(md.Files("tmp"), std::vector<std::string>{delivering}) << where;
        if (!changed) operation.run(*host);
        EXPECT_EQ(MessageFiles(md), operation.after) << where << ", then run again";
      }
    }
  }
}

TEST(MaildirCrashTest, AnotherProgramChangingTheMessageDuringCommitLosesNothing) {
  TempMaildir md;
  md.Write("cur/m:2,", kMessage);
  MaildirHost host(md.root());
  int calls = 0;
  host.SetStepHook([&](const std::string& step) {
    if (step != maildir_step::kCommitWritten || calls++ > 0) return;
    // Between the host's reading and its replacing, a mail program flags
    // the message and adds a header of its own.
    md.Write("tmp/other", "X-Other: 1\r\n" + kMessage);
    std::filesystem::rename(md.Path("tmp/other"), md.Path("cur/m:2,F"));
    std::filesystem::remove(md.Path("cur/m:2,"));
  });
  kOperations[0].run(host);  // the commit
  EXPECT_EQ(calls, 2);       // read again and written again
  EXPECT_EQ(MessageFiles(md), (Files{{"cur/m:2,F", "X-Other: 1\r\n" + kCommitted}}));
  EXPECT_TRUE(md.Files("tmp").empty());
}

TEST(MaildirCrashTest, OnlyTheHostsOwnFilesOfDeadProcessesAreTakenFromTmp) {
  TempMaildir md;
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
  const std::string own = MaildirHost::kOwnTempPrefix;
  const std::string live = own + std::to_string(::getpid()) + ".1700000000.M2P9.here";
  const std::vector<std::string> kept = {
      live,                                              // a running process's (this one's)
      own + "x.1700000000.M3P9.here",                    // not the host's naming
      "1700000000.M4P" + std::to_string(dead) + ".mda",  // a delivery agent's
      ".tarvex-other"};
  for (const std::string& name : kept) md.Write("tmp/" + name, kMessage);
  md.Write("tmp/" + own + std::to_string(dead) + ".1700000000.M1P9.here", kMessage);
  MaildirHost host(md.root());
  std::vector<std::string> expected = kept;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(md.Files("tmp"), expected);
}

}  // namespace
}  // namespace tarvex
