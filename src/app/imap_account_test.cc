#include "app/imap_account.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "testing/temp_folder.h"

namespace tarvex {
namespace {

TEST(ImapAccountTest, UrlsNameServerPortUserAndTls) {
  using Security = imap::Account::Security;
  struct Case {
    const char* url;
    const char* host;
    uint16_t port;
    Security security;
    const char* user;
  };
  for (const Case& c : {
           Case{"imaps://me@imap.example.com", "imap.example.com", 993, Security::kTls, "me"},
           Case{"imaps://me@imap.example.com:1993", "imap.example.com", 1993, Security::kTls, "me"},
           Case{"imap://me@mail.example.org", "mail.example.org", 143, Security::kStartTls, "me"},
           Case{"imaps://me%40example.com@imap.example.com", "imap.example.com", 993,
                Security::kTls, "me@example.com"},
       }) {
    const imap::Account account = ParseAccountUrl(c.url);
    EXPECT_EQ(account.host, c.host) << c.url;
    EXPECT_EQ(account.port, c.port) << c.url;
    EXPECT_EQ(account.security, c.security) << c.url;
    EXPECT_EQ(account.user, c.user) << c.url;
  }
  for (const char* bad :
       {"pop3://me@host", "imaps://imap.example.com", "imaps://me@", "nonsense"}) {
    EXPECT_THROW(ParseAccountUrl(bad), std::invalid_argument) << bad;
  }
}

TEST(ImapAccountTest, TheFileKeepsTheAccountAndTheCommandGivesTheSecret) {
  testing::TempFolder folder;
  const std::string path = AccountFilePath(folder.path() + "/settings.reg");
  EXPECT_EQ(path, folder.path() + "/account.conf");
  EXPECT_FALSE(ReadAccountFile(path).has_value());

  AccountFile file{"imaps://me@127.0.0.1:1993", "printf 'pa ss\\nsecond line\\n'", "",
                   "/etc/my.pem"};
  WriteAccountFile(path, file);
  const std::optional<AccountFile> read = ReadAccountFile(path);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->url, file.url);
  EXPECT_EQ(read->password_command, file.password_command);
  const imap::Account account = ResolveAccount(*read, path);
  EXPECT_EQ(account.secret, "pa ss");
  EXPECT_EQ(account.certificate_file, "/etc/my.pem");
  EXPECT_FALSE(account.oauth);

  for (const char* command : {"exit 3", "true", ""}) {
    file.password_command = command;
    try {
      ResolveAccount(file, path);
      ADD_FAILURE() << "no error for " << command;
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()).rfind(path + ": ", 0), 0u) << error.what();
    }
  }
  // Without a command the desktop's secret service is asked; one that cannot
  // be reached is named as the reason.
  file.password_command = "";
  ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + folder.path() + "/no-bus").c_str(), 1);
  try {
    ResolveAccount(file, path);
    ADD_FAILURE() << "no error without a secret service";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what())
                  .find("no PasswordCommand gives the password of me, and "
                        "the desktop's secret service cannot be asked"),
              std::string::npos)
        << error.what();
  }
  std::ofstream(path) << "[Account\nUrl=";
  EXPECT_THROW(ReadAccountFile(path), std::runtime_error);
}

}  // namespace
}  // namespace tarvex
