#include <algorithm>
#include <cerrno>
#include <map>
#include <set>

#include "host/maildir/maildir_files.h"
#include "host/maildir/store.h"
#include "mail/maildir_names.h"

// The folder tree as it is on disk, the ids given to its folders and
// messages, and where each message's file is.

namespace tarvex {
namespace maildir_host_internal {

[[noreturn]] void ThrowErrno(int error, const std::string& what) {
  const HostStatus status = error == EACCES || error == EPERM || error == EROFS
                                ? status::kAccessDenied
                            : error == ENOMEM ? status::kOutOfMemory
                                              : status::kFail;
  Throw(status, what + ": " + maildir::ErrorText(error));
}

Store::Store(const std::string& root_path, MaildirHost::Options host_options)
    : root(root_path), options(host_options), remembered(options.announced_state) {
  Register(kStoreDir);  // MaildirHost::kLocalFoldersId
  Register("");         // MaildirHost::kInboxId
}

FolderRecord& Store::Register(const std::string& dir) {
  const int32_t id = next_folder_id++;
  folder_ids[dir] = id;
  FolderRecord& record = folders[id];
  record.id = id;
  record.dir = dir;
  return record;
}

void Store::Refresh() {
  std::vector<std::string> names;
  if (const int error = maildir::ListDirectory(root, &names)) {
    ThrowErrno(error, "cannot read the mail store " + root);
  }
  std::sort(names.begin(), names.end());

  struct Dir {
    std::string name;
    std::vector<std::string> levels;  // as spelled
  };
  std::vector<Dir> dirs;
  std::set<std::string> first_levels;  // decoded
  for (const std::string& name : names) {
    std::vector<std::string> levels = mail::FolderDirLevels(name);
    if (levels.empty() || !maildir::IsDirectory(root + "/" + name + "/cur")) continue;
    first_levels.insert(mail::FolderLevelName(levels[0]));
    dirs.push_back({name, std::move(levels)});
  }

  // Which first level each standard folder stands for: the first of its
  // Maildir names that is there.
  std::map<std::string, std::string> standard_of;  // decoded first level -> standard name
  std::vector<std::pair<FolderPath, std::string>> standard_dirs;
  for (const mail::StandardFolder& standard : mail::StandardFolders()) {
    const char* chosen = standard.maildir_names.front();
    for (const char* candidate : standard.maildir_names) {
      if (first_levels.count(candidate)) {
        chosen = candidate;
        standard_of[candidate] = standard.name;
        break;
      }
    }
    standard_dirs.push_back({{standard.name}, "." + mail::EncodeFolderName(chosen)});
  }
  auto shown_first = [&](const std::string& spelling) -> std::string {
    const std::string name = mail::FolderLevelName(spelling);
    if (mail::IsInboxLevel(name)) return mail::kInboxName;
    auto it = standard_of.find(name);
    return it == standard_of.end() ? name : it->second;
  };
  // The directories of standard folders go first, so that they win over
  // one spelled like the standard name itself.
  std::stable_partition(dirs.begin(), dirs.end(), [&](const Dir& d) {
    return standard_of.count(mail::FolderLevelName(d.levels[0])) != 0;
  });

  struct Node {
    std::string dir;
    bool real = false;
  };
  std::map<FolderPath, Node> nodes;  // in walk order: pre-order is the order of paths
  nodes[{}] = {kStoreDir, false};
  nodes[{mail::kInboxName}] = {"", maildir::IsDirectory(root + "/cur")};
  for (const Dir& d : dirs) {
    FolderPath path{shown_first(d.levels[0])};
    for (size_t i = 1; i < d.levels.size(); ++i) {
      path.push_back(mail::FolderLevelName(d.levels[i]));
    }
    nodes.emplace(path, Node{d.name, true});  // the first of a name stays
  }
  for (const auto& [path, dir] : standard_dirs) nodes.emplace(path, Node{dir, false});
  // Levels above a folder that have no directory of their own.
  std::vector<std::pair<FolderPath, std::string>> parents;
  for (const auto& [path, node] : nodes) {
    if (!node.real || path.size() < 2) continue;
    const std::vector<std::string> levels = mail::FolderDirLevels(node.dir);
    std::string dir;
    for (size_t i = 0; i + 1 < path.size(); ++i) {
      dir += "." + levels[i];
      parents.push_back({FolderPath(path.begin(), path.begin() + i + 1), dir});
    }
  }
  for (const auto& [path, dir] : parents) nodes.emplace(path, Node{dir, false});

  for (auto& entry : folders) entry.second.present = false;
  for (const auto& [path, node] : nodes) {
    auto id = folder_ids.find(node.dir);
    FolderRecord& folder = id == folder_ids.end() ? Register(node.dir) : folders.at(id->second);
    if (folder.present) continue;
    folder.path = path;
    folder.present = true;
    folder.real = node.real;
  }
}

FolderRecord* Store::PresentAt(const FolderPath& path) {
  for (auto& [id, folder] : folders) {
    if (folder.present && folder.path == path) return &folder;
  }
  return nullptr;
}

void Store::Materialize(FolderRecord& folder) {
  if (folder.dir == kStoreDir) Throw(status::kInvalidArgument, "Local Folders holds no messages.");
  if (folder.real) return;
  if (const int error = maildir::MakeMaildir(DirectoryOf(folder), !folder.dir.empty())) {
    ThrowErrno(error, "cannot make the folder " + DirectoryOf(folder));
  }
  Refresh();
  if (!folder.present || !folder.real) {
    Throw(status::kFail, "The folder " + Quoted(folder.Name()) + " cannot be made.");
  }
  SyncWatches(folder);
}

int32_t Store::CreateFolder(int32_t parent_id, const std::string& name) {
  if (!mail::IsValidFolderName(name)) {
    Throw(status::kInvalidArgument, Quoted(name) + " cannot be a folder name.");
  }
  Refresh();
  FolderRecord& parent = Present(parent_id);
  std::string dir;
  FolderPath path = parent.path;
  if (parent.dir == kStoreDir) {
    path.push_back(mail::IsInboxLevel(name) ? mail::kInboxName : name);
    dir = "." + mail::EncodeFolderName(name);
  } else {
    path.push_back(name);
    dir = (parent.dir.empty() ? std::string(".") + mail::kInboxLevel : parent.dir) + "." +
          mail::EncodeFolderName(name);
  }
  // A folder shown but without a directory (a standard folder, a level
  // above another) gets one; one with a directory is there already.
  FolderRecord* existing = PresentAt(path);
  if (!existing) {
    auto id = folder_ids.find(dir);
    if (id != folder_ids.end() && folders.at(id->second).present)
      existing = &folders.at(id->second);
  }
  if (existing && existing->real) {
    Throw(MaildirHost::kAlreadyExists,
          Quoted(parent.Name()) + " already has a folder " + Quoted(name) + ".");
  }
  if (existing) {
    Materialize(*existing);
    return existing->id;
  }
  if (const int error = maildir::MakeMaildir(root + "/" + dir, true)) {
    ThrowErrno(error, "cannot make the folder " + root + "/" + dir);
  }
  Refresh();
  auto id = folder_ids.find(dir);
  if (id == folder_ids.end() || !folders.at(id->second).present) {
    Throw(status::kFail, "The folder " + Quoted(name) + " was made as " + Quoted(dir) +
                             " but another folder of that name hides it.");
  }
  return id->second;
}

MessageRecord& Store::Record(FolderRecord& folder, const std::string& unique) {
  auto it = folder.messages.find(unique);
  if (it != folder.messages.end()) return it->second;
  MessageRecord& record = folder.messages[unique];
  record.id = folder.next_message_id++;
  folder.uniques[record.id] = unique;
  return record;
}

void Store::ListMessages(FolderRecord& folder) {
  std::map<std::string, std::string> found;  // unique name -> file
  if (folder.dir != kStoreDir) {
    for (const char* sub : {"cur", "new"}) {
      std::vector<std::string> names;
      const std::string dir = DirectoryOf(folder) + "/" + sub;
      if (const int error = maildir::ListDirectory(dir, &names)) {
        if (error == ENOENT || error == ENOTDIR) continue;
        ThrowErrno(error, "cannot read the folder " + dir);
      }
      for (const std::string& name : names) {
        if (!mail::IsMessageFileName(name)) continue;
        const std::string unique = mail::ParseMessageFileName(name).unique;
        // Should a broken program leave a message in both, cur/ (listed
        // first) is taken.
        if (!unique.empty()) found.emplace(unique, std::string(sub) + "/" + name);
      }
    }
  }
  for (auto& entry : folder.messages) entry.second.file.clear();
  for (const auto& [unique, file] : found) Record(folder, unique).file = file;
  folder.followed = folder.new_watch >= 0 && folder.cur_watch >= 0;
  Step(maildir_step::kListed);
}

// The message's file, "" when the folder does not hold it. Looks at the

std::string Store::Locate(FolderRecord& folder, int32_t id, bool look_again) {
  auto unique = folder.uniques.find(id);
  if (unique == folder.uniques.end()) {
    if (!look_again) return {};
    ListMessages(folder);
    unique = folder.uniques.find(id);
    if (unique == folder.uniques.end()) return {};
  }
  const MessageRecord& record = folder.messages.at(unique->second);
  if (record.file.empty() && !look_again) return {};
  if (!record.file.empty() && maildir::Exists(DirectoryOf(folder) + "/" + record.file)) {
    return DirectoryOf(folder) + "/" + record.file;
  }
  ListMessages(folder);
  return record.file.empty() ? std::string() : DirectoryOf(folder) + "/" + record.file;
}

std::string Store::RequiredFile(FolderRecord& folder, int32_t id) {
  std::string file = Locate(folder, id, true);
  if (file.empty()) {
    Throw(status::kFail,
          "Message " + std::to_string(id) + " is no longer in " + Quoted(folder.Name()) + ".");
  }
  return file;
}

}  // namespace maildir_host_internal
}  // namespace tarvex
