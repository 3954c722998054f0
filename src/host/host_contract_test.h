// What every host must do, as tests run against any host through a small
// interface of test-side controls. The tests reach the host through a
// FaultInjectingHost in front of it, as the plug-in's tests do, so that what
// a failing call does is part of the contract. A host's test binary links
// these tests and instantiates them with a factory of its own:
//
//   INSTANTIATE_TEST_SUITE_P(Memory, HostContractTest,
//                            ::testing::Values(HostContractParam{"Memory", MakeMemoryHost}),
//                            HostContractParamName);
#ifndef TARVEX_HOST_HOST_CONTRACT_TEST_H_
#define TARVEX_HOST_HOST_CONTRACT_TEST_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "host/fault_injecting_host.h"
#include "host/host.h"

namespace tarvex {

// The test side of a host: what tests do to it besides calling the plug-in's
// interface. Headers are name/value pairs in order and, like bodies, UTF-8.
class HostUnderTest {
 public:
  using Headers = std::vector<std::pair<std::string, std::string>>;

  virtual ~HostUnderTest() = default;
  virtual HostLibrary& library() = 0;
  // Puts a message into the folder without telling anyone; returns its id.
  virtual int32_t AddMessage(int32_t folderId, const Headers& headers, const std::string& body) = 0;
  // Puts a message into the folder and raises "OnNewMessage" with its id on
  // the folder's sinks; returns the id.
  virtual int32_t DeliverNewMessage(int32_t folderId, const Headers& headers,
                                    const std::string& body) = 0;
  // "OnInitOEAPI" and "OnShutdownOEAPI" on the init sinks.
  virtual void RaiseInit() = 0;
  virtual void RaiseShutdown() = 0;
  // Makes folderId current, with messageIds selected in that order.
  virtual void SetSelection(int32_t folderId, const std::vector<int32_t>& messageIds) = 0;
  virtual bool IsRead(int32_t folderId, int32_t messageId) = 0;
  // Host objects handed out and not yet released.
  virtual int LiveObjects() = 0;
};

// The controls that every host's owner offers alike, forwarded to the host
// owned().
template <typename Host>
class OwnedHostUnderTest : public HostUnderTest {
 public:
  HostLibrary& library() override { return owned(); }
  void RaiseInit() override { owned().RaiseInit(); }
  void RaiseShutdown() override { owned().RaiseShutdown(); }
  void SetSelection(int32_t folderId, const std::vector<int32_t>& messageIds) override {
    owned().SetCurrentFolder(folderId);
    owned().SetSelection(messageIds);
  }
  int LiveObjects() override { return owned().LiveObjects(); }

 protected:
  virtual Host& owned() = 0;
};

struct HostContractParam {
  std::string name;
  std::function<std::unique_ptr<HostUnderTest>()> make;
  // Why the host cannot run here (a server it needs is not installed);
  // empty when it can. The tests are skipped with the reason.
  std::function<std::string()> missing = {};
};

inline void PrintTo(const HostContractParam& param, std::ostream* out) { *out << param.name; }

inline std::string HostContractParamName(const ::testing::TestParamInfo<HostContractParam>& info) {
  return info.param.name;
}

// The first folder of the manager's walk named exactly name; null when none.
HostRef<HostFolder> FolderNamed(HostFolderManager& manager, const std::string& name);

class HostContractTest : public ::testing::TestWithParam<HostContractParam> {
 protected:
  void SetUp() override {
    if (GetParam().missing) {
      const std::string why = GetParam().missing();
      if (!why.empty()) GTEST_SKIP() << why;
    }
    host_ = GetParam().make();
    faults_ = std::make_unique<FaultInjectingHost>(host_->library());
  }
  void TearDown() override {
    faults_.reset();
    host_.reset();
  }

  HostUnderTest& host() { return *host_; }
  // The host as the plug-in reaches it.
  HostLibrary& library() { return *faults_; }
  FaultInjectingHost& faults() { return *faults_; }

 private:
  std::unique_ptr<HostUnderTest> host_;
  std::unique_ptr<FaultInjectingHost> faults_;
};

}  // namespace tarvex

#endif  // TARVEX_HOST_HOST_CONTRACT_TEST_H_
