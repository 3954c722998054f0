// The daemon end to end on an IMAP account: the real program against a
// private Dovecot, mail appended to INBOX as a delivery would appear.
#include <fstream>

#include "cli/program_test_util.h"
#include "host/imap/imap_connection.h"
#include "mail/message_text.h"
#include "testing/dovecot_server.h"

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

  std::unique_ptr<DovecotServer> server_;
  imap::Account account_;
};

TEST_F(ImapDaemonTest, RunOnAnAccountJudgesMailAppendedToTheInboxAndMovesSpam) {
  const testing::Result init = Run("init --imap " + server_->Url(account_));
  ASSERT_EQ(init.exit_code, 0) << init.err;
  EXPECT_NE(init.out.find("PasswordCommand"), std::string::npos) << init.out;
  std::ofstream(home_ + "/.config/tarvex/account.conf", std::ios::app)
      << "PasswordCommand = echo " << DovecotServer::kPassword << "\n"
      << "CertificateFile = " << server_->certificate() << "\n";
  ASSERT_EQ(Run("blacklist add --domain spam.example").exit_code, 0);
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

}  // namespace
}  // namespace tarvex
