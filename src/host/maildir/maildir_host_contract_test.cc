#include "host/host_contract_test.h"
#include "host/maildir/maildir_host.h"
#include "mail/maildir_names.h"
#include "testing/maildir_files.h"

namespace tarvex {
namespace {

// The shared tests over a fresh Maildir on disk per test. Messages the tests
// add are the host's own writes; messages they deliver are written by a
// delivery agent and found by a scan, as a watcher would.
class MaildirHostUnderTest : public OwnedHostUnderTest<MaildirHost> {
 public:
  MaildirHostUnderTest() : host_(md_.root()) {}

  int32_t AddMessage(int32_t folderId, const Headers& headers, const std::string& body) override {
    return host_.AddMessage(folderId, Text(headers, body));
  }
  int32_t DeliverNewMessage(int32_t folderId, const Headers& headers,
                            const std::string& body) override {
    const std::string dir = host_.FolderDirectory(folderId).substr(md_.root().size());
    md_.Deliver(dir.empty() ? "" : dir.substr(1), Text(headers, body));
    const auto found = host_.ScanForNewMessages(folderId);
    if (found.size() != 1) throw std::logic_error("the delivery was not found");
    return found[0].message;
  }
  bool IsRead(int32_t folderId, int32_t messageId) override {
    const std::string file = host_.MessageFile(folderId, messageId);
    const size_t slash = file.rfind('/');
    if (file.empty() || slash < 3) return false;
    return file.compare(slash - 3, 4, "cur/") == 0 &&
           mail::HasFlag(mail::ParseMessageFileName(file.substr(slash + 1)).flags, 'S');
  }

 protected:
  MaildirHost& owned() override { return host_; }

 private:
  // The message as a mail program writes it: header lines and body, CR LF.
  static std::string Text(const Headers& headers, const std::string& body) {
    std::string text;
    for (const auto& [name, value] : headers) text += name + ": " + value + "\r\n";
    return text + "\r\n" + body;
  }

  maildir_test::TempMaildir md_;  // before the host, which needs it
  MaildirHost host_;
};

INSTANTIATE_TEST_SUITE_P(Maildir, HostContractTest,
                         ::testing::Values(HostContractParam{
                             "Maildir", [] { return std::make_unique<MaildirHostUnderTest>(); }}),
                         HostContractParamName);

}  // namespace
}  // namespace tarvex
