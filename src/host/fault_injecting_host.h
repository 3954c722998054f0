// A host that forwards every call of every object to another host, except
// the calls it is told to fail: those fail with the status and description
// chosen, without reaching the host behind, which is left as it was. Tests
// put it in front of any host (the in-memory one, the Maildir one) to see
// what the plug-in does when the mail client fails.
//
// Operations are named as in host.h without "Do": "GetName",
// "SetHeaderValue", "Commit", "MoveMessage", "Advise", "Unadvise",
// "CreateApi" ... A failure counts the calls of its operation on any object
// of this host, from when it is set. The library's Create* calls fail
// without a description (there is no object to ask for one).
//
// Objects handed out wrap the host's objects one for one and share with
// this host what is to fail; they may outlive it, and the host behind it as
// far as that host's own objects may. Every method is safe to call from
// several threads.
#ifndef TARVEX_HOST_FAULT_INJECTING_HOST_H_
#define TARVEX_HOST_FAULT_INJECTING_HOST_H_

#include <memory>
#include <string>

#include "host/host.h"

namespace tarvex {

class FaultInjectingHost : public HostLibrary {
 public:
  // Forwards to target, which must outlive this host.
  explicit FaultInjectingHost(HostLibrary& target);
  ~FaultInjectingHost() override;
  FaultInjectingHost(const FaultInjectingHost&) = delete;
  FaultInjectingHost& operator=(const FaultInjectingHost&) = delete;

  void InitializeComponents() override;
  void UninitializeComponents() override;

  // An unknown operation name throws std::invalid_argument from these.

  // Makes the next call of operation fail. Failures queue: two FailNext make
  // the next two calls fail.
  void FailNext(const std::string& operation, HostStatus status,
                const std::string& description = {});
  // Makes the nth call of operation from now fail (n from 1), the calls
  // before it forwarded.
  void FailCall(const std::string& operation, int n, HostStatus status,
                const std::string& description = {});
  // Makes every call of operation fail until Heal.
  void FailAlways(const std::string& operation, HostStatus status,
                  const std::string& description = {});
  // Ends every failure set, pending or permanent.
  void Heal();

 protected:
  HostStatus DoCreateInit(HostRef<HostInit>* init) override;
  HostStatus DoCreateFolderManager(HostRef<HostFolderManager>* manager) override;
  HostStatus DoCreateApi(HostRef<HostApi>* api) override;

 private:
  // What is to fail, shared by the host and its objects.
  struct Faults;
  // The objects, each forwarding to the host's object it wraps.
  template <typename Base>
  class Forwarding;
  class Init;
  class FolderManager;
  class Api;
  class Folder;
  class Message;
  class Toolbar;

  HostLibrary& target_;
  std::shared_ptr<Faults> faults_;
};

}  // namespace tarvex

#endif  // TARVEX_HOST_FAULT_INJECTING_HOST_H_
