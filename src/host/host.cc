#include "host/host.h"

#include "platform/codepage.h"

namespace tarvex {
namespace {

// Raises when status fails, with the description of the object at fault.
void Raise(HostStatus status, const std::string& utf8_description) {
  throw HostError(status, cp1252::FromUtf8(utf8_description));
}

std::string Text(const std::string& utf8) { return cp1252::FromUtf8(utf8); }
// What the filter reads keeps a trace of the characters the code page lacks.
std::string FilterText(const std::string& utf8) { return cp1252::FilterTextFromUtf8(utf8); }
std::string Utf8(const std::string& text) { return cp1252::ToUtf8(text); }

}  // namespace

void HostObject::Check(HostStatus s) {
  if (status::Failed(s)) Raise(s, DoErrorDescription());
}

HostStatus HostObject::DoAdvise(const HostRef<HostEventSink>&, uint32_t*) {
  return status::kNotImplemented;
}
HostStatus HostObject::DoUnadvise(uint32_t) { return status::kNotImplemented; }

uint32_t HostObject::Advise(const HostRef<HostEventSink>& sink) {
  uint32_t cookie = 0;
  Check(DoAdvise(sink, &cookie));
  return cookie;
}

void HostObject::Unadvise(uint32_t cookie) { Check(DoUnadvise(cookie)); }

// ------------------------------------------------------------------ HostFolder

std::string HostFolder::GetName() {
  std::string name;
  Check(DoGetName(&name));
  return Text(name);
}

int32_t HostFolder::GetId() {
  int32_t id = 0;
  Check(DoGetId(&id));
  return id;
}

HostRef<HostMessage> HostFolder::GetMessage(int32_t messageId) {
  HostRef<HostMessage> message;
  Check(DoGetMessage(messageId, &message));
  return Required(message);
}

HostRef<HostMessage> HostFolder::GetFirstMessage() {
  HostRef<HostMessage> message;
  Check(DoGetFirstMessage(&message));
  return message;
}

HostRef<HostMessage> HostFolder::GetNextMessage() {
  HostRef<HostMessage> message;
  Check(DoGetNextMessage(&message));
  return message;
}

HostRef<HostFolder> HostFolder::CreateSubFolder(const std::string& name) {
  HostRef<HostFolder> folder;
  Check(DoCreateSubFolder(Utf8(name), &folder));
  return folder;
}

// ------------------------------------------------------------------ HostMessage

std::string HostMessage::GetHeaderText() {
  std::string text;
  Check(DoGetHeaderText(&text));
  return FilterText(text);
}

std::string HostMessage::GetRawHeaders() {
  std::string text;
  Check(DoGetRawHeaders(&text));
  return Text(text);
}

int32_t HostMessage::GetRootPart() {
  int32_t part = 0;
  Check(DoGetRootPart(0, 0, &part));
  return part;
}

int32_t HostMessage::GetBodyPart() {
  int32_t part = 0;
  Check(DoGetBodyPart(&part));
  return part;
}

std::string HostMessage::GetPartText(int32_t part) {
  std::string text;
  Check(DoGetPartText(part, &text));
  return FilterText(text);
}

std::string HostMessage::GetHeaderValue(int32_t part, const std::string& name, int32_t* found) {
  std::string value;
  int32_t present = 0;
  Check(DoGetHeaderValue(part, Utf8(name), &value, &present));
  if (found) *found = present;
  return present ? Text(value) : std::string();
}

void HostMessage::SetHeaderValue(int32_t part, const std::string& name, const std::string& value) {
  Check(DoSetHeaderValue(part, Utf8(name), Utf8(value)));
}

void HostMessage::Commit() { Check(DoCommit()); }

void HostMessage::MarkRead() { Check(DoMarkRead()); }

// ------------------------------------------------------------------ HostFolderManager

HostRef<HostFolder> HostFolderManager::GetInboxFolder() {
  HostRef<HostFolder> folder;
  Check(DoGetInboxFolder(&folder));
  return Required(folder);
}

HostRef<HostFolder> HostFolderManager::GetFirstFolder() {
  HostRef<HostFolder> folder;
  Check(DoGetFirstFolder(&folder));
  return folder;
}

HostRef<HostFolder> HostFolderManager::GetNextFolder() {
  HostRef<HostFolder> folder;
  Check(DoGetNextFolder(&folder));
  return folder;
}

HostRef<HostFolder> HostFolderManager::GetFolder(int32_t folderId) {
  HostRef<HostFolder> folder;
  Check(DoGetFolder(folderId, &folder));
  return Required(folder);
}

bool HostFolderManager::MoveMessage(int32_t sourceFolderId, int32_t targetFolderId,
                                    int32_t messageId) {
  int32_t moved = 0;
  Check(DoMoveMessage(sourceFolderId, targetFolderId, messageId, &moved));
  return moved != 0;
}

// ------------------------------------------------------------------ HostToolbar, HostApi

void HostToolbar::SetToolbarFlag(int32_t flag) { Check(DoSetToolbarFlag(flag)); }

ToolbarControl* HostToolbar::GetWindow() {
  ToolbarControl* window = nullptr;
  Check(DoGetWindow(&window));
  return window;
}

void HostToolbar::Remove() { Check(DoRemove()); }

HostRef<HostToolbar> HostApi::CreateToolbar() {
  HostRef<HostToolbar> toolbar;
  Check(DoCreateToolbar(&toolbar));
  return Required(toolbar);
}

int32_t HostApi::GetCurrentFolderId() {
  int32_t id = 0;
  Check(DoGetCurrentFolderId(&id));
  return id;
}

int32_t HostApi::GetFirstSelectedMessageId() {
  int32_t id = -1;
  Check(DoGetFirstSelectedMessageId(&id));
  return id;
}

int32_t HostApi::GetNextSelectedMessageId() {
  int32_t id = -1;
  Check(DoGetNextSelectedMessageId(&id));
  return id;
}

// ------------------------------------------------------------------ HostLibrary

namespace {
template <typename T, typename Fn>
HostRef<T> Create(Fn create) {
  HostRef<T> object;
  const HostStatus s = create(&object);
  if (status::Failed(s)) throw HostError(s, "");
  return Required(object);
}
}  // namespace

HostRef<HostInit> HostLibrary::CreateInit() {
  return Create<HostInit>([this](HostRef<HostInit>* o) { return DoCreateInit(o); });
}

HostRef<HostFolderManager> HostLibrary::CreateFolderManager() {
  return Create<HostFolderManager>(
      [this](HostRef<HostFolderManager>* o) { return DoCreateFolderManager(o); });
}

HostRef<HostApi> HostLibrary::CreateApi() {
  return Create<HostApi>([this](HostRef<HostApi>* o) { return DoCreateApi(o); });
}

}  // namespace tarvex
