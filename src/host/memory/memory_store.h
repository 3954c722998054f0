// The state behind every object of a MemoryHost, and the helpers its
// objects (memory_objects.cc) and its own methods (memory_host.cc) share.
#ifndef TARVEX_HOST_MEMORY_MEMORY_STORE_H_
#define TARVEX_HOST_MEMORY_MEMORY_STORE_H_

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/host_support.h"
#include "host/memory/memory_host.h"

namespace tarvex {
namespace memory_host_internal {

using Lock = std::lock_guard<std::mutex>;

// The entity behind an object (an EntityKey) is its kind and its folder id,
// toolbar number or message number (which, unlike the message id, survives
// moves).

struct Failure {
  HostStatus status = 0;
  std::string description;
};

struct FolderNode {
  int32_t id = 0;
  int32_t parent = 0;  // 0 for the root
  std::string name;
  std::vector<int32_t> children;        // in creation order
  std::map<int32_t, int64_t> messages;  // message id -> message number
};

struct StoredMessage {
  int32_t folder = 0;
  int32_t id = 0;
  HostHeaders headers;
  std::string body;
  bool read = false;
};

bool SameHeaderName(const std::string& a, const std::string& b);
// Sets name to value the way Commit does: the first header of that name is
// replaced where it stands, later ones go, and a missing one is appended.
void ApplyHeader(HostHeaders& headers, const std::string& name, const std::string& value);
std::string HeaderBlock(const HostHeaders& headers);

// Everything the host holds. The members are guarded by mutex, except the
// counters, which objects change from their destructors.
struct Store {
  mutable std::mutex mutex;

  std::map<int32_t, FolderNode> folders;
  int32_t next_folder_id = 1;
  std::map<int64_t, StoredMessage> messages;  // by message number
  int64_t next_message_number = 1;
  int32_t next_message_id = 1;
  std::vector<MemoryHost::Move> moves;

  int32_t current_folder = MemoryHost::kInboxId;
  std::vector<int32_t> selection;
  std::vector<MemoryHost::ToolbarState> toolbars;

  EventRegistry events;
  std::vector<MemoryHost::Delivery> deliveries;

  std::vector<std::string> calls;  // every operation called, in order

  HostCounts counts;

  // The helpers below expect mutex to be held.

  // Every operation passes here, to be logged.
  void Called(const char* operation) { calls.push_back(operation); }

  FolderNode* Folder(int32_t id) {
    auto it = folders.find(id);
    return it == folders.end() ? nullptr : &it->second;
  }

  FolderNode& RequiredFolder(int32_t id) {
    FolderNode* folder = Folder(id);
    if (!folder) throw std::invalid_argument("no folder " + std::to_string(id));
    return *folder;
  }

  // The id of the new folder, or 0 with the reason in *failure.
  int32_t CreateFolder(int32_t parent_id, const std::string& name, Failure* failure) {
    FolderNode* parent = Folder(parent_id);
    if (!parent) {
      *failure = {status::kInvalidArgument,
                  "There is no folder " + std::to_string(parent_id) + "."};
      return 0;
    }
    if (name.empty()) {
      *failure = {status::kInvalidArgument, "A folder needs a name."};
      return 0;
    }
    for (int32_t child : parent->children) {
      if (folders.at(child).name == name) {
        *failure = {MemoryHost::kAlreadyExists,
                    "\"" + parent->name + "\" already has a folder \"" + name + "\"."};
        return 0;
      }
    }
    const int32_t id = next_folder_id++;
    parent->children.push_back(id);
    folders[id] = FolderNode{id, parent_id, name, {}, {}};
    return id;
  }

  // The folder after id in the walk; 0 after the last.
  int32_t NextInWalk(int32_t id) const {
    const FolderNode& node = folders.at(id);
    if (!node.children.empty()) return node.children.front();
    for (int32_t current = id; folders.at(current).parent != 0;) {
      const int32_t parent = folders.at(current).parent;
      const std::vector<int32_t>& siblings = folders.at(parent).children;
      auto it = std::find(siblings.begin(), siblings.end(), current);
      if (it + 1 != siblings.end()) return *(it + 1);
      current = parent;
    }
    return 0;
  }

  std::vector<int32_t> Walk() const {
    std::vector<int32_t> ids;
    for (int32_t id = MemoryHost::kLocalFoldersId; id != 0; id = NextInWalk(id)) ids.push_back(id);
    return ids;
  }

  // The message number of the folder's message id; 0 when there is none.
  int64_t MessageNumber(int32_t folder_id, int32_t message_id) {
    FolderNode* folder = Folder(folder_id);
    if (!folder) return 0;
    auto it = folder->messages.find(message_id);
    return it == folder->messages.end() ? 0 : it->second;
  }

  int64_t RequiredMessage(int32_t folder_id, int32_t message_id) {
    RequiredFolder(folder_id);
    const int64_t number = MessageNumber(folder_id, message_id);
    if (number == 0) {
      throw std::invalid_argument("no message " + std::to_string(message_id) + " in folder " +
                                  std::to_string(folder_id));
    }
    return number;
  }

  int32_t InsertMessage(int32_t folder_id, const HostHeaders& headers, const std::string& body) {
    FolderNode& folder = RequiredFolder(folder_id);
    const int32_t id = next_message_id++;
    const int64_t number = next_message_number++;
    messages[number] = StoredMessage{folder_id, id, headers, body, false};
    folder.messages[id] = number;
    return id;
  }

  EntityKey Entity(const EventTarget& target) {
    switch (target.kind) {
      case EventTarget::Kind::kFolder:
        RequiredFolder(target.id);
        return {target.kind, target.id};
      case EventTarget::Kind::kToolbar:
        if (target.id < 0 || static_cast<size_t>(target.id) >= toolbars.size()) {
          throw std::invalid_argument("no toolbar " + std::to_string(target.id));
        }
        return {target.kind, target.id};
      case EventTarget::Kind::kMessage:
        return {target.kind, RequiredMessage(target.folder, target.id)};
      default:
        return {target.kind, 0};
    }
  }
};

HostRef<HostInit> MakeInit(std::shared_ptr<Store> store);
HostRef<HostFolderManager> MakeFolderManager(std::shared_ptr<Store> store);
HostRef<HostApi> MakeApi(std::shared_ptr<Store> store);

}  // namespace memory_host_internal
}  // namespace tarvex

#endif  // TARVEX_HOST_MEMORY_MEMORY_STORE_H_
