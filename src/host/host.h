// The mail client as the plug-in sees it: folders, messages, a toolbar and
// events, reached only through these objects.
//
// Each object is an abstract class in two layers. A host implements the
// protected Do* operations: they return a status code (0 is success, anything
// else a failure in the Windows HRESULT numbering) and speak UTF-8. The public
// operations are what the plug-in calls: they raise HostError on a failing
// status, with the object's error description, and convert texts to and from
// Windows-1252 ("?" for characters it lacks; in the header text and part text
// that the filter reads, cp1252::kLackedCharacter instead).
//
// Ownership: objects are handed out as shared references (HostRef). Holding a
// HostRef is holding one counted reference; dropping it releases it.
//
// FaultInjectingHost (fault_injecting_host.h), which wraps another host, is
// the one caller of the Do* operations besides the public ones.
#ifndef TARVEX_HOST_HOST_H_
#define TARVEX_HOST_HOST_H_

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvex {

template <typename T>
using HostRef = std::shared_ptr<T>;

using HostStatus = uint32_t;

namespace status {
constexpr HostStatus kOk = 0;
constexpr HostStatus kFalse = 1;  // success, but "no"
constexpr HostStatus kNotImplemented = 0x80004001;
constexpr HostStatus kNoInterface = 0x80004002;
constexpr HostStatus kInvalidPointer = 0x80004003;
constexpr HostStatus kAbort = 0x80004004;
constexpr HostStatus kFail = 0x80004005;
constexpr HostStatus kUnexpected = 0x8000FFFF;
constexpr HostStatus kAccessDenied = 0x80070005;
constexpr HostStatus kOutOfMemory = 0x8007000E;
constexpr HostStatus kInvalidArgument = 0x80070057;
constexpr HostStatus kMemberNotFound = 0x80020003;
constexpr HostStatus kTypeMismatch = 0x80020005;
constexpr HostStatus kUnknownName = 0x80020006;
constexpr HostStatus kNoNamedArguments = 0x80020007;
constexpr HostStatus kBadVariableType = 0x80020008;
constexpr HostStatus kException = 0x80020009;
constexpr HostStatus kBadParameterCount = 0x8002000E;
inline bool Failed(HostStatus s) { return (s & 0x80000000u) != 0; }
}  // namespace status

// A failing host call: its status code and the host object's description of
// the failure (Windows-1252).
class HostError : public std::runtime_error {
 public:
  HostError(HostStatus code, std::string description)
      : std::runtime_error(description), code_(code), description_(std::move(description)) {}
  HostStatus code() const { return code_; }
  const std::string& description() const { return description_; }

 private:
  HostStatus code_;
  std::string description_;
};

// An object the host must hand over (a raw pointer or a HostRef): a missing
// one is the invalid-pointer failure.
template <typename P>
P Required(P object) {
  if (!object) throw HostError(status::kInvalidPointer, "");
  return object;
}

// ------------------------------------------------------------------ events

// An argument of an event, as the host passes it.
struct HostVariant {
  enum class Type { kEmpty, kInteger, kReal, kText, kObject };
  Type type = Type::kEmpty;
  int64_t integer = 0;
  double real = 0;
  std::string text;  // UTF-8
  static HostVariant Integer(int64_t v) { return {Type::kInteger, v, 0, {}}; }
};

// One delivery of an event: the event's number in its event set, the
// arguments in order, how many of them are named, and whether it is a method
// call (other kinds of delivery, such as property reads, carry no event).
struct HostEvent {
  int32_t number = 0;
  std::vector<HostVariant> arguments;
  size_t named_arguments = 0;
  bool method_call = true;
};

// What a subscription implements. A failure goes back to the host as the
// delivery's result, with its description (UTF-8).
class HostEventSink {
 public:
  virtual ~HostEventSink() = default;
  virtual HostStatus Invoke(const HostEvent& event, std::string* error_description) = 0;
};

// Event numbers of each event set.
namespace event {
constexpr int32_t kOnInitOEAPI = 1, kOnShutdownOEAPI = 2;                     // HostInit
constexpr int32_t kOnNewMessage = 1, kOnMessageDeleted = 2, kOnDeletion = 3;  // HostFolder
constexpr int32_t kOnButtonClicked = 1, kOnButtonMsgWndClicked = 2;           // HostToolbar
// HostFolderManager: 1 FolderUnreadChanged, 2 OnFolderMoved, 3 OnFolderRenamed,
// 4 OnFolderDeleted, 5 OnFolderCreated (one value each), 6 (two values).
constexpr int32_t kFolderManagerEvents = 6;
// HostApi: 1 OnFolderSelectionChanged .. 12 OnMenuItemClicked.
constexpr int32_t kApiEvents = 12;
}  // namespace event

// ------------------------------------------------------------------ objects

class HostObject {
 public:
  virtual ~HostObject() = default;

  // Subscribes sink to this object's events; the cookie ends the subscription.
  uint32_t Advise(const HostRef<HostEventSink>& sink);
  void Unadvise(uint32_t cookie);

 protected:
  friend class FaultInjectingHost;

  virtual HostStatus DoAdvise(const HostRef<HostEventSink>& sink, uint32_t* cookie);
  virtual HostStatus DoUnadvise(uint32_t cookie);
  // The description of the last failure, UTF-8.
  virtual std::string DoErrorDescription() { return {}; }

  // Raises HostError when status is a failure.
  void Check(HostStatus status);
};

class HostMessage;
class ToolbarControl;

// A mail folder.
class HostFolder : public HostObject {
 public:
  std::string GetName();
  int32_t GetId();
  // Raises HostError when the folder holds no such message.
  HostRef<HostMessage> GetMessage(int32_t messageId);
  // The folder's messages, in the host's order; null after the last.
  HostRef<HostMessage> GetFirstMessage();
  HostRef<HostMessage> GetNextMessage();
  HostRef<HostFolder> CreateSubFolder(const std::string& name);

 protected:
  friend class FaultInjectingHost;

  virtual HostStatus DoGetName(std::string* name) = 0;
  virtual HostStatus DoGetId(int32_t* id) = 0;
  virtual HostStatus DoGetMessage(int32_t messageId, HostRef<HostMessage>* message) = 0;
  virtual HostStatus DoGetFirstMessage(HostRef<HostMessage>* message) = 0;
  virtual HostStatus DoGetNextMessage(HostRef<HostMessage>* message) = 0;
  virtual HostStatus DoCreateSubFolder(const std::string& name, HostRef<HostFolder>* folder) = 0;
};

// One message of a folder. Parts are handles the host gives out.
class HostMessage : public HostObject {
 public:
  std::string GetHeaderText();
  std::string GetRawHeaders();
  int32_t GetRootPart();  // the host's call takes two zero arguments
  int32_t GetBodyPart();
  std::string GetPartText(int32_t part);
  // The header's value, empty when absent; *found is 1 when present.
  std::string GetHeaderValue(int32_t part, const std::string& name, int32_t* found);
  // Sets the header, replacing one of the same name; visible after Commit.
  void SetHeaderValue(int32_t part, const std::string& name, const std::string& value);
  void Commit();
  // Marks the message read.
  void MarkRead();

 protected:
  friend class FaultInjectingHost;

  virtual HostStatus DoGetHeaderText(std::string* text) = 0;
  virtual HostStatus DoGetRawHeaders(std::string* text) = 0;
  virtual HostStatus DoGetRootPart(int32_t a, int32_t b, int32_t* part) = 0;
  virtual HostStatus DoGetBodyPart(int32_t* part) = 0;
  virtual HostStatus DoGetPartText(int32_t part, std::string* text) = 0;
  virtual HostStatus DoGetHeaderValue(int32_t part, const std::string& name, std::string* value,
                                      int32_t* found) = 0;
  virtual HostStatus DoSetHeaderValue(int32_t part, const std::string& name,
                                      const std::string& value) = 0;
  virtual HostStatus DoCommit() = 0;
  virtual HostStatus DoMarkRead() = 0;
};

class HostFolderManager : public HostObject {
 public:
  HostRef<HostFolder> GetInboxFolder();
  // Every folder, the store folder "Local Folders" included, in the host's
  // walk order; null after the last.
  HostRef<HostFolder> GetFirstFolder();
  HostRef<HostFolder> GetNextFolder();
  HostRef<HostFolder> GetFolder(int32_t folderId);
  // Moves a message between folders; true when it moved.
  bool MoveMessage(int32_t sourceFolderId, int32_t targetFolderId, int32_t messageId);

 protected:
  friend class FaultInjectingHost;

  virtual HostStatus DoGetInboxFolder(HostRef<HostFolder>* folder) = 0;
  virtual HostStatus DoGetFirstFolder(HostRef<HostFolder>* folder) = 0;
  virtual HostStatus DoGetNextFolder(HostRef<HostFolder>* folder) = 0;
  virtual HostStatus DoGetFolder(int32_t folderId, HostRef<HostFolder>* folder) = 0;
  virtual HostStatus DoMoveMessage(int32_t sourceFolderId, int32_t targetFolderId,
                                   int32_t messageId, int32_t* moved) = 0;
};

class HostToolbar : public HostObject {
 public:
  void SetToolbarFlag(int32_t flag);
  // The toolbar's control, null until the toolbar is shown.
  ToolbarControl* GetWindow();
  void Remove();

 protected:
  friend class FaultInjectingHost;

  virtual HostStatus DoSetToolbarFlag(int32_t flag) = 0;
  virtual HostStatus DoGetWindow(ToolbarControl** window) = 0;
  virtual HostStatus DoRemove() = 0;
};

class HostApi : public HostObject {
 public:
  HostRef<HostToolbar> CreateToolbar();
  int32_t GetCurrentFolderId();
  // The selected messages of the current folder; -1 when none is left.
  int32_t GetFirstSelectedMessageId();
  int32_t GetNextSelectedMessageId();

 protected:
  friend class FaultInjectingHost;

  virtual HostStatus DoCreateToolbar(HostRef<HostToolbar>* toolbar) = 0;
  virtual HostStatus DoGetCurrentFolderId(int32_t* id) = 0;
  virtual HostStatus DoGetFirstSelectedMessageId(int32_t* id) = 0;
  virtual HostStatus DoGetNextSelectedMessageId(int32_t* id) = 0;
};

// Has no operations; raises "OnInitOEAPI" and "OnShutdownOEAPI".
class HostInit : public HostObject {};

// How the plug-in obtains the host's top-level objects, and the host's
// component system, which each subscription initialises for its thread and
// uninitialises when it ends.
class HostLibrary {
 public:
  virtual ~HostLibrary() = default;
  HostRef<HostInit> CreateInit();
  HostRef<HostFolderManager> CreateFolderManager();
  HostRef<HostApi> CreateApi();
  virtual void InitializeComponents() = 0;
  virtual void UninitializeComponents() = 0;

 protected:
  friend class FaultInjectingHost;

  virtual HostStatus DoCreateInit(HostRef<HostInit>* init) = 0;
  virtual HostStatus DoCreateFolderManager(HostRef<HostFolderManager>* manager) = 0;
  virtual HostStatus DoCreateApi(HostRef<HostApi>* api) = 0;
};

}  // namespace tarvex

#endif  // TARVEX_HOST_HOST_H_
