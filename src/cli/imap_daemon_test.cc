// The daemon end to end on an IMAP account: the real program against a
// private Dovecot, mail appended to INBOX as a delivery would appear.
#include <algorithm>
#include <fstream>
#include <set>

#include "app/profile.h"
#include "app/remote_operations.h"
#include "host/imap/imap_connection.h"
#include "mail/message_text.h"
#include "testing/dovecot_server.h"
#include "testing/program.h"
#include "testing/status_matchers.h"

namespace tarvex {
namespace {

using testing::DovecotServer;
using testing::WaitUntil;

class ImapDaemonTest : public testing::ProgramTest {
 protected:
  void SetUp() override {
    if (!DovecotServer::Installed()) {
      GTEST_SKIP() << "dovecot is not installed (Debian package dovecot-imapd); test skipped";
    }
    ProgramTest::SetUp();
    server_ = std::make_unique<DovecotServer>();
    account_ = server_->NewAccount();
  }

  // The messages of a mailbox as another mail program sees them.
  std::vector<std::string> Contents(imap::Connection& connection, const std::string& mailbox) {
    std::vector<std::string> messages;
    try {
      connection.Select(mailbox);
      connection.Noop();
      for (uint32_t uid : connection.Uids(1))
        messages.push_back(connection.Fetch(uid, true)->bytes);
    } catch (const imap::ImapError&) {
      // Not there yet.
    }
    return messages;
  }

  // Records the account with init, as a user would, completes its file and
  // blacklists spam.example.
  void InitAccount() {
    const testing::Result init = Run("init --imap " + server_->Url(account_));
    ASSERT_EQ(init.exit_code, 0) << init.err;
    EXPECT_NE(init.out.find("PasswordCommand"), std::string::npos) << init.out;
    std::ofstream(home_ + "/.config/tarvex/account.conf", std::ios::app)
        << "PasswordCommand = echo " << DovecotServer::kPassword << "\n"
        << "CertificateFile = " << server_->certificate() << "\n";
    ASSERT_EQ(Run("blacklist add --domain spam.example").exit_code, 0);
  }

  static std::string Mail(const std::string& from, int number) {
    return "From: " + from + "\r\nSubject: number " + std::to_string(number) + "\r\nMessage-ID: <" +
           std::to_string(number) + "@test>\r\n\r\nText " + std::to_string(number) + "\r\n";
  }

  size_t JudgedLines() const {
    const std::string log = DaemonLog();
    size_t lines = 0;
    for (size_t at = log.find("Inbox #"); at != std::string::npos; at = log.find("Inbox #", at + 1))
      ++lines;
    return lines;
  }

  std::unique_ptr<DovecotServer> server_;
  imap::Account account_;
};

TEST_F(ImapDaemonTest, RunOnAnAccountJudgesMailAppendedToTheInboxAndMovesSpam) {
  InitAccount();
  StartDaemon();

  imap::Connection mail(account_);
  mail.Append("INBOX",
              "From: a@spam.example\r\nSubject: offer\r\nMessage-ID: <spam@test>\r\n\r\n"
              "Cheap offer\r\n",
              {}, std::nullopt);
  ASSERT_TRUE(WaitUntil([&] { return Contents(mail, "DedoZarozo").size() == 1; })) << DaemonLog();
  EXPECT_TRUE(Contents(mail, "INBOX").empty());
  const std::string moved = Contents(mail, "DedoZarozo").at(0);
  EXPECT_EQ(mail::FirstHeaderValue(moved, "Message-ID"), "<spam@test>");
  EXPECT_FALSE(mail::FirstHeaderValue(moved, "X-TVX-RESULT").empty()) << moved;
  EXPECT_EQ(StopDaemon(), 0);
  EXPECT_NE(DaemonLog().find(": blacklisted, moved to DedoZarozo"), std::string::npos)
      << DaemonLog();
}

// The command line talks to the daemon on an account as to one on a Maildir,
// messages named by folder and UID.
TEST_F(ImapDaemonTest, TheCommandLineWorksOnTheAccountThroughItsDaemon) {
  InitAccount();
  StartDaemon();
  imap::Connection mail(account_);
  mail.Append("INBOX", Mail("b@friend.example", 1), {}, std::nullopt);
  ASSERT_TRUE(WaitUntil([&] { return JudgedLines() == 1; })) << DaemonLog();
  std::vector<uint32_t> uids;
  ASSERT_TRUE(WaitUntil([&] {
    mail.Select("INBOX");
    mail.Noop();
    uids = mail.Uids(1);
    return uids.size() == 1;
  }));
  const std::string name = "Inbox:" + std::to_string(uids[0]);

  const testing::Result headers = Run("headers " + name);
  ASSERT_EQ(headers.exit_code, 0) << headers.err;
  EXPECT_NE(headers.out.find("Subject: number 1"), std::string::npos) << headers.out;
  EXPECT_NE(Run("headers Inbox:99999").err.find("Inbox:99999: no such message"), std::string::npos);

  const testing::Result marked = Run("mark-spam " + name);
  ASSERT_EQ(marked.exit_code, 0) << marked.err;
  ASSERT_TRUE(WaitUntil([&] { return Contents(mail, "DedoZarozo").size() == 1; }));
  EXPECT_EQ(mail::FirstHeaderValue(Contents(mail, "DedoZarozo")[0], "X-TVX-LEARN"), "Spam");
  EXPECT_NE(Run("stats").out.find("Spam messages: 1"), std::string::npos);

  // A message piped as a mail reader pipes it is found by its Message-ID.
  mail.Append("INBOX", Mail("d@other.example", 3), {}, std::nullopt);
  ASSERT_TRUE(WaitUntil([&] { return JudgedLines() == 2; })) << DaemonLog();
  std::string piped = "From mutt Sat Dec  5 10:00:00 2026\n" + Mail("d@other.example", 3);
  piped.erase(std::remove(piped.begin(), piped.end(), '\r'), piped.end());
  const testing::Result byText = Run("mark-spam --stdin", piped);
  ASSERT_EQ(byText.exit_code, 0) << byText.err;
  ASSERT_TRUE(WaitUntil([&] { return Contents(mail, "DedoZarozo").size() == 2; }));
  EXPECT_NE(Run("mark-spam --stdin", "Subject: none\n\nno id\n").err.find("no Message-ID"),
            std::string::npos);

  // A mail window, as the daemon's client, sees the account's folders and
  // the verdicts of its messages.
  const ProfilePaths paths = LocateProfile({}, [this](const char* name) -> const char* {
    if (std::string(name) == "HOME") return home_.c_str();
    if (std::string(name) == "XDG_RUNTIME_DIR" && !runtimeDir_.empty()) return runtimeDir_.c_str();
    return nullptr;
  });
  RecordingUi boxes;
  RemoteOperations window(
      [&] {
        std::string problem;
        return ConnectToServer(paths.socket, &problem);
      },
      boxes);
  std::vector<FolderEntry> folders;
  ASSERT_OK(window.FolderTree(&folders));
  int32_t spamFolder = 0;
  for (const FolderEntry& folder : folders) {
    if (folder.name == "DedoZarozo") spamFolder = folder.id;
  }
  ASSERT_NE(spamFolder, 0);
  std::vector<ListedRef> listed;
  ASSERT_OK(window.FolderMessages(spamFolder, &listed));
  ASSERT_EQ(listed.size(), 2u);
  std::vector<MessageSummary> summaries;
  ASSERT_OK(window.MessageSummaries(spamFolder, {listed[0].message}, &summaries));
  ASSERT_EQ(summaries.size(), 1u);
  EXPECT_EQ(summaries[0].learn, "Spam");
  EXPECT_EQ(summaries[0].subject, "number 1");

  // A list edit reaches the daemon's filter at once.
  ASSERT_EQ(Run("blacklist add --domain friend.example").exit_code, 0);
  mail.Append("INBOX", Mail("c@friend.example", 2), {}, std::nullopt);
  ASSERT_TRUE(WaitUntil([&] { return Contents(mail, "DedoZarozo").size() == 3; })) << DaemonLog();
  EXPECT_EQ(StopDaemon(), 0);
}

// Without a daemon a command opens the account itself, under the profile
// lock, as it opens a Maildir; the server's INBOX is the plug-in's Inbox.
TEST_F(ImapDaemonTest, TheCommandLineWorksOnTheAccountWithoutADaemon) {
  InitAccount();
  imap::Connection mail(account_);
  mail.Append("INBOX", Mail("a@x.example", 1), {}, std::nullopt);
  mail.Append("INBOX", Mail("b@x.example", 2), {}, std::nullopt);
  const testing::Result trained = Run("train --spam INBOX");
  ASSERT_EQ(trained.exit_code, 0) << trained.err;
  EXPECT_NE(trained.out.find("Learnt 2 spam and 0 good messages"), std::string::npos)
      << trained.out;
  const testing::Result headers = Run("headers INBOX:2");
  ASSERT_EQ(headers.exit_code, 0) << headers.err;
  EXPECT_NE(headers.out.find("Subject: number 2"), std::string::npos) << headers.out;
  EXPECT_NE(Run("train --spam Nowhere").err.find("Nowhere: no such folder in user"),
            std::string::npos);
}

TEST_F(ImapDaemonTest, ADaemonKilledDuringABurstLeavesTheRestToTheNextStartExactlyOnce) {
  InitAccount();
  StartDaemon();
  imap::Connection mail(account_);
  const int count = 40;
  for (int i = 0; i < count; ++i) {
    mail.Append("INBOX", Mail(i % 2 ? "a@spam.example" : "b@friend.example", i), {}, std::nullopt);
  }
  ASSERT_TRUE(WaitUntil([&] { return JudgedLines() >= 10; })) << DaemonLog();
  StopDaemon(SIGKILL);
  const size_t before = JudgedLines();
  StartDaemon();  // judges what came while it was down, and what it left

  std::multiset<std::string> ids;
  ASSERT_TRUE(WaitUntil([&] {
    ids.clear();
    for (const char* mailbox : {"INBOX", "DedoZarozo"}) {
      for (const std::string& message : Contents(mail, mailbox)) {
        if (!mail::FirstHeaderValue(message, "X-TVX-RESULT").empty()) {
          ids.insert(mail::FirstHeaderValue(message, "Message-ID"));
        }
      }
    }
    return ids.size() >= static_cast<size_t>(count);
  })) << DaemonLog();
  const size_t after = JudgedLines();
  EXPECT_EQ(StopDaemon(), 0);  // no move under way while the folders are counted
  EXPECT_EQ(ids.size(), static_cast<size_t>(count));
  EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), static_cast<size_t>(count));
  EXPECT_EQ(Contents(mail, "INBOX").size() + Contents(mail, "DedoZarozo").size(),
            static_cast<size_t>(count));
  // A spam message stamped when the daemon died is left where it was.
  EXPECT_GE(Contents(mail, "DedoZarozo").size(), static_cast<size_t>(count / 2 - 1));
  // The one being judged when the daemon died may be judged again; no other.
  EXPECT_LE(before + after, static_cast<size_t>(count) + 1) << DaemonLog();
}

}  // namespace
}  // namespace tarvex
