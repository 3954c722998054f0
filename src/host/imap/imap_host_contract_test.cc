#include <algorithm>
#include <stdexcept>

#include "host/host_contract_test.h"
#include "host/imap/imap_host.h"
#include "host/imap/imap_test_util.h"

namespace tarvex {
namespace {

// The shared tests over a fresh account on a private Dovecot per test.
// Messages the tests add are the host's own appends; messages they deliver
// are appended by a second connection, as a delivery would appear, and
// found by a scan.
class ImapHostUnderTest : public OwnedHostUnderTest<ImapHost> {
 public:
  ImapHostUnderTest()
      : account_(imap_test::Dovecot().NewAccount()), host_(account_, ImapHost::Options()) {}

  int32_t AddMessage(int32_t folderId, const Headers& headers, const std::string& body) override {
    return host_.AddMessage(folderId, imap_test::Text(headers, body));
  }
  int32_t DeliverNewMessage(int32_t folderId, const Headers& headers,
                            const std::string& body) override {
    if (!delivery_) delivery_ = std::make_unique<imap::Connection>(account_);
    delivery_->Append(host_.Mailbox(folderId), imap_test::Text(headers, body), {}, std::nullopt);
    const auto found = host_.ScanForNewMessages(folderId);
    if (found.size() != 1) throw std::logic_error("the delivery was not found");
    return found[0].message;
  }
  bool IsRead(int32_t folderId, int32_t messageId) override {
    const auto flags = host_.Message(folderId, messageId).flags;
    return std::find(flags.begin(), flags.end(), "\\Seen") != flags.end();
  }

 protected:
  ImapHost& owned() override { return host_; }

 private:
  imap::Account account_;
  ImapHost host_;
  std::unique_ptr<imap::Connection> delivery_;
};

INSTANTIATE_TEST_SUITE_P(Imap, HostContractTest,
                         ::testing::Values(HostContractParam{
                             "Imap", [] { return std::make_unique<ImapHostUnderTest>(); },
                             imap_test::Missing}),
                         HostContractParamName);

}  // namespace
}  // namespace tarvex
