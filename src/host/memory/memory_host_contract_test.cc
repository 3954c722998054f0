#include "host/host_contract_test.h"
#include "host/memory/memory_host.h"

namespace tarvex {
namespace {

class MemoryHostUnderTest : public HostUnderTest {
 public:
  HostLibrary& library() override { return host_; }
  int32_t AddMessage(int32_t folderId, const Headers& headers, const std::string& body) override {
    return host_.AddMessage(folderId, headers, body);
  }
  int32_t DeliverNewMessage(int32_t folderId, const Headers& headers,
                            const std::string& body) override {
    return host_.DeliverNewMessage(folderId, headers, body);
  }
  void RaiseInit() override { host_.RaiseInit(); }
  void RaiseShutdown() override { host_.RaiseShutdown(); }
  void SetSelection(int32_t folderId, const std::vector<int32_t>& messageIds) override {
    host_.SetCurrentFolder(folderId);
    host_.SetSelection(messageIds);
  }
  bool IsRead(int32_t folderId, int32_t messageId) override {
    return host_.Message(folderId, messageId).read;
  }
  int LiveObjects() override { return host_.LiveObjects(); }

 private:
  MemoryHost host_;
};

INSTANTIATE_TEST_SUITE_P(Memory, HostContractTest,
                         ::testing::Values(HostContractParam{
                             "Memory", [] { return std::make_unique<MemoryHostUnderTest>(); }}),
                         HostContractParamName);

}  // namespace
}  // namespace tarvex
