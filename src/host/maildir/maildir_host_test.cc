#include "host/maildir/maildir_host.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "host/host_contract_test.h"
#include "testing/maildir_files.h"

namespace tarvex {
namespace {

using maildir_test::ReadAll;
using maildir_test::TempMaildir;
using Names = std::vector<std::string>;
constexpr int32_t kInbox = MaildirHost::kInboxId;
const char kPlain[] = "From: alice@example.com\nSubject: Lunch\n\nNoon?\n";

class MaildirHostTest : public ::testing::Test {
 protected:
  // The host over the tree as the test has made it so far.
  MaildirHost& Open(MaildirHost::Options options = {}) {
    host_ = std::make_unique<MaildirHost>(md.root(), options);
    manager_ = host_->CreateFolderManager();
    return *host_;
  }
  Names WalkNames() {
    Names names;
    for (auto f = manager_->GetFirstFolder(); f; f = manager_->GetNextFolder()) {
      names.push_back(f->GetName());
    }
    return names;
  }
  int32_t FolderId(const std::string& name) {
    auto folder = FolderNamed(*manager_, name);
    EXPECT_NE(folder, nullptr) << name;
    return folder ? folder->GetId() : -1;
  }
  HostRef<HostMessage> Message(int32_t id) { return manager_->GetInboxFolder()->GetMessage(id); }
  std::string Subject(int32_t id) { return Message(id)->GetHeaderValue(1, "Subject", nullptr); }

  TempMaildir md;
  std::unique_ptr<MaildirHost> host_;
  HostRef<HostFolderManager> manager_;
};

TEST_F(MaildirHostTest, DirectoriesMapToTheFolderTreeWalkedPreOrderByName) {
  for (const char* dir : {".Sent Messages", ".Trash", ".Archive", ".Archive.2023", ".Lists.Dev",
                          ".Entw&APw-rfe", ".INBOX.Spam", ".INBOX"}) {
    md.MakeFolder(dir);
  }
  std::filesystem::create_directories(md.Path(".notmuch/xapian"));  // no cur/: not a folder
  md.Write(".Trash/cur/1:2,S", "Subject: gone\n\nx");
  MaildirHost& host = Open();

  EXPECT_EQ(WalkNames(),
            (Names{"Local Folders", "Archive", "2023", "Deleted Items", "Drafts", "Entw\xFCrfe",
                   "Inbox", "Spam", "Lists", "Dev", "Outbox", "Sent Items"}));
  EXPECT_EQ(host.FolderDirectory(FolderId("Sent Items")), md.Path(".Sent Messages"));
  EXPECT_EQ(host.FolderDirectory(FolderId("Drafts")), md.Path(".Drafts"));  // not made yet
  EXPECT_EQ(host.FolderDirectory(FolderId("Dev")), md.Path(".Lists.Dev"));
  EXPECT_NE(manager_->GetFolder(FolderId("Deleted Items"))->GetFirstMessage(), nullptr);
  EXPECT_EQ(manager_->GetFolder(FolderId("Lists"))->GetFirstMessage(), nullptr);  // no directory

  // The conventional name wins; the other keeps its own.
  md.MakeFolder(".Sent");
  EXPECT_EQ(host.FolderDirectory(FolderId("Sent Items")), md.Path(".Sent"));
  EXPECT_EQ(host.FolderDirectory(FolderId("Sent Messages")), md.Path(".Sent Messages"));
}

TEST_F(MaildirHostTest, CreateSubFolderMakesMaildirPlusPlusFolders) {
  Open();
  auto root = manager_->GetFirstFolder();
  EXPECT_EQ(root->CreateSubFolder("Sent Items")->GetName(), "Sent Items");
  EXPECT_EQ(md.Files(".Sent"), (Names{"cur", "maildirfolder", "new", "tmp"}));
  manager_->GetInboxFolder()->CreateSubFolder("Spam")->CreateSubFolder("Old");
  root->CreateSubFolder("Courrier ind\xE9sirable");
  for (const char* dir :
       {".INBOX.Spam/maildirfolder", ".INBOX.Spam.Old/cur", ".Courrier ind&AOk-sirable/cur"}) {
    EXPECT_TRUE(std::filesystem::exists(md.Path(dir))) << dir;
  }
  for (const char* bad : {"Sent Items", "Inbox", "", "a.b", "a/b"}) {
    EXPECT_THROW(root->CreateSubFolder(bad), HostError) << bad;
  }
}

TEST_F(MaildirHostTest, FolderAndMessageIdsStayWhatTheyWere) {
  md.MakeFolder(".Archive");
  const std::string first = md.Deliver("", "Subject: first\n\n1");
  const std::string second = md.Deliver("", "Subject: second\n\n2");
  MaildirHost& host = Open();
  const int32_t archive = FolderId("Archive");
  EXPECT_EQ(Subject(1) + Subject(2), "firstsecond");

  // Another folder appears before it; another program reads the first message.
  md.MakeFolder(".Aardvark");
  std::filesystem::rename(md.Path("new/" + first), md.Path("cur/" + first + ":2,S"));
  EXPECT_EQ(FolderId("Archive"), archive);
  EXPECT_GT(FolderId("Aardvark"), archive);
  EXPECT_EQ(host.MessageFile(kInbox, 1), md.Path("cur/" + first + ":2,S"));

  // Gone and back: the same id.
  std::filesystem::rename(md.Path("new/" + second), md.Path("tmp/x"));
  EXPECT_THROW(Message(2), HostError);
  std::filesystem::rename(md.Path("tmp/x"), md.Path("new/" + second));
  EXPECT_EQ(Subject(2), "second");
}

TEST_F(MaildirHostTest, HeaderTextIsTheStoredBlockAndValuesAreDecoded) {
  const std::string header =
      "From: =?ISO-8859-1?Q?Andr=E9?= <andre@example.com>\n"
      "Subject: =?utf-8?B?w6l0w6k=?=\n continued\n"
      "X-Raw: caf\xE9\n";
  md.Deliver("", header + "\nbody\n");
  Open();
  auto message = Message(1);
  EXPECT_EQ(message->GetHeaderText(), header);  // raw Latin-1 é is é in Windows-1252 too
  EXPECT_EQ(message->GetRawHeaders(), header);
  EXPECT_EQ(message->GetHeaderValue(1, "FROM", nullptr), "Andr\xE9 <andre@example.com>");
  EXPECT_EQ(message->GetHeaderValue(1, "subject", nullptr), "\xE9t\xE9 continued");
  EXPECT_EQ(message->GetHeaderValue(1, "X-Raw", nullptr), "caf\xE9");
  EXPECT_THROW(message->GetPartText(2), HostError);  // a message is one part
}

TEST_F(MaildirHostTest, CommitRewritesOnlyTheHeaderKeepingLineEndsFlagsAndBody) {
  const std::string body = "line one\nbinary \x01\xFF\r\n\r\nX-Verdict: not a header\r\n";
  const std::string file = "cur/1700.M1P1.test:2,FS";
  md.Write(file, "From: a@example.com\r\nX-Verdict: Clean\r\nSubject: s\r\n\r\n" + body);
  MaildirHost& host = Open();
  auto message = Message(1);
  message->SetHeaderValue(1, "X-Verdict", "Spam");
  message->SetHeaderValue(1, "X-Score", "caf\xE9");  // non-ASCII: written as UTF-8
  EXPECT_THROW(message->SetHeaderValue(1, "Bad Name", "x"), HostError);
  EXPECT_THROW(message->SetHeaderValue(1, "X-A", "one\r\nBcc: evil@example.com"), HostError);
  message->Commit();
  EXPECT_EQ(md.Files("cur"), Names{"1700.M1P1.test:2,FS"});
  EXPECT_EQ(ReadAll(md.Path(file)),
            "From: a@example.com\r\nX-Verdict: Spam\r\nSubject: s\r\n"
            "X-Score: caf\xC3\xA9\r\n\r\n" +
                body);
  EXPECT_TRUE(host.ScanForNewMessages().empty());  // its own rewrite is not new mail

  // Or as encoded words, when chosen.
  MaildirHost::Options encoded;
  encoded.encode_header_values = true;
  Open(encoded);
  message = Message(1);
  message->SetHeaderValue(1, "X-Score", "caf\xE9");
  message->Commit();
  EXPECT_NE(ReadAll(md.Path(file)).find("\r\nX-Score: =?UTF-8?"), std::string::npos);
  EXPECT_EQ(Message(1)->GetHeaderValue(1, "X-Score", nullptr), "caf\xE9");
}

TEST_F(MaildirHostTest, MarkReadMovesToCurWithTheSeenFlagInOrder) {
  md.Write("new/a", kPlain);
  md.Write("cur/b:2,RF", kPlain);
  Open();
  for (int32_t id : {1, 2}) Message(id)->MarkRead();
  EXPECT_EQ(md.Files("cur"), (Names{"a:2,S", "b:2,FRS"}));
}

TEST_F(MaildirHostTest, MoveKeepsNewAndCurAndTheFileName) {
  md.MakeFolder(".Junk");
  md.Write("new/a", kPlain);
  md.Write("cur/b:2,S", kPlain);
  md.Write("cur/c:2,", "Subject: c in the inbox\n\n");
  md.Write(".Junk/cur/c:2,", "Subject: c in junk\n\n");
  MaildirHost& host = Open();
  const int32_t junk = FolderId("Junk"), drafts = FolderId("Drafts");

  for (int32_t id : {1, 2, 3}) EXPECT_TRUE(manager_->MoveMessage(kInbox, junk, id));
  // Junk's own "c" is 1 there; "a", "b" and the other "c" came as 2, 3 and 4.
  EXPECT_TRUE(manager_->MoveMessage(junk, drafts, 2));  // into a folder without a directory
  EXPECT_FALSE(manager_->MoveMessage(junk, junk, 3));
  EXPECT_THROW(manager_->MoveMessage(junk, MaildirHost::kLocalFoldersId, 3), HostError);

  EXPECT_TRUE(md.Files("new").empty() && md.Files("cur").empty());
  EXPECT_EQ(md.Files(".Drafts/new"), Names{"a"});
  const Names junk_cur = md.Files(".Junk/cur");  // a fresh unique name sorts first
  ASSERT_EQ(junk_cur.size(), 3u);
  EXPECT_EQ(junk_cur[1] + " " + junk_cur[2], "b:2,S c:2,");
  EXPECT_EQ(ReadAll(md.Path(".Junk/cur/" + junk_cur[0])), "Subject: c in the inbox\n\n");
  EXPECT_EQ(ReadAll(md.Path(".Junk/cur/c:2,")), "Subject: c in junk\n\n");
  EXPECT_TRUE(host.ScanForNewMessages().empty());  // its own moves are not new mail
}

// A mail window lists a folder's messages with their files without reading
// any of them; the store folder holds none.
TEST_F(MaildirHostTest, ListMessagesGivesIdsInOrderWithTheirFiles) {
  md.Write("new/a", kPlain);
  md.Write("cur/b:2,S", kPlain);
  MaildirHost& host = Open();
  Message(1)->MarkRead();
  std::vector<std::string> listed;
  for (const auto& message : host.ListMessages(kInbox)) {
    listed.push_back(std::to_string(message.id) + " " + message.file);
  }
  EXPECT_EQ(listed, (Names{"1 " + md.Path("cur/a:2,S"), "2 " + md.Path("cur/b:2,S")}));
  EXPECT_TRUE(host.ListMessages(MaildirHost::kLocalFoldersId).empty());
  EXPECT_TRUE(host.ListMessages(FolderId("Drafts")).empty());  // no directory yet
}

// A message piped by a mail reader is found by its Message-ID in any folder;
// of several with that id, by its body too.
TEST_F(MaildirHostTest, APipedMessageIsFoundByItsMessageIdThenByItsBody) {
  md.MakeFolder(".Junk");
  const std::string header = "Subject: s\nMessage-ID:\n <one@example.com>\n\n";
  md.Write("new/a", header + "first\n");
  md.Write(".Junk/cur/b:2,S", header + "second\n");
  md.Write("cur/c:2,", "Message-ID: <two@example.com>\n\nthird\n");
  MaildirHost& host = Open();
  const std::string root = md.root();
  EXPECT_EQ(host.FilesOfMessage("From x@y Mon Jan 1\nMessage-ID: <two@example.com>\n\nelse\n"),
            Names{root + "/cur/c:2,"});
  EXPECT_EQ(host.FilesOfMessage("From x@y Mon Jan 1\n" + header + "second\n\n"),
            Names{root + "/.Junk/cur/b:2,S"});
  EXPECT_EQ(host.FilesOfMessage(header + "neither\n").size(), 2u);
  EXPECT_TRUE(host.FilesOfMessage("Subject: no id\n\nbody\n").empty());
  EXPECT_TRUE(host.FilesOfMessage("Message-ID: <three@example.com>\n\n").empty());
}

TEST_F(MaildirHostTest, MovingAwayDuringTheWalkSkipsNothing) {
  for (int i = 0; i < 5; ++i) md.Deliver("", kPlain);
  Open();
  auto inbox = manager_->GetInboxFolder();
  auto spam = inbox->CreateSubFolder("Spam");
  int visited = 0;
  for (auto m = inbox->GetFirstMessage(); m; m = inbox->GetNextMessage()) {
    EXPECT_TRUE(manager_->MoveMessage(kInbox, spam->GetId(), ++visited));
    if (visited == 2) md.Deliver("", kPlain);  // arrives during the walk
  }
  EXPECT_EQ(visited, 6);
  EXPECT_EQ(md.Files(".INBOX.Spam/new").size(), 6u);
}

TEST_F(MaildirHostTest, ScanReportsDeliveriesOnlyAndUnjudgedMailLacksVerdictHeaders) {
  md.Write("new/1", "X-Verdict: Clean\n\nbody");  // there before the host: not new
  md.Write("new/2", "x-user-verdict: Spam\r\n\r\nbody");
  md.Write("new/3", "Subject: waiting\n\nX-Verdict: in the body\n");
  md.Write("new/4", "Subject: no body");
  md.Write("cur/5:2,", "Subject: seen\n\nbody");
  md.MakeFolder(".Lists");
  MaildirHost& host = Open(maildir_test::WithJudgedMarks());
  EXPECT_EQ(host.UnjudgedNewMessages(kInbox), (std::vector<int32_t>{3, 4}));
  EXPECT_EQ(host.UnjudgedNewMessages(kInbox, {"Subject"}), (std::vector<int32_t>{1, 2}));
  EXPECT_THROW(host.UnjudgedNewMessages(9999), std::invalid_argument);

  const std::string delivered = md.Deliver("", kPlain);
  md.Deliver(".Lists", kPlain);
  const auto found = host.ScanForNewMessages();
  ASSERT_EQ(found.size(), 2u);  // in walk order
  EXPECT_EQ(std::tie(found[0].folder, found[0].message, found[0].file),
            std::make_tuple(kInbox, 6, md.Path("new/" + delivered)));
  EXPECT_EQ(found[1].folder, FolderId("Lists"));

  // A flag change by another program, the host's own work: nothing new.
  std::filesystem::rename(md.Path("new/" + delivered), md.Path("cur/" + delivered + ":2,S"));
  host.AddMessage(kInbox, kPlain);
  auto message = Message(1);
  message->SetHeaderValue(1, "X-Verdict", "Spam");
  message->Commit();
  message->MarkRead();
  EXPECT_TRUE(host.ScanForNewMessages().empty());

  // A folder made by a delivery agent, with mail in it.
  md.Deliver(".New", kPlain);
  EXPECT_TRUE(host.ScanForNewMessages(kInbox).empty());
  EXPECT_EQ(host.ScanForNewMessages().size(), 1u);
}

}  // namespace
}  // namespace tarvex
