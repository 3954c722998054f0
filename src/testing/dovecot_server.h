// A private Dovecot for tests: unprivileged mail storage, a throwaway
// configuration and Maildir under a temporary folder, TLS with a certificate
// made for it, listening on a free loopback port. Any user name logs in with
// the password kPassword and gets a fresh Maildir, so each test takes a user
// of its own.
#ifndef TARVEX_TESTING_DOVECOT_SERVER_H_
#define TARVEX_TESTING_DOVECOT_SERVER_H_

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "host/imap/imap_connection.h"
#include "testing/temp_folder.h"

namespace tarvex::testing {

class DovecotServer {
 public:
  static constexpr char kPassword[] = "secret";

  // Whether the dovecot program is installed; tests skip without it.
  static bool Installed();
  // Starts one, its configuration followed by extra; throws
  // std::runtime_error with the reason (and the server's log) when it does
  // not come up.
  explicit DovecotServer(const std::string& extra = "");
  // Stops it.
  ~DovecotServer();
  DovecotServer(const DovecotServer&) = delete;
  DovecotServer& operator=(const DovecotServer&) = delete;

  // Stops the server (SIGTERM to its master, waiting until it is gone), and
  // starts it again on the same port and storage.
  void Stop();
  void Start();

  // An account of a user never used before, trusting the server's
  // certificate.
  imap::Account NewAccount();
  // The URL of an account, as a user would give it.
  std::string Url(const imap::Account& account) const;
  uint16_t port() const { return port_; }
  const std::string& certificate() const { return certificate_; }
  // The user's Maildir as Dovecot keeps it.
  std::string Maildir(const std::string& user) const;

 private:
  void WriteConfiguration(const std::string& extra);

  TempFolder base_{"tarvex-dovecot"};
  uint16_t port_ = 0;
  std::string certificate_;
  std::string configuration_;
  int users_ = 0;
  pid_t master_ = 0;
};

}  // namespace tarvex::testing

#endif  // TARVEX_TESTING_DOVECOT_SERVER_H_
