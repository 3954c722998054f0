#include "host/memory/memory_host.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>

#include "host/memory/memory_store.h"

namespace tarvex {
namespace memory_host_internal {

bool SameHeaderName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

void ApplyHeader(HostHeaders& headers, const std::string& name, const std::string& value) {
  auto first = std::find_if(headers.begin(), headers.end(),
                            [&](const auto& h) { return SameHeaderName(h.first, name); });
  if (first == headers.end()) {
    headers.emplace_back(name, value);
    return;
  }
  *first = {name, value};
  headers.erase(std::remove_if(first + 1, headers.end(),
                               [&](const auto& h) { return SameHeaderName(h.first, name); }),
                headers.end());
}

std::string HeaderBlock(const HostHeaders& headers) {
  std::string block;
  for (const auto& [name, value] : headers) block += name + ": " + value + "\r\n";
  return block;
}

}  // namespace memory_host_internal

using memory_host_internal::Failure;
using memory_host_internal::Lock;
using memory_host_internal::Store;

namespace {

const char* const kStandardFolders[] = {"Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts"};

}  // namespace

MemoryHost::MemoryHost() : store_(std::make_shared<Store>()) {
  Store& store = *store_;
  const int32_t root = store.next_folder_id++;
  store.folders[root] = memory_host_internal::FolderNode{root, 0, "Local Folders", {}, {}};
  for (const char* name : kStandardFolders) {
    Failure failure;
    store.CreateFolder(root, name, &failure);
  }
}

MemoryHost::~MemoryHost() = default;

void MemoryHost::InitializeComponents() { ++store_->counts.initializations; }
void MemoryHost::UninitializeComponents() { ++store_->counts.uninitializations; }

HostStatus MemoryHost::DoCreateInit(HostRef<HostInit>* init) {
  Lock lock(store_->mutex);
  store_->Called("CreateInit");
  *init = memory_host_internal::MakeInit(store_);
  return status::kOk;
}

HostStatus MemoryHost::DoCreateFolderManager(HostRef<HostFolderManager>* manager) {
  Lock lock(store_->mutex);
  store_->Called("CreateFolderManager");
  *manager = memory_host_internal::MakeFolderManager(store_);
  return status::kOk;
}

HostStatus MemoryHost::DoCreateApi(HostRef<HostApi>* api) {
  Lock lock(store_->mutex);
  store_->Called("CreateApi");
  *api = memory_host_internal::MakeApi(store_);
  return status::kOk;
}

// ------------------------------------------------------------------ folders

int32_t MemoryHost::AddFolder(int32_t parentId, const std::string& name) {
  Lock lock(store_->mutex);
  Failure failure;
  const int32_t id = store_->CreateFolder(parentId, name, &failure);
  if (id == 0) throw std::invalid_argument(failure.description);
  return id;
}

int32_t MemoryHost::FolderId(const std::string& name) const {
  Lock lock(store_->mutex);
  for (int32_t id : store_->Walk()) {
    if (store_->folders.at(id).name == name) return id;
  }
  return -1;
}

std::string MemoryHost::FolderName(int32_t folderId) const {
  Lock lock(store_->mutex);
  return store_->RequiredFolder(folderId).name;
}

std::vector<int32_t> MemoryHost::FolderWalk() const {
  Lock lock(store_->mutex);
  return store_->Walk();
}

// ------------------------------------------------------------------ messages

int32_t MemoryHost::AddMessage(int32_t folderId, const HostHeaders& headers,
                               const std::string& body) {
  Lock lock(store_->mutex);
  return store_->InsertMessage(folderId, headers, body);
}

std::vector<int32_t> MemoryHost::MessageIds(int32_t folderId) const {
  Lock lock(store_->mutex);
  std::vector<int32_t> ids;
  for (const auto& entry : store_->RequiredFolder(folderId).messages) ids.push_back(entry.first);
  return ids;
}

bool MemoryHost::HasMessage(int32_t folderId, int32_t messageId) const {
  Lock lock(store_->mutex);
  return store_->MessageNumber(folderId, messageId) != 0;
}

MemoryHost::MessageState MemoryHost::Message(int32_t folderId, int32_t messageId) const {
  Lock lock(store_->mutex);
  const auto& stored = store_->messages.at(store_->RequiredMessage(folderId, messageId));
  return {stored.folder, stored.id, stored.headers, stored.body, stored.read};
}

int32_t MemoryHost::FindMessage(int32_t folderId, const std::string& headerName,
                                const std::string& value) const {
  Lock lock(store_->mutex);
  for (const auto& [id, number] : store_->RequiredFolder(folderId).messages) {
    for (const auto& header : store_->messages.at(number).headers) {
      if (memory_host_internal::SameHeaderName(header.first, headerName) &&
          header.second == value) {
        return id;
      }
    }
  }
  return -1;
}

std::vector<MemoryHost::Move> MemoryHost::Moves() const {
  Lock lock(store_->mutex);
  return store_->moves;
}

// ------------------------------------------------------------------ api, toolbars

void MemoryHost::SetCurrentFolder(int32_t folderId) {
  Lock lock(store_->mutex);
  store_->RequiredFolder(folderId);
  store_->current_folder = folderId;
}

void MemoryHost::SetSelection(std::vector<int32_t> messageIds) {
  Lock lock(store_->mutex);
  store_->selection = std::move(messageIds);
}

size_t MemoryHost::ToolbarCount() const {
  Lock lock(store_->mutex);
  return store_->toolbars.size();
}

MemoryHost::ToolbarState MemoryHost::Toolbar(size_t index) const {
  Lock lock(store_->mutex);
  if (index >= store_->toolbars.size()) throw std::invalid_argument("no such toolbar");
  return store_->toolbars[index];
}

void MemoryHost::SetToolbarWindow(size_t index, ToolbarControl* window) {
  Lock lock(store_->mutex);
  if (index >= store_->toolbars.size()) throw std::invalid_argument("no such toolbar");
  store_->toolbars[index].window = window;
}

// ------------------------------------------------------------------ events

std::vector<MemoryHost::Delivery> MemoryHost::RaiseEvent(const EventTarget& target,
                                                         const HostEvent& event) {
  EntityKey entity;
  {
    Lock lock(store_->mutex);
    entity = store_->Entity(target);
  }
  std::vector<Delivery> deliveries;
  store_->events.Raise(
      store_->mutex, entity, event,
      [&](uint32_t cookie, HostStatus status, std::string description) {
        Delivery delivery{target, event.number, cookie, status, std::move(description)};
        store_->deliveries.push_back(delivery);
        deliveries.push_back(std::move(delivery));
      });
  return deliveries;
}

std::vector<MemoryHost::Delivery> MemoryHost::RaiseInit() {
  HostEvent init;
  init.number = event::kOnInitOEAPI;
  return RaiseEvent(EventTarget::Init(), init);
}

std::vector<MemoryHost::Delivery> MemoryHost::RaiseShutdown() {
  HostEvent shutdown;
  shutdown.number = event::kOnShutdownOEAPI;
  return RaiseEvent(EventTarget::Init(), shutdown);
}

int32_t MemoryHost::DeliverNewMessage(int32_t folderId, const HostHeaders& headers,
                                      const std::string& body) {
  const int32_t id = AddMessage(folderId, headers, body);
  HostEvent arrival;
  arrival.number = event::kOnNewMessage;
  arrival.arguments.push_back(HostVariant::Integer(id));
  RaiseEvent(EventTarget::Folder(folderId), arrival);
  return id;
}

std::vector<std::string> MemoryHost::Calls() const {
  std::lock_guard<std::mutex> lock(store_->mutex);
  return store_->calls;
}

void MemoryHost::ClearCalls() {
  std::lock_guard<std::mutex> lock(store_->mutex);
  store_->calls.clear();
}

std::vector<MemoryHost::Delivery> MemoryHost::Deliveries() const {
  Lock lock(store_->mutex);
  return store_->deliveries;
}

size_t MemoryHost::Subscriptions(const EventTarget& target) const {
  Lock lock(store_->mutex);
  return store_->events.Count(store_->Entity(target));
}

size_t MemoryHost::Subscriptions() const {
  Lock lock(store_->mutex);
  return store_->events.Count();
}

// ------------------------------------------------------------------ accounting

int MemoryHost::LiveObjects() const { return store_->counts.live_objects; }
int MemoryHost::ComponentInitializations() const { return store_->counts.initializations; }
int MemoryHost::ComponentUninitializations() const { return store_->counts.uninitializations; }

}  // namespace tarvex
