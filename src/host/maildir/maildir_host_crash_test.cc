// Stops each operation that changes a message after each of its steps, by a
// crash (a child process that dies there) and by a failure (the step hook
// throws), and checks that the message is then there exactly once, with its
// old or its new content, and that the operation can be done again.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <stdexcept>

#include "host/folder_lookup.h"
#include "host/maildir/maildir_host.h"
#include "host/maildir/maildir_test_util.h"

namespace tarvex {
namespace {

using maildir_test::ReadAll;
using maildir_test::TempMaildir;
using Files = std::map<std::string, std::string>;  // message file (from the root) -> content

const std::string kMessage = "From: a@example.com\r\nSubject: s\r\n\r\nbody \xFF\r\n";
const std::string kCommitted =
    "From: a@example.com\r\nSubject: s\r\nX-TVX-RESULT: Spam\r\n\r\nbody \xFF\r\n";

// Every file in new/ or cur/ of any folder: the messages of the store.
Files MessageFiles(const TempMaildir& md) {
  Files files;
  namespace fs = std::filesystem;
  for (const auto& entry : fs::recursive_directory_iterator(md.root())) {
    const std::string parent = entry.path().parent_path().filename().string();
    if (entry.is_regular_file() && (parent == "new" || parent == "cur")) {
      files[fs::relative(entry.path(), md.root()).string()] = ReadAll(entry.path().string());
    }
  }
  return files;
}

struct Operation {
  const char* name;
  const char* file;  // where the message is before
  Files after;       // the store after it
  std::function<void(MaildirHost&)> run;
  std::vector<std::pair<const char*, bool>> steps;  // each step, and whether the change is made
};

HostRef<HostMessage> TheMessage(MaildirHost& host) {
  return host.CreateFolderManager()->GetInboxFolder()->GetMessage(1);
}

std::vector<Operation> Operations() {
  return {
      {"Commit",
       "cur/m:2,S",
       {{"cur/m:2,S", kCommitted}},
       [](MaildirHost& host) {
         auto message = TheMessage(host);
         message->SetHeaderValue(1, "X-TVX-RESULT", "Spam");
         message->Commit();
       },
       {{maildir_step::kCommitWritten, false},
        {maildir_step::kCommitReplaced, true},
        {maildir_step::kCommitCleaned, true}}},
      {"MoveMessage",
       "new/m",
       {{".Junk/new/m", kMessage}},
       [](MaildirHost& host) {
         auto manager = host.CreateFolderManager();
         const int32_t junk = FindFolderByName(*manager, "Junk")->GetId();
         if (!manager->MoveMessage(MaildirHost::kInboxId, junk, 1))
           throw std::logic_error("moved?");
       },
       {{maildir_step::kMovePrepared, false},
        {maildir_step::kMoveRenamed, true},
        {maildir_step::kMoveFlushed, true}}},
      {"MarkRead",
       "new/m",
       {{"cur/m:2,S", kMessage}},
       [](MaildirHost& host) { TheMessage(host)->MarkRead(); },
       {{maildir_step::kMarkReadPrepared, false},
        {maildir_step::kMarkReadRenamed, true},
        {maildir_step::kMarkReadFlushed, true}}},
  };
}

class MaildirCrashTest : public ::testing::Test {
 protected:
  void Prepare(const Operation& operation) {
    md_ = std::make_unique<TempMaildir>();
    md_->MakeFolder(".Junk");
    md_->Write(operation.file, kMessage);
  }

  void ExpectState(const Operation& operation, bool changed, const std::string& where) {
    const Files before = {{operation.file, kMessage}};
    EXPECT_EQ(MessageFiles(*md_), changed ? operation.after : before) << where;
  }

  std::unique_ptr<TempMaildir> md_;
};

constexpr int kCrashed = 42, kFinished = 43, kFailed = 44;

TEST_F(MaildirCrashTest, ACrashAfterAnyStepLeavesTheMessageOnceOldOrNew) {
  for (const Operation& operation : Operations()) {
    for (const auto& [step, changed] : operation.steps) {
      const std::string where = std::string(operation.name) + " dying at " + step;
      Prepare(operation);
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        // Dies at the step without unwinding, closing or cleaning anything.
        const std::string at = step;
        try {
          MaildirHost host(md_->root());
          host.SetStepHook([&](const std::string& s) {
            if (s == at) ::_exit(kCrashed);
          });
          operation.run(host);
        } catch (...) {
          ::_exit(kFailed);
        }
        ::_exit(kFinished);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status)) << where;
      ASSERT_EQ(WEXITSTATUS(status), kCrashed) << where;
      ExpectState(operation, changed, where);

      // A host started after the crash finishes the work.
      MaildirHost again(md_->root());
      if (!changed) operation.run(again);
      ExpectState(operation, true, where + ", then run again");
    }
  }
}

TEST_F(MaildirCrashTest, AFailureAfterAnyStepLeavesTheMessageOnceOldOrNewAndNoLitter) {
  for (const Operation& operation : Operations()) {
    for (const auto& [step, changed] : operation.steps) {
      const std::string where = std::string(operation.name) + " failing at " + step;
      Prepare(operation);
      MaildirHost host(md_->root());
      const std::string at = step;
      host.SetStepHook([&](const std::string& s) {
        if (s == at) throw std::runtime_error("injected");
      });
      EXPECT_THROW(operation.run(host), HostError) << where;
      ExpectState(operation, changed, where);
      EXPECT_TRUE(md_->Files("tmp").empty()) << where;

      host.SetStepHook(nullptr);
      if (!changed) operation.run(host);
      ExpectState(operation, true, where + ", then run again");
    }
  }
}

TEST_F(MaildirCrashTest, AnotherProgramChangingTheMessageDuringCommitLosesNothing) {
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
  auto message = TheMessage(host);
  message->SetHeaderValue(1, "X-TVX-RESULT", "Spam");
  message->Commit();
  EXPECT_EQ(calls, 2);  // read again and written again
  EXPECT_EQ(MessageFiles(md), (Files{{"cur/m:2,F", "X-Other: 1\r\n" + kCommitted}}));
  EXPECT_TRUE(md.Files("tmp").empty());
}

}  // namespace
}  // namespace tarvex
