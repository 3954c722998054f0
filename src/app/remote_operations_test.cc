// The operations asked over a real socket of an owner serving them on a real
// Maildir: what comes back is what the owner did, with its boxes and
// progress, and what cannot be read is refused.
#include "app/remote_operations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/maildir_session.h"
#include "ops/wire.h"
#include "testing/status_matchers.h"
#include "testing/temp_folder.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

class RemoteOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"/tmp", "/new", "/cur"}) fs::create_directory(root_ + sub);
    WriteStringValue(store_, "WordFilePath", "/p/words.db");
    WriteStringValue(store_, "BlackListPath", "/p/black.xml");
    files_.files()["/p/black.xml"] = "<BlackList />\n";
    std::ofstream(root_ + "/new/1.one") << "From: A <a@example.com>\nSubject: cheap pills\n\n"
                                           "cheap pills now\n";
    session_.Start();
  }
  void TearDown() override {
    for (std::thread& t : owners_) t.join();
  }

  // A connection to an owner that serves one request in its own thread.
  UniqueFd Connect() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return UniqueFd();
    owners_.emplace_back([this, end = ends[1]] {
      UniqueFd client(end);
      Frame request;
      if (ReadFrame(client.get(), &request)) {
        ServeOperation(std::move(client), request, local_, session_.ui());
      }
    });
    return UniqueFd(ends[0]);
  }

  testing::TempFolder temp_{"tarvex-remote"};
  const std::string root_ = temp_.path();
  ManualClock clock_{1'700'000'000};
  MemoryFileSystem files_;
  MemorySettingsStore store_;
  RecordingUi ownerUi_;
  ManualEventLoop loop_;
  MaildirSession session_{{clock_, files_, store_, ownerUi_, loop_}, root_};
  SessionOwner owner_{session_, files_, store_};
  LocalOperations local_{owner_};
  std::vector<std::thread> owners_;
  RecordingUi callerUi_;
  RemoteOperations remote_{[this] { return Connect(); }, callerUi_};
};

TEST_F(RemoteOperationsTest, DoWhatTheOwnerDoesAndShowTheCallerItsBoxes) {
  // Learning and counting.
  int32_t learnt = 0;
  ASSERT_OK(remote_.Learn({{"Subject: pills\n", "cheap pills\n", false}}, true, &learnt));
  EXPECT_EQ(learnt, 1);
  DatabaseStats stats;
  ASSERT_OK(remote_.Stats(&stats));
  EXPECT_EQ(stats.spamMessages, 1);
  EXPECT_EQ(stats.words, session_.app().bayesFilter().WordCount());

  // A list edit reaches the file and the running filter's copy, and a
  // refusal comes back with the dialog's words.
  ListEdit edit;
  ASSERT_OK(remote_.AddListEntry(ListId::Blacklist, EntryKind::Domain, "spam.example", &edit));
  EXPECT_TRUE(edit.ok());
  EXPECT_EQ(session_.app().lists().blacklistDomains, std::vector<std::string>{"spam.example"});
  ASSERT_OK(remote_.AddListEntry(ListId::Blacklist, EntryKind::Domain, "SPAM.example", &edit));
  EXPECT_EQ(edit.outcome, ListEdit::Outcome::kDuplicate);
  EXPECT_FALSE(edit.message.empty());

  // A message found by its file, its headers read, then marked as spam and
  // moved; the training run's progress comes back as it goes.
  std::vector<MessageRef> found;
  ASSERT_OK(remote_.FindMessages({root_ + "/new/1.one"}, &found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_FALSE(found[0].marked);
  std::string headers;
  ASSERT_OK(remote_.RawHeaders(found[0], &headers));
  EXPECT_NE(headers.find("Subject: cheap pills"), std::string::npos);
  std::vector<std::string> now;
  ASSERT_OK(remote_.MarkSpam(found, &now));
  ASSERT_EQ(now.size(), 1u);
  EXPECT_NE(now[0].find("/.DedoZarozo/"), std::string::npos) << now[0];
  std::vector<std::string> progress;
  TrainingReport report;
  ASSERT_OK(remote_.Train(
      {"DedoZarozo"}, {}, false,
      [&](const std::string& folder, size_t done) {
        progress.push_back(folder + " " + std::to_string(done));
      },
      &report));
  EXPECT_EQ(progress, std::vector<std::string>{"DedoZarozo 1"});

  // What the owner cannot do comes back as the failure, and the box it
  // showed is shown to the caller, not on the owner's interface.
  EXPECT_FALSE(remote_.FindMessages({root_ + "/new/nothing"}, &found).ok());
  files_.FailWrites("/p/words.db");
  uint32_t removed = 0;
  EXPECT_FALSE(remote_.EmptyDatabase(&removed).ok());
  ASSERT_EQ(callerUi_.boxes.size(), 1u);
  EXPECT_EQ(callerUi_.boxes[0].text, "Cannot save database (/p/words.db)");
  EXPECT_TRUE(ownerUi_.boxes.empty());
}

// What the mail window shows comes over the socket: the tree with its
// counts, a folder's messages, the summaries of the rows asked for and a
// preview; a folder the store does not have is a failure, not a crash.
TEST_F(RemoteOperationsTest, ShowTheWindowTheStoreFolderByFolderAndRowByRow) {
  for (const char* folder : {"/.Work", "/.Work.Old"}) {
    for (const char* sub : {"/tmp", "/new", "/cur"}) fs::create_directories(root_ + folder + sub);
  }
  std::ofstream(root_ + "/cur/2.two:2,S")
      << "From: =?utf-8?q?B=C3=A9a?= <bea@example.com>\r\nSubject: Lunch\r\n"
         "Date: Tue, 14 Nov 2023 22:13:20 +0000\r\nX-TVX-RESULT: Clean\r\n"
         "X-TVX-SCORE: Bayesian Score = 3\r\nX-TVX-LEARN: Not Spam\r\n\r\nSee you\r\n";
  std::ofstream(root_ + "/.Work.Old/new/3.three") << "Subject: old\n\nold\n";

  std::vector<FolderEntry> tree;
  ASSERT_OK(remote_.FolderTree(&tree));
  std::vector<std::string> shown;
  for (const FolderEntry& f : tree) {
    const auto parent = std::find_if(tree.begin(), tree.end(),
                                     [&](const FolderEntry& p) { return p.id == f.parent; });
    shown.push_back((parent == tree.end() ? "" : parent->name + "/") + f.name + " " +
                    std::to_string(f.unread) + "/" + std::to_string(f.total));
  }
  EXPECT_THAT(shown, ::testing::IsSupersetOf(
                         {"Local Folders/Inbox 1/2", "Work/Old 1/1", "Local Folders/Work 0/0"}));
  EXPECT_EQ(tree.front().parent, -1);

  const int32_t inbox = std::find_if(tree.begin(), tree.end(), [](const FolderEntry& f) {
                          return f.name == "Inbox";
                        })->id;
  std::vector<ListedRef> listed;
  ASSERT_OK(remote_.FolderMessages(inbox, &listed));
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_TRUE(listed[0].unread);
  EXPECT_FALSE(listed[1].unread);

  std::vector<MessageSummary> summaries;
  ASSERT_OK(remote_.MessageSummaries(inbox, {listed[1].message, 999}, &summaries));
  ASSERT_EQ(summaries.size(), 2u);
  const MessageSummary& lunch = summaries[0];
  EXPECT_EQ(lunch.message, listed[1].message);
  EXPECT_EQ(lunch.sender, "Béa <bea@example.com>");
  EXPECT_EQ(lunch.subject, "Lunch");
  EXPECT_EQ(lunch.date, "Tue, 14 Nov 2023 22:13:20 +0000");
  EXPECT_EQ(lunch.result, "Clean");
  EXPECT_EQ(lunch.score, "Bayesian Score = 3");
  EXPECT_EQ(lunch.learn, "Not Spam");
  EXPECT_EQ(summaries[1].message, 999);
  EXPECT_TRUE(summaries[1].subject.empty());

  std::string preview;
  ASSERT_OK(remote_.MessagePreview(inbox, listed[1].message, &preview));
  EXPECT_NE(preview.find("Subject: Lunch\n"), std::string::npos) << preview;
  EXPECT_EQ(preview.find('\r'), std::string::npos);
  EXPECT_NE(preview.find("See you"), std::string::npos);

  EXPECT_FALSE(remote_.FolderMessages(12345, &listed).ok());
  EXPECT_FALSE(remote_.MessagePreview(12345, 1, &preview).ok());
}

TEST_F(RemoteOperationsTest, RefuseRequestsTheyCannotReadAndOwnersThatAreGone) {
  for (const std::string& request :
       {std::string(), std::string("\x63\0\0\0", 4), std::string("\0\0\0\0extra", 9)}) {
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    UniqueFd caller(ends[0]);
    ServeOperation(UniqueFd(ends[1]), Frame{'O', request}, local_, session_.ui());
    Frame result;
    ASSERT_TRUE(ReadFrame(caller.get(), &result));
    WireReader in(result.data);
    Status status;
    in.Read(status);
    EXPECT_NE(status.message().find("could not read the request"), std::string::npos);
  }

  RemoteOperations unreachable([] { return UniqueFd(); }, callerUi_);
  DatabaseStats stats;
  EXPECT_EQ(unreachable.Stats(&stats).message(), "the daemon is not reachable");
  RemoteOperations hangsUp(
      [] {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return UniqueFd();
        ::close(ends[1]);
        return UniqueFd(ends[0]);
      },
      callerUi_);
  EXPECT_EQ(hangsUp.Stats(&stats).message(), "the daemon went away before answering");
}

}  // namespace
}  // namespace tarvex
