#include "host/host_contract_test.h"
#include "host/memory/memory_host.h"

namespace tarvex {
namespace {

class MemoryHostUnderTest : public OwnedHostUnderTest<MemoryHost> {
 public:
  int32_t AddMessage(int32_t folderId, const Headers& headers, const std::string& body) override {
    return host_.AddMessage(folderId, headers, body);
  }
  int32_t DeliverNewMessage(int32_t folderId, const Headers& headers,
                            const std::string& body) override {
    return host_.DeliverNewMessage(folderId, headers, body);
  }
  bool IsRead(int32_t folderId, int32_t messageId) override {
    return host_.Message(folderId, messageId).read;
  }

 protected:
  MemoryHost& owned() override { return host_; }

 private:
  MemoryHost host_;
};

INSTANTIATE_TEST_SUITE_P(Memory, HostContractTest,
                         ::testing::Values(HostContractParam{
                             "Memory", [] { return std::make_unique<MemoryHostUnderTest>(); }}),
                         HostContractParamName);

}  // namespace
}  // namespace tarvex
