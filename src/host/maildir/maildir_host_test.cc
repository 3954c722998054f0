#include "host/maildir/maildir_host.h"

#include <gtest/gtest.h>

#include <memory>

#include "host/folder_lookup.h"
#include "host/maildir/maildir_test_util.h"

namespace tarvex {
namespace {

using maildir_test::ReadAll;
using maildir_test::TempMaildir;
using Names = std::vector<std::string>;

class RecordingSink : public HostEventSink {
 public:
  HostStatus Invoke(const HostEvent& event, std::string*) override {
    ids.push_back(event.arguments.at(0).integer);
    return status::kOk;
  }
  std::vector<int64_t> ids;
};

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
  HostRef<HostFolder> Folder(const std::string& name) {
    auto folder = FindFolderByName(*manager_, name);
    EXPECT_NE(folder, nullptr) << name;
    return folder;
  }
  int32_t FolderId(const std::string& name) { return Folder(name)->GetId(); }
  HostRef<HostMessage> Message(const std::string& folder, int32_t id) {
    return Folder(folder)->GetMessage(id);
  }
  // The subjects of the folder's messages in walk order.
  Names Subjects(const std::string& folder) {
    Names subjects;
    auto f = Folder(folder);
    for (auto m = f->GetFirstMessage(); m; m = f->GetNextMessage()) {
      subjects.push_back(m->GetHeaderValue(1, "Subject", nullptr));
    }
    return subjects;
  }

  TempMaildir md;
  std::unique_ptr<MaildirHost> host_;
  HostRef<HostFolderManager> manager_;
};

const char kPlain[] = "From: alice@example.com\nSubject: Lunch\n\nNoon?\n";

// ------------------------------------------------------------------ folders

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
  EXPECT_EQ(host.FolderDirectory(FolderId("Inbox")), md.root());
  EXPECT_EQ(host.FolderDirectory(MaildirHost::kLocalFoldersId), "");
  EXPECT_EQ(FolderId("Local Folders"), MaildirHost::kLocalFoldersId);
  EXPECT_EQ(manager_->GetInboxFolder()->GetId(), MaildirHost::kInboxId);
  EXPECT_NE(Folder("Deleted Items")->GetFirstMessage(), nullptr);
  EXPECT_EQ(Folder("Lists")->GetFirstMessage(), nullptr);  // a level without a directory

  // The conventional name wins; the other keeps its own.
  md.MakeFolder(".Sent");
  EXPECT_EQ(host.FolderDirectory(FolderId("Sent Items")), md.Path(".Sent"));
  EXPECT_EQ(host.FolderDirectory(FolderId("Sent Messages")), md.Path(".Sent Messages"));
}

TEST_F(MaildirHostTest, CreateSubFolderMakesMaildirPlusPlusFolders) {
  Open();
  auto root = manager_->GetFirstFolder();
  auto sent = root->CreateSubFolder("Sent Items");
  EXPECT_EQ(sent->GetName(), "Sent Items");
  EXPECT_EQ(md.Files(".Sent"), (Names{"cur", "maildirfolder", "new", "tmp"}));
  EXPECT_THROW(root->CreateSubFolder("Sent Items"), HostError);
  EXPECT_THROW(root->CreateSubFolder("Inbox"), HostError);
  root->CreateSubFolder("Deleted Items");
  EXPECT_TRUE(std::filesystem::exists(md.Path(".Trash/cur")));

  auto spam = manager_->GetInboxFolder()->CreateSubFolder("Spam");
  spam->CreateSubFolder("Old");
  root->CreateSubFolder("Courrier ind\xE9sirable");
  EXPECT_TRUE(std::filesystem::exists(md.Path(".INBOX.Spam/maildirfolder")));
  EXPECT_TRUE(std::filesystem::exists(md.Path(".INBOX.Spam.Old/cur")));
  EXPECT_TRUE(std::filesystem::exists(md.Path(".Courrier ind&AOk-sirable/cur")));
  EXPECT_EQ(WalkNames(), (Names{"Local Folders", "Courrier ind\xE9sirable", "Deleted Items",
                                "Drafts", "Inbox", "Spam", "Old", "Outbox", "Sent Items"}));
  for (const char* bad : {"", "a.b", "a/b"}) EXPECT_THROW(root->CreateSubFolder(bad), HostError);
}

TEST_F(MaildirHostTest, FolderAndMessageIdsStayWhatTheyWere) {
  md.MakeFolder(".Archive");
  const std::string first = md.Deliver("", "Subject: first\n\n1");
  const std::string second = md.Deliver("", "Subject: second\n\n2");
  MaildirHost& host = Open();
  const int32_t archive = FolderId("Archive");
  EXPECT_EQ(Subjects("Inbox"), (Names{"first", "second"}));
  EXPECT_EQ(Message("Inbox", 2)->GetHeaderValue(1, "Subject", nullptr), "second");

  // Another folder appears before it; another program reads the first message.
  md.MakeFolder(".Aardvark");
  std::filesystem::rename(md.Path("new/" + first), md.Path("cur/" + first + ":2,S"));
  EXPECT_EQ(FolderId("Archive"), archive);
  EXPECT_GT(FolderId("Aardvark"), archive);
  EXPECT_EQ(Message("Inbox", 1)->GetHeaderValue(1, "Subject", nullptr), "first");
  EXPECT_EQ(host.MessageFile(MaildirHost::kInboxId, 1), md.Path("cur/" + first + ":2,S"));
  EXPECT_EQ(Subjects("Inbox"), (Names{"first", "second"}));
  EXPECT_TRUE(host.ScanForNewMessages().empty());

  // Gone and back: the same id.
  std::filesystem::rename(md.Path("new/" + second), md.Path("tmp/x"));
  EXPECT_THROW(Message("Inbox", 2), HostError);
  std::filesystem::rename(md.Path("tmp/x"), md.Path("new/" + second));
  EXPECT_EQ(Message("Inbox", 2)->GetHeaderValue(1, "Subject", nullptr), "second");
}

// ------------------------------------------------------------------ reading

TEST_F(MaildirHostTest, HeaderTextIsTheStoredBlockAndValuesAreDecoded) {
  const std::string header =
      "From: =?ISO-8859-1?Q?Andr=E9?= <andre@example.com>\n"
      "Subject: =?utf-8?B?w6l0w6k=?=\n continued\n"
      "X-Raw: caf\xE9\n";
  md.Deliver("", header + "\nbody\n");
  Open();
  auto message = Message("Inbox", 1);
  EXPECT_EQ(message->GetHeaderText(), header);  // raw Latin-1 é is é in Windows-1252 too
  EXPECT_EQ(message->GetRawHeaders(), header);
  int32_t found = 0;
  EXPECT_EQ(message->GetHeaderValue(1, "FROM", &found), "Andr\xE9 <andre@example.com>");
  EXPECT_EQ(found, 1);
  EXPECT_EQ(message->GetHeaderValue(1, "subject", &found), "\xE9t\xE9 continued");
  EXPECT_EQ(message->GetHeaderValue(1, "X-Raw", &found), "caf\xE9");
  EXPECT_EQ(message->GetHeaderValue(1, "X-Missing", &found), "");
  EXPECT_EQ(found, 0);
  EXPECT_EQ(message->GetPartText(message->GetBodyPart()), "body\n");
  EXPECT_THROW(message->GetPartText(2), HostError);
}

// ------------------------------------------------------------------ changing

TEST_F(MaildirHostTest, CommitRewritesOnlyTheHeaderKeepingLineEndsFlagsAndBody) {
  const std::string body = "line one\nbinary \x01\xFF\r\n\r\nX-TVX-RESULT: not a header\r\n";
  md.Write("cur/1700.M1P1.test:2,FS",
           "From: a@example.com\r\nX-TVX-RESULT: Clean\r\nSubject: s\r\n\r\n" + body);
  MaildirHost& host = Open();
  auto message = Message("Inbox", 1);
  message->SetHeaderValue(1, "X-TVX-RESULT", "Spam");
  message->SetHeaderValue(1, "X-TVX-SCORE", "Bayesian Score = 97");
  EXPECT_THROW(message->SetHeaderValue(1, "Bad Name", "x"), HostError);
  EXPECT_THROW(message->SetHeaderValue(1, "X-A", "one\r\nBcc: evil@example.com"), HostError);
  message->Commit();

  EXPECT_EQ(md.Files("cur"), Names{"1700.M1P1.test:2,FS"});
  EXPECT_EQ(ReadAll(md.Path("cur/1700.M1P1.test:2,FS")),
            "From: a@example.com\r\nX-TVX-RESULT: Spam\r\nSubject: s\r\n"
            "X-TVX-SCORE: Bayesian Score = 97\r\n\r\n" +
                body);
  EXPECT_TRUE(md.Files("tmp").empty());
  EXPECT_TRUE(host.ScanForNewMessages().empty());  // its own rewrite is not new mail
  message->Commit();                               // nothing staged: nothing written
  EXPECT_EQ(message->GetHeaderValue(1, "x-tvx-score", nullptr), "Bayesian Score = 97");
}

TEST_F(MaildirHostTest, NonAsciiValuesAreWrittenRawOrEncodedAsChosen) {
  md.Deliver("", kPlain);
  md.Deliver("", kPlain);
  MaildirHost& host = Open();
  auto raw = Message("Inbox", 1);
  raw->SetHeaderValue(1, "X-TVX-TOP-WORDS", "caf\xE9");
  raw->Commit();
  EXPECT_NE(ReadAll(host.MessageFile(2, 1)).find("X-TVX-TOP-WORDS: caf\xC3\xA9\n"),
            std::string::npos);

  MaildirHost& encoding = Open({/*encode_header_values=*/true});
  auto encoded = Message("Inbox", 2);
  encoded->SetHeaderValue(1, "X-TVX-TOP-WORDS", "caf\xE9");
  encoded->Commit();
  EXPECT_NE(ReadAll(encoding.MessageFile(2, 2)).find("X-TVX-TOP-WORDS: =?UTF-8?"),
            std::string::npos);
  EXPECT_EQ(encoded->GetHeaderValue(1, "X-TVX-TOP-WORDS", nullptr), "caf\xE9");
}

TEST_F(MaildirHostTest, MarkReadMovesToCurWithTheSeenFlagInOrder) {
  md.Write("new/a", kPlain);
  md.Write("cur/b:2,RF", kPlain);
  md.Write("cur/c:2,S", kPlain);
  Open();
  for (int32_t id : {1, 2, 3}) Message("Inbox", id)->MarkRead();
  EXPECT_TRUE(md.Files("new").empty());
  EXPECT_EQ(md.Files("cur"), (Names{"a:2,S", "b:2,FRS", "c:2,S"}));
  EXPECT_EQ(Message("Inbox", 1)->GetHeaderValue(1, "Subject", nullptr), "Lunch");
}

TEST_F(MaildirHostTest, MoveKeepsNewAndCurAndTheFileName) {
  md.MakeFolder(".Junk");
  md.Write("new/a", kPlain);
  md.Write("cur/b:2,S", kPlain);
  md.Write("cur/c:2,", "Subject: c in the inbox\n\n");
  md.Write(".Junk/cur/c:2,", "Subject: c in junk\n\n");
  MaildirHost& host = Open();
  const int32_t junk = FolderId("Junk"), drafts = FolderId("Drafts");

  EXPECT_TRUE(manager_->MoveMessage(MaildirHost::kInboxId, junk, 1));
  EXPECT_TRUE(manager_->MoveMessage(MaildirHost::kInboxId, junk, 2));
  EXPECT_TRUE(manager_->MoveMessage(MaildirHost::kInboxId, junk, 3));  // a name taken there
  // Junk's own "c" is 1 there; "a", "b" and the other "c" came as 2, 3 and 4.
  EXPECT_TRUE(manager_->MoveMessage(junk, drafts, 2));  // into a folder without a directory
  EXPECT_FALSE(manager_->MoveMessage(junk, junk, 3));
  EXPECT_THROW(manager_->MoveMessage(junk, MaildirHost::kLocalFoldersId, 3), HostError);

  EXPECT_TRUE(md.Files("new").empty());
  EXPECT_TRUE(md.Files("cur").empty());
  EXPECT_EQ(md.Files(".Drafts/new"), Names{"a"});
  const Names junk_cur = md.Files(".Junk/cur");  // a fresh unique name sorts first
  ASSERT_EQ(junk_cur.size(), 3u);
  EXPECT_EQ(junk_cur[1], "b:2,S");
  EXPECT_EQ(junk_cur[2], "c:2,");
  EXPECT_EQ(junk_cur[0].substr(junk_cur[0].size() - 3), ":2,");
  EXPECT_EQ(ReadAll(md.Path(".Junk/cur/" + junk_cur[0])), "Subject: c in the inbox\n\n");
  EXPECT_EQ(ReadAll(md.Path(".Junk/cur/c:2,")), "Subject: c in junk\n\n");
  EXPECT_TRUE(host.ScanForNewMessages().empty());  // its own moves are not new mail
}

TEST_F(MaildirHostTest, MovingAwayDuringTheWalkSkipsNothing) {
  for (int i = 0; i < 5; ++i) md.Deliver("", kPlain);
  Open();
  auto inbox = manager_->GetInboxFolder();
  auto spam = inbox->CreateSubFolder("Spam");
  int visited = 0;
  for (auto m = inbox->GetFirstMessage(); m; m = inbox->GetNextMessage()) {
    ++visited;
    EXPECT_TRUE(manager_->MoveMessage(inbox->GetId(), spam->GetId(), visited));
    if (visited == 2) md.Deliver("", kPlain);  // arrives during the walk
  }
  EXPECT_EQ(visited, 6);
  EXPECT_EQ(md.Files(".INBOX.Spam/new").size(), 6u);
}

// ------------------------------------------------------------------ new mail

TEST_F(MaildirHostTest, ScanReportsDeliveriesOnly) {
  md.Deliver("", kPlain);  // there before the host: not new
  md.MakeFolder(".Lists");
  MaildirHost& host = Open();
  auto inbox = manager_->GetInboxFolder();
  auto sink = std::make_shared<RecordingSink>();
  const uint32_t cookie = inbox->Advise(sink);

  const std::string delivered = md.Deliver("", kPlain);
  md.Deliver(".Lists", kPlain);
  const auto found = host.ScanForNewMessages();
  ASSERT_EQ(found.size(), 2u);  // in walk order
  EXPECT_EQ(found[0].folder, MaildirHost::kInboxId);
  EXPECT_EQ(found[0].message, 2);
  EXPECT_EQ(found[0].file, md.Path("new/" + delivered));
  EXPECT_EQ(found[1].folder, FolderId("Lists"));
  EXPECT_EQ(sink->ids, (std::vector<int64_t>{2}));

  // A flag change by another program, the host's own work: nothing new.
  std::filesystem::rename(md.Path("new/" + delivered), md.Path("cur/" + delivered + ":2,S"));
  host.AddMessage(MaildirHost::kInboxId, kPlain);
  auto message = Message("Inbox", 1);
  message->SetHeaderValue(1, "X-TVX-RESULT", "Clean");
  message->Commit();
  message->MarkRead();
  EXPECT_TRUE(host.ScanForNewMessages().empty());

  // A folder made by a delivery agent, with mail in it.
  md.Deliver(".New", kPlain);
  EXPECT_EQ(host.ScanForNewMessages(MaildirHost::kInboxId).size(), 0u);
  EXPECT_EQ(host.ScanForNewMessages().size(), 1u);
  EXPECT_EQ(sink->ids.size(), 1u);
  inbox->Unadvise(cookie);
}

TEST_F(MaildirHostTest, UnjudgedNewMessagesAreTheOnesWithoutVerdictHeaders) {
  md.Write("new/1", "X-TVX-RESULT: Clean\n\nbody");
  md.Write("new/2", "x-tvx-learn: Spam\r\n\r\nbody");
  md.Write("new/3", "Subject: waiting\n\nX-TVX-RESULT: in the body\n");
  md.Write("new/4", "Subject: no body");
  md.Write("cur/5:2,", "Subject: seen\n\nbody");
  MaildirHost& host = Open();
  EXPECT_EQ(host.UnjudgedNewMessages(MaildirHost::kInboxId), (std::vector<int32_t>{3, 4}));
  EXPECT_EQ(host.UnjudgedNewMessages(MaildirHost::kInboxId, {"Subject"}),
            (std::vector<int32_t>{1, 2}));
  EXPECT_THROW(host.UnjudgedNewMessages(9999), std::invalid_argument);
}

}  // namespace
}  // namespace tarvex
