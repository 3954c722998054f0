#include "host/fault_injecting_host.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace tarvex {
namespace {

// Every operation of the host objects and the library, by the name tests
// give it.
enum class Op {
  kAdvise,
  kUnadvise,
  kGetName,
  kGetId,
  kGetMessage,
  kGetFirstMessage,
  kGetNextMessage,
  kCreateSubFolder,
  kGetHeaderText,
  kGetRawHeaders,
  kGetRootPart,
  kGetBodyPart,
  kGetPartText,
  kGetHeaderValue,
  kSetHeaderValue,
  kCommit,
  kMarkRead,
  kGetInboxFolder,
  kGetFirstFolder,
  kGetNextFolder,
  kGetFolder,
  kMoveMessage,
  kSetToolbarFlag,
  kGetWindow,
  kRemove,
  kCreateToolbar,
  kGetCurrentFolderId,
  kGetFirstSelectedMessageId,
  kGetNextSelectedMessageId,
  kCreateInit,
  kCreateFolderManager,
  kCreateApi,
};

const std::map<std::string, Op>& Operations() {
  static const std::map<std::string, Op> operations = {
      {"Advise", Op::kAdvise},
      {"Unadvise", Op::kUnadvise},
      {"GetName", Op::kGetName},
      {"GetId", Op::kGetId},
      {"GetMessage", Op::kGetMessage},
      {"GetFirstMessage", Op::kGetFirstMessage},
      {"GetNextMessage", Op::kGetNextMessage},
      {"CreateSubFolder", Op::kCreateSubFolder},
      {"GetHeaderText", Op::kGetHeaderText},
      {"GetRawHeaders", Op::kGetRawHeaders},
      {"GetRootPart", Op::kGetRootPart},
      {"GetBodyPart", Op::kGetBodyPart},
      {"GetPartText", Op::kGetPartText},
      {"GetHeaderValue", Op::kGetHeaderValue},
      {"SetHeaderValue", Op::kSetHeaderValue},
      {"Commit", Op::kCommit},
      {"MarkRead", Op::kMarkRead},
      {"GetInboxFolder", Op::kGetInboxFolder},
      {"GetFirstFolder", Op::kGetFirstFolder},
      {"GetNextFolder", Op::kGetNextFolder},
      {"GetFolder", Op::kGetFolder},
      {"MoveMessage", Op::kMoveMessage},
      {"SetToolbarFlag", Op::kSetToolbarFlag},
      {"GetWindow", Op::kGetWindow},
      {"Remove", Op::kRemove},
      {"CreateToolbar", Op::kCreateToolbar},
      {"GetCurrentFolderId", Op::kGetCurrentFolderId},
      {"GetFirstSelectedMessageId", Op::kGetFirstSelectedMessageId},
      {"GetNextSelectedMessageId", Op::kGetNextSelectedMessageId},
      {"CreateInit", Op::kCreateInit},
      {"CreateFolderManager", Op::kCreateFolderManager},
      {"CreateApi", Op::kCreateApi},
  };
  return operations;
}

Op OperationNamed(const std::string& name) {
  auto it = Operations().find(name);
  if (it == Operations().end()) throw std::invalid_argument("no host operation \"" + name + "\"");
  return it->second;
}

struct Failure {
  HostStatus status = 0;
  std::string description;
};

}  // namespace

struct FaultInjectingHost::Faults {
  std::mutex mutex;
  std::map<Op, uint64_t> calls;                         // so far, by operation
  std::map<Op, std::map<uint64_t, Failure>> scheduled;  // by the number of the call to fail
  std::map<Op, Failure> always;

  // Counts a call of the operation; whether it is to fail, and how.
  bool Take(Op op, Failure* failure) {
    std::lock_guard<std::mutex> lock(mutex);
    const uint64_t call = ++calls[op];
    auto& planned = scheduled[op];
    auto it = planned.find(call);
    if (it != planned.end()) {
      *failure = std::move(it->second);
      planned.erase(it);
      return true;
    }
    auto permanent = always.find(op);
    if (permanent == always.end()) return false;
    *failure = permanent->second;
    return true;
  }

  void Schedule(Op op, uint64_t call, Failure failure) { scheduled[op][call] = std::move(failure); }
};

// What every object shares: the object it wraps, and the description of its
// last failure when that was one of ours.
template <typename Base>
class FaultInjectingHost::Forwarding : public Base {
 public:
  Forwarding(HostRef<Base> target, std::shared_ptr<Faults> faults)
      : target_(std::move(target)), faults_(std::move(faults)) {}

 protected:
  // Fails the call when it is to fail, else makes it on the wrapped object.
  template <typename Call>
  HostStatus Forward(Op op, Call call) {
    Failure failure;
    if (faults_->Take(op, &failure)) {
      std::lock_guard<std::mutex> lock(mutex_);
      injected_ = true;
      description_ = std::move(failure.description);
      return failure.status;
    }
    const HostStatus result = call(*target_);
    if (status::Failed(result)) {
      std::lock_guard<std::mutex> lock(mutex_);
      injected_ = false;
    }
    return result;
  }

  HostStatus DoAdvise(const HostRef<HostEventSink>& sink, uint32_t* cookie) override {
    return Forward(Op::kAdvise, [&](HostObject& t) { return t.DoAdvise(sink, cookie); });
  }
  HostStatus DoUnadvise(uint32_t cookie) override {
    return Forward(Op::kUnadvise, [&](HostObject& t) { return t.DoUnadvise(cookie); });
  }
  std::string DoErrorDescription() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (injected_) return description_;
    }
    return static_cast<HostObject&>(*target_).DoErrorDescription();
  }

  // Puts the wrapped host's object, when there is one, behind one of ours.
  template <typename Object, typename Wrapped>
  HostStatus Wrap(HostStatus result, HostRef<Wrapped>* object) {
    if (*object) *object = std::make_shared<Object>(std::move(*object), faults_);
    return result;
  }

  const HostRef<Base> target_;
  const std::shared_ptr<Faults> faults_;

 private:
  std::mutex mutex_;
  bool injected_ = false;
  std::string description_;
};

class FaultInjectingHost::Message : public Forwarding<HostMessage> {
 public:
  using Forwarding::Forwarding;

 protected:
  HostStatus DoGetHeaderText(std::string* text) override {
    return Forward(Op::kGetHeaderText, [&](HostMessage& t) { return t.DoGetHeaderText(text); });
  }
  HostStatus DoGetRawHeaders(std::string* text) override {
    return Forward(Op::kGetRawHeaders, [&](HostMessage& t) { return t.DoGetRawHeaders(text); });
  }
  HostStatus DoGetRootPart(int32_t a, int32_t b, int32_t* part) override {
    return Forward(Op::kGetRootPart, [&](HostMessage& t) { return t.DoGetRootPart(a, b, part); });
  }
  HostStatus DoGetBodyPart(int32_t* part) override {
    return Forward(Op::kGetBodyPart, [&](HostMessage& t) { return t.DoGetBodyPart(part); });
  }
  HostStatus DoGetPartText(int32_t part, std::string* text) override {
    return Forward(Op::kGetPartText, [&](HostMessage& t) { return t.DoGetPartText(part, text); });
  }
  HostStatus DoGetHeaderValue(int32_t part, const std::string& name, std::string* value,
                              int32_t* found) override {
    return Forward(Op::kGetHeaderValue,
                   [&](HostMessage& t) { return t.DoGetHeaderValue(part, name, value, found); });
  }
  HostStatus DoSetHeaderValue(int32_t part, const std::string& name,
                              const std::string& value) override {
    return Forward(Op::kSetHeaderValue,
                   [&](HostMessage& t) { return t.DoSetHeaderValue(part, name, value); });
  }
  HostStatus DoCommit() override {
    return Forward(Op::kCommit, [](HostMessage& t) { return t.DoCommit(); });
  }
  HostStatus DoMarkRead() override {
    return Forward(Op::kMarkRead, [](HostMessage& t) { return t.DoMarkRead(); });
  }
};

class FaultInjectingHost::Folder : public Forwarding<HostFolder> {
 public:
  using Forwarding::Forwarding;

 protected:
  HostStatus DoGetName(std::string* name) override {
    return Forward(Op::kGetName, [&](HostFolder& t) { return t.DoGetName(name); });
  }
  HostStatus DoGetId(int32_t* id) override {
    return Forward(Op::kGetId, [&](HostFolder& t) { return t.DoGetId(id); });
  }
  HostStatus DoGetMessage(int32_t messageId, HostRef<HostMessage>* message) override {
    return Forward(Op::kGetMessage, [&](HostFolder& t) {
      return Wrap<Message>(t.DoGetMessage(messageId, message), message);
    });
  }
  HostStatus DoGetFirstMessage(HostRef<HostMessage>* message) override {
    return Forward(Op::kGetFirstMessage, [&](HostFolder& t) {
      return Wrap<Message>(t.DoGetFirstMessage(message), message);
    });
  }
  HostStatus DoGetNextMessage(HostRef<HostMessage>* message) override {
    return Forward(Op::kGetNextMessage, [&](HostFolder& t) {
      return Wrap<Message>(t.DoGetNextMessage(message), message);
    });
  }
  HostStatus DoCreateSubFolder(const std::string& name, HostRef<HostFolder>* folder) override {
    return Forward(Op::kCreateSubFolder, [&](HostFolder& t) {
      return Wrap<Folder>(t.DoCreateSubFolder(name, folder), folder);
    });
  }
};

class FaultInjectingHost::FolderManager : public Forwarding<HostFolderManager> {
 public:
  using Forwarding::Forwarding;

 protected:
  HostStatus DoGetInboxFolder(HostRef<HostFolder>* folder) override {
    return Forward(Op::kGetInboxFolder, [&](HostFolderManager& t) {
      return Wrap<Folder>(t.DoGetInboxFolder(folder), folder);
    });
  }
  HostStatus DoGetFirstFolder(HostRef<HostFolder>* folder) override {
    return Forward(Op::kGetFirstFolder, [&](HostFolderManager& t) {
      return Wrap<Folder>(t.DoGetFirstFolder(folder), folder);
    });
  }
  HostStatus DoGetNextFolder(HostRef<HostFolder>* folder) override {
    return Forward(Op::kGetNextFolder, [&](HostFolderManager& t) {
      return Wrap<Folder>(t.DoGetNextFolder(folder), folder);
    });
  }
  HostStatus DoGetFolder(int32_t folderId, HostRef<HostFolder>* folder) override {
    return Forward(Op::kGetFolder, [&](HostFolderManager& t) {
      return Wrap<Folder>(t.DoGetFolder(folderId, folder), folder);
    });
  }
  HostStatus DoMoveMessage(int32_t sourceFolderId, int32_t targetFolderId, int32_t messageId,
                           int32_t* moved) override {
    return Forward(Op::kMoveMessage, [&](HostFolderManager& t) {
      return t.DoMoveMessage(sourceFolderId, targetFolderId, messageId, moved);
    });
  }
};

class FaultInjectingHost::Toolbar : public Forwarding<HostToolbar> {
 public:
  using Forwarding::Forwarding;

 protected:
  HostStatus DoSetToolbarFlag(int32_t flag) override {
    return Forward(Op::kSetToolbarFlag, [&](HostToolbar& t) { return t.DoSetToolbarFlag(flag); });
  }
  HostStatus DoGetWindow(ToolbarControl** window) override {
    return Forward(Op::kGetWindow, [&](HostToolbar& t) { return t.DoGetWindow(window); });
  }
  HostStatus DoRemove() override {
    return Forward(Op::kRemove, [](HostToolbar& t) { return t.DoRemove(); });
  }
};

class FaultInjectingHost::Api : public Forwarding<HostApi> {
 public:
  using Forwarding::Forwarding;

 protected:
  HostStatus DoCreateToolbar(HostRef<HostToolbar>* toolbar) override {
    return Forward(Op::kCreateToolbar,
                   [&](HostApi& t) { return Wrap<Toolbar>(t.DoCreateToolbar(toolbar), toolbar); });
  }
  HostStatus DoGetCurrentFolderId(int32_t* id) override {
    return Forward(Op::kGetCurrentFolderId, [&](HostApi& t) { return t.DoGetCurrentFolderId(id); });
  }
  HostStatus DoGetFirstSelectedMessageId(int32_t* id) override {
    return Forward(Op::kGetFirstSelectedMessageId,
                   [&](HostApi& t) { return t.DoGetFirstSelectedMessageId(id); });
  }
  HostStatus DoGetNextSelectedMessageId(int32_t* id) override {
    return Forward(Op::kGetNextSelectedMessageId,
                   [&](HostApi& t) { return t.DoGetNextSelectedMessageId(id); });
  }
};

class FaultInjectingHost::Init : public Forwarding<HostInit> {
 public:
  using Forwarding::Forwarding;
};

// ------------------------------------------------------------------ the library

FaultInjectingHost::FaultInjectingHost(HostLibrary& target)
    : target_(target), faults_(std::make_shared<Faults>()) {}

FaultInjectingHost::~FaultInjectingHost() = default;

void FaultInjectingHost::InitializeComponents() { target_.InitializeComponents(); }
void FaultInjectingHost::UninitializeComponents() { target_.UninitializeComponents(); }

namespace {

// Creates the library's object through create, unless the operation is to
// fail, and puts it behind one of ours.
template <typename Object, typename Base, typename Faults, typename Create>
HostStatus Created(Faults& faults, Op op, HostRef<Base>* object, Create create) {
  Failure failure;
  if (faults->Take(op, &failure)) return failure.status;
  const HostStatus result = create();
  if (*object) *object = std::make_shared<Object>(std::move(*object), faults);
  return result;
}

}  // namespace

HostStatus FaultInjectingHost::DoCreateInit(HostRef<HostInit>* init) {
  return Created<Init>(faults_, Op::kCreateInit, init, [&] { return target_.DoCreateInit(init); });
}

HostStatus FaultInjectingHost::DoCreateFolderManager(HostRef<HostFolderManager>* manager) {
  return Created<FolderManager>(faults_, Op::kCreateFolderManager, manager,
                                [&] { return target_.DoCreateFolderManager(manager); });
}

HostStatus FaultInjectingHost::DoCreateApi(HostRef<HostApi>* api) {
  return Created<Api>(faults_, Op::kCreateApi, api, [&] { return target_.DoCreateApi(api); });
}

// ------------------------------------------------------------------ failures

void FaultInjectingHost::FailNext(const std::string& operation, HostStatus status,
                                  const std::string& description) {
  const Op op = OperationNamed(operation);
  std::lock_guard<std::mutex> lock(faults_->mutex);
  const auto& planned = faults_->scheduled[op];
  const uint64_t after = planned.empty() ? 0 : planned.rbegin()->first;
  faults_->Schedule(op, std::max(after, faults_->calls[op]) + 1, {status, description});
}

void FaultInjectingHost::FailCall(const std::string& operation, int n, HostStatus status,
                                  const std::string& description) {
  const Op op = OperationNamed(operation);
  if (n < 1) throw std::invalid_argument("calls are counted from 1");
  std::lock_guard<std::mutex> lock(faults_->mutex);
  faults_->Schedule(op, faults_->calls[op] + static_cast<uint64_t>(n), {status, description});
}

void FaultInjectingHost::FailAlways(const std::string& operation, HostStatus status,
                                    const std::string& description) {
  const Op op = OperationNamed(operation);
  std::lock_guard<std::mutex> lock(faults_->mutex);
  faults_->always[op] = {status, description};
}

void FaultInjectingHost::Heal() {
  std::lock_guard<std::mutex> lock(faults_->mutex);
  faults_->scheduled.clear();
  faults_->always.clear();
}

}  // namespace tarvex
