// What the IMAP store's tests share: one private Dovecot per test program,
// a message as a mail program writes it, and a second connection that
// stands for other mail programs and for delivery.
#ifndef TARVEX_HOST_IMAP_IMAP_TEST_UTIL_H_
#define TARVEX_HOST_IMAP_IMAP_TEST_UTIL_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/imap/imap_connection.h"
#include "testing/dovecot_server.h"

namespace tarvex::imap_test {

// Why the tests cannot run here; empty when they can.
inline std::string Missing() {
  return testing::DovecotServer::Installed()
             ? std::string()
             : "dovecot is not installed (Debian package dovecot-imapd); IMAP tests skipped";
}

// The server of this test program, started at first use.
inline testing::DovecotServer& Dovecot() {
  static std::unique_ptr<testing::DovecotServer> server;
  if (!server) server = std::make_unique<testing::DovecotServer>();
  return *server;
}

using Headers = std::vector<std::pair<std::string, std::string>>;

inline std::string Text(const Headers& headers, const std::string& body) {
  std::string text;
  for (const auto& [name, value] : headers) text += name + ": " + value + "\r\n";
  return text + "\r\n" + body;
}

}  // namespace tarvex::imap_test

#endif  // TARVEX_HOST_IMAP_IMAP_TEST_UTIL_H_
