#include <algorithm>
#include <map>

#include "host/imap/store.h"
#include "mail/maildir_names.h"
#include "mail/message_text.h"

// The connection and the folder tree as LIST gives it.

namespace tarvex {
namespace imap_host_internal {

Store::Store(imap::Account server_account, ImapHost::Options host_options)
    : account(std::move(server_account)), options(std::move(host_options)) {
  for (const char* mailbox : {"", "INBOX"}) {  // ImapHost::kLocalFoldersId, kInboxId
    const int32_t id = next_folder_id++;
    folder_ids[mailbox] = id;
    folders[id].id = id;
    folders[id].mailbox = mailbox;
  }
}

// ------------------------------------------------------------------ the server

imap::Connection& Store::Server() {
  if (connection) return *connection;
  const auto now = std::chrono::steady_clock::now();
  if (now < next_attempt) Throw(status::kFail, "the server is not reachable");
  try {
    connection = std::make_unique<imap::Connection>(account);
  } catch (const imap::ImapError& error) {
    if (reachable) Notice("the server " + account.host + " is not reachable: " + error.what());
    reachable = false;
    next_attempt = now + pause;
    pause = std::min(pause * 2, kLongestPause);
    Throw(status::kFail, "the server is not reachable: " + std::string(error.what()));
  }
  if (!reachable) Notice("the server " + account.host + " is reachable again");
  reachable = true;
  pause = std::chrono::seconds(1);
  return *connection;
}

// A connection that worked is made again at once; only a failure to make
// it starts the pauses.
void Store::Lose(const std::string&) {
  if (announcing) {
    if (FolderRecord* folder = Find(announcing->first)) folder->again.insert(announcing->second);
  }
  connection.reset();
  cached.reset();
  next_attempt = {};
}

// ------------------------------------------------------------------ the tree

namespace {

std::vector<std::string> Levels(const imap::Mailbox& mailbox) {
  std::vector<std::string> levels;
  if (!mailbox.delimiter) return {mailbox.name};
  size_t start = 0;
  for (;;) {
    const size_t at = mailbox.name.find(mailbox.delimiter, start);
    levels.push_back(mailbox.name.substr(start, at - start));
    if (at == std::string::npos) return levels;
    start = at + 1;
  }
}

// The special use that stands for each standard folder, by its name.
const char* SpecialUseOf(const std::string& standard) {
  static const std::map<std::string, const char*> uses = {
      {"Sent Items", "\\Sent"}, {"Deleted Items", "\\Trash"}, {"Drafts", "\\Drafts"}};
  auto it = uses.find(standard);
  return it == uses.end() ? "" : it->second;
}

}  // namespace

void Store::Refresh() {
  const std::vector<imap::Mailbox> list = OnServer([](imap::Connection& s) { return s.List(); });
  for (const imap::Mailbox& mailbox : list) {
    if (mailbox.delimiter) {
      delimiter = mailbox.delimiter;
      break;
    }
  }

  // Which top-level mailbox each standard folder stands for: the one of its
  // special use, else the first of its usual names there.
  std::map<std::string, std::string> standard_of;  // mailbox -> standard name
  std::map<std::string, std::string> missing;      // standard name -> mailbox it would get
  for (const mail::StandardFolder& standard : mail::StandardFolders()) {
    std::string chosen;
    const std::string use = SpecialUseOf(standard.name);
    for (const imap::Mailbox& mailbox : list) {
      if (!use.empty() && mailbox.special_use == use && Levels(mailbox).size() == 1) {
        chosen = mailbox.name;
        break;
      }
    }
    for (const char* candidate : standard.maildir_names) {
      if (!chosen.empty()) break;
      for (const imap::Mailbox& mailbox : list) {
        if (mail::FolderLevelName(mailbox.name) == candidate && !standard_of.count(mailbox.name)) {
          chosen = mailbox.name;
          break;
        }
      }
    }
    if (chosen.empty()) {
      missing[standard.name] = mail::EncodeFolderName(standard.maildir_names.front());
    } else {
      standard_of[chosen] = standard.name;
    }
  }

  struct Node {
    std::string mailbox;
    bool exists = false;
  };
  std::map<FolderPath, Node> nodes;  // pre-order is the order of paths
  nodes[{}] = {"", false};
  nodes[{mail::kInboxName}] = {"INBOX", true};
  std::vector<const imap::Mailbox*> ordered;
  for (const imap::Mailbox& mailbox : list) ordered.push_back(&mailbox);
  // The mailboxes of standard folders go first, so that they win over one
  // spelled like the standard name itself.
  std::stable_partition(ordered.begin(), ordered.end(), [&](const imap::Mailbox* m) {
    return standard_of.count(Levels(*m)[0]) != 0;
  });
  for (const imap::Mailbox* mailbox : ordered) {
    const std::vector<std::string> levels = Levels(*mailbox);
    FolderPath path;
    const std::string first = mail::FolderLevelName(levels[0]);
    if (mail::IsInboxLevel(levels[0])) {
      if (levels.size() == 1) continue;
      path.push_back(mail::kInboxName);
    } else {
      auto standard = standard_of.find(levels[0]);
      path.push_back(standard == standard_of.end() ? first : standard->second);
    }
    for (size_t i = 1; i < levels.size(); ++i) path.push_back(mail::FolderLevelName(levels[i]));
    nodes.emplace(path, Node{mailbox->name, mailbox->selectable});
    // Levels above it that LIST left out are shown, holding nothing.
    std::string above = levels[0];
    for (size_t i = 1; i + 1 < levels.size(); ++i) {
      above += delimiter + levels[i];
      nodes.emplace(FolderPath(path.begin(), path.begin() + i + 1), Node{above, false});
    }
  }
  for (const auto& [name, mailbox] : missing) nodes.emplace(FolderPath{name}, Node{mailbox, false});

  for (auto& entry : folders) entry.second.present = false;
  for (const auto& [path, node] : nodes) {
    auto known = folder_ids.find(node.mailbox);
    FolderRecord* folder;
    if (known == folder_ids.end()) {
      const int32_t id = next_folder_id++;
      folder_ids[node.mailbox] = id;
      folder = &folders[id];
      folder->id = id;
      folder->mailbox = node.mailbox;
    } else {
      folder = &folders.at(known->second);
    }
    if (folder->present) continue;
    folder->path = path;
    folder->present = true;
    folder->exists = node.exists;
    // What a folder holds when the host first sees it is not new mail.
    if (folder->exists && folder->uid_validity == 0) {
      const std::string& mailbox = node.mailbox;  // a lambda cannot take a binding
      const imap::Selection status =
          OnServer([&](imap::Connection& s) { return s.Status(mailbox); });
      folder->uid_validity = status.uid_validity;
      folder->seen = status.uid_next ? status.uid_next - 1 : 0;
    }
  }
}

void Store::Materialize(FolderRecord& folder) {
  if (folder.mailbox.empty()) Throw(status::kInvalidArgument, "Local Folders holds no messages.");
  if (folder.exists) return;
  OnServer([&](imap::Connection& s) {
    s.Create(folder.mailbox);
    s.Subscribe(folder.mailbox);
  });
  Refresh();
  if (!folder.present || !folder.exists) {
    Throw(status::kFail, "The folder " + Quoted(folder.Name()) + " cannot be made.");
  }
}

int32_t Store::CreateFolder(int32_t parent_id, const std::string& name) {
  if (!mail::IsValidFolderName(name) || name.find(delimiter) != std::string::npos) {
    Throw(status::kInvalidArgument, Quoted(name) + " cannot be a folder name.");
  }
  Refresh();
  FolderRecord& parent = Present(parent_id);
  FolderPath path = parent.path;
  path.push_back(parent.mailbox.empty() && mail::IsInboxLevel(name) ? mail::kInboxName : name);
  const std::string mailbox = parent.mailbox.empty()
                                  ? mail::EncodeFolderName(name)
                                  : parent.mailbox + delimiter + mail::EncodeFolderName(name);
  for (FolderRecord* existing : Walk()) {
    if (existing->path != path && existing->mailbox != mailbox) continue;
    if (existing->exists) {
      Throw(ImapHost::kAlreadyExists,
            Quoted(parent.Name()) + " already has a folder " + Quoted(name) + ".");
    }
    Materialize(*existing);
    return existing->id;
  }
  OnServer(
      [&](imap::Connection& s) {
        s.Create(mailbox);
        s.Subscribe(mailbox);
      },
      false);
  Refresh();
  auto id = folder_ids.find(mailbox);
  if (id == folder_ids.end() || !folders.at(id->second).present) {
    Throw(status::kFail, "The folder " + Quoted(name) + " was made as " + Quoted(mailbox) +
                             " but another folder of that name hides it.");
  }
  return id->second;
}

// ------------------------------------------------------------------ messages

imap::Selection Store::Open(FolderRecord& folder) {
  Materialize(folder);
  const imap::Selection selection =
      OnServer([&](imap::Connection& s) { return s.Select(folder.mailbox); });
  if (selection.uid_validity != folder.uid_validity) {
    cached.reset();
    folder.Renumber(selection.uid_validity);
  }
  return selection;
}

bool Store::Holds(FolderRecord& folder, int32_t id) {
  if (id <= 0) return false;
  auto owner = folder.id_of.find(folder.Uid(id));
  if (owner != folder.id_of.end() && owner->second != id) return false;  // known by another id
  return Cached(folder, id) != nullptr;
}

const imap::FetchedMessage* Store::Cached(FolderRecord& folder, int32_t id) {
  Open(folder);
  const uint32_t uid = folder.Uid(id);
  if (cached && cached->folder == folder.id && cached->validity == folder.uid_validity &&
      cached->message.uid == uid &&
      std::chrono::steady_clock::now() - cached->when < CachedMessage::kKept) {
    return &cached->message;
  }
  cached.reset();
  // The whole message at once: whoever asks for one part of it asks for
  // the rest next (the classifier reads headers, then text, then rewrites).
  std::optional<imap::FetchedMessage> message =
      OnServer([&](imap::Connection& s) { return s.Fetch(uid, true); });
  if (!message) return nullptr;
  cached = CachedMessage{folder.id, folder.uid_validity, std::move(*message)};
  return &cached->message;
}

const imap::FetchedMessage& Store::Read(FolderRecord& folder, int32_t id) {
  const imap::FetchedMessage* message = Cached(folder, id);
  if (!message) {
    Throw(status::kFail,
          "Message " + std::to_string(id) + " is no longer in " + Quoted(folder.Name()) + ".");
  }
  return *message;
}

std::vector<int32_t> Store::Messages(FolderRecord& folder, int32_t after) {
  if (!folder.exists) return {};
  Open(folder);
  std::vector<int32_t> ids;
  for (const uint32_t uid : OnServer([](imap::Connection& s) { return s.Uids(1); })) {
    const int32_t id = folder.Id(uid);
    if (id > after) ids.push_back(id);
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace imap_host_internal
}  // namespace tarvex
