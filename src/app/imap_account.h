// The IMAP account the daemon filters: a small key file beside the settings
// (account.conf), read and written with GLib's key-file reader.
//
//   [Account]
//   Url = imaps://user@imap.example.com        (imap:// for STARTTLS; a port may follow)
//   PasswordCommand = pass show mail/work       (its first line of output is the secret)
//   Authentication = password                   (or xoauth2: the command gives a token)
//   CertificateFile = /etc/ssl/my-server.pem    (trusted instead of the system's authorities)
//
// The password itself is never in the file nor on a command line.
#ifndef TARVEX_APP_IMAP_ACCOUNT_H_
#define TARVEX_APP_IMAP_ACCOUNT_H_

#include <optional>
#include <string>

#include "host/imap/imap_connection.h"

namespace tarvex {

struct AccountFile {
  std::string url;
  std::string password_command;
  std::string authentication;  // "password" (the default) or "xoauth2"
  std::string certificate_file;
};

// The file beside the settings file.
std::string AccountFilePath(const std::string& settingsFile);

// Reads the file; nothing when it is not there. Throws std::runtime_error
// naming the file and the reason when it cannot be read.
std::optional<AccountFile> ReadAccountFile(const std::string& path);
// Writes the file whole; throws std::runtime_error naming the file.
void WriteAccountFile(const std::string& path, const AccountFile& account);

// The server and user of an "imaps://user@host[:port]" or
// "imap://user@host[:port]" URL (a user name with "@" writes it "%40").
// Throws std::invalid_argument saying what is wrong.
imap::Account ParseAccountUrl(const std::string& url);

// The account ready to connect: its URL read, its secret asked of its
// password command (run by /bin/sh). Throws std::runtime_error naming the
// file and the reason.
imap::Account ResolveAccount(const AccountFile& file, const std::string& path);

}  // namespace tarvex

#endif  // TARVEX_APP_IMAP_ACCOUNT_H_
