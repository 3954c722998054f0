#include "host/maildir/maildir_host.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <utility>

#include "host/maildir/host_objects.h"
#include "host/maildir/maildir_files.h"
#include "host/maildir/store.h"
#include "mail/maildir_names.h"
#include "mail/message_text.h"

// The owner's side of the host. The store (store.h) holds the state and does
// the work; the objects handed to the plug-in are in host_objects.cc.

namespace tarvex {

using maildir_host_internal::FolderRecord;
using maildir_host_internal::Kind;
using maildir_host_internal::Lock;
using maildir_host_internal::OwnerCall;
using maildir_host_internal::Store;

namespace {

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

MaildirHost::MaildirHost(const std::string& root) : MaildirHost(root, Options()) {}

MaildirHost::MaildirHost(const std::string& root, Options options)
    : store_(std::make_shared<Store>(WithoutTrailingSlash(root), options)) {
  if (!maildir::IsDirectory(store_->root)) {
    throw std::invalid_argument("The mail store " + store_->root + " is not a folder.");
  }
  // What is in the store now is not new mail.
  OwnerCall(*store_, [&] {
    store_->Refresh();
    for (FolderRecord* folder : store_->Walk()) {
      store_->ListMessages(*folder);
      for (auto& entry : folder->messages) entry.second.known = true;
      if (folder->real) store_->RemoveOwnLitter(*folder);
    }
    store_->LoadRemembered();
  });
}

// Objects that outlive the host keep the store, but the watch ends with it.
MaildirHost::~MaildirHost() {
  Lock lock(store_->mutex);
  store_->StopWatching();
}

void MaildirHost::InitializeComponents() { ++store_->counts.initializations; }
void MaildirHost::UninitializeComponents() { ++store_->counts.uninitializations; }

HostStatus MaildirHost::DoCreateInit(HostRef<HostInit>* init) {
  *init = maildir_host_internal::MakeInit(store_);
  return status::kOk;
}

HostStatus MaildirHost::DoCreateFolderManager(HostRef<HostFolderManager>* manager) {
  *manager = maildir_host_internal::MakeFolderManager(store_);
  return status::kOk;
}

HostStatus MaildirHost::DoCreateApi(HostRef<HostApi>* api) {
  *api = maildir_host_internal::MakeApi(store_);
  return status::kOk;
}

// ------------------------------------------------------------------ store

const std::string& MaildirHost::root() const { return store_->root; }

std::string MaildirHost::FolderDirectory(int32_t folderId) const {
  return OwnerCall(*store_, [&] {
    store_->Refresh();
    const FolderRecord& folder = store_->Present(folderId);
    return folder.dir == maildir_host_internal::kStoreDir ? std::string()
                                                          : store_->DirectoryOf(folder);
  });
}

std::string MaildirHost::MessageFile(int32_t folderId, int32_t messageId) const {
  return OwnerCall(*store_, [&] {
    FolderRecord* folder = store_->Find(folderId);
    if (!folder) throw std::invalid_argument("There is no folder " + std::to_string(folderId));
    return store_->Locate(*folder, messageId, true);
  });
}

namespace {

const char kMessageId[] = "Message-ID";

std::string_view BodyOf(std::string_view message) {
  return message.substr(mail::LayOut(message).body_start);
}

bool SameBody(std::string_view stored, std::string_view piped) {
  if (stored == piped) return true;
  return piped.size() == stored.size() + 1 && piped.back() == '\n' &&
         piped.substr(0, stored.size()) == stored;
}

}  // namespace

std::vector<std::string> MaildirHost::FilesOfMessage(std::string_view message) const {
  const std::string_view piped = mail::WithoutMboxFromLine(message);
  const std::string id = mail::FirstHeaderValue(piped, kMessageId);
  if (id.empty()) return {};
  const std::string& top = root();
  std::vector<std::string> folders = {top}, files, names;
  if (maildir::ListDirectory(top, &names) == 0) {
    for (const std::string& name : names) {
      if (name.size() > 1 && name[0] == '.' && name != "..") folders.push_back(top + "/" + name);
    }
  }
  for (const std::string& folder : folders) {
    for (const char* sub : {"/new", "/cur"}) {
      if (maildir::ListDirectory(folder + sub, &names) != 0) continue;
      for (const std::string& name : names) {
        std::string head;
        const std::string file = folder + sub + "/" + name;
        if (maildir::ReadHead(file, &head) == 0 && mail::FirstHeaderValue(head, kMessageId) == id)
          files.push_back(file);
      }
    }
  }
  if (files.size() < 2) return files;
  std::vector<std::string> same;
  for (const std::string& file : files) {
    std::string text;
    if (maildir::ReadFile(file, &text) == 0 && SameBody(BodyOf(text), BodyOf(piped))) {
      same.push_back(file);
    }
  }
  return same.empty() ? files : same;
}

std::optional<MaildirHost::NewMessage> MaildirHost::FindMessage(
    const std::string& pathOrUniqueName) const {
  namespace fs = std::filesystem;
  const bool byPath = pathOrUniqueName.find('/') != std::string::npos;
  std::error_code error;
  const fs::path path = fs::weakly_canonical(pathOrUniqueName, error);
  const std::string unique =
      byPath ? mail::ParseMessageFileName(path.filename().string()).unique : pathOrUniqueName;
  return OwnerCall(*store_, [&]() -> std::optional<NewMessage> {
    store_->Refresh();
    for (FolderRecord* folder : store_->Walk()) {
      if (folder->dir == maildir_host_internal::kStoreDir) continue;
      const std::string dir = store_->DirectoryOf(*folder);
      if (byPath && fs::weakly_canonical(dir, error) != path.parent_path().parent_path()) continue;
      auto known = folder->messages.find(unique);
      if (known == folder->messages.end() || known->second.file.empty()) {
        store_->ListMessages(*folder);
        known = folder->messages.find(unique);
      }
      if (known != folder->messages.end() && !known->second.file.empty()) {
        return NewMessage{folder->id, known->second.id, dir + "/" + known->second.file};
      }
    }
    return std::nullopt;
  });
}

int32_t MaildirHost::AddMessage(int32_t folderId, const std::string& message) {
  return OwnerCall(*store_, [&] {
    store_->Refresh();
    return store_->Add(store_->Present(folderId), message);
  });
}

// ------------------------------------------------------------------ new mail

namespace {

// Raises "OnNewMessage" for each message found, then, the sinks having
// judged them, remembers what they left unmarked in new/. The error of the
// remembered list, if any, is returned.
std::string AnnounceAndRemember(Store& store, const std::vector<MaildirHost::NewMessage>& found) {
  for (const MaildirHost::NewMessage& m : found)
    store.Raise({Kind::kFolder, m.folder}, host_store::NewMessageEvent(m.message));
  Lock lock(store.mutex);
  if (!found.empty()) store.RememberUnmarked(found);
  return std::exchange(store.remembered_error, {});
}

}  // namespace

std::vector<MaildirHost::NewMessage> MaildirHost::ScanForNewMessages() {
  const auto found = OwnerCall(*store_, [&] { return store_->FindNewMessages(std::nullopt); });
  AnnounceAndRemember(*store_, found);
  return found;
}

std::vector<MaildirHost::NewMessage> MaildirHost::ScanForNewMessages(int32_t folderId) {
  const auto found = OwnerCall(*store_, [&] { return store_->FindNewMessages(folderId); });
  AnnounceAndRemember(*store_, found);
  return found;
}

std::vector<int32_t> MaildirHost::UnjudgedNewMessages(int32_t folderId) const {
  return UnjudgedNewMessages(folderId, store_->options.judged_marks);
}

std::vector<int32_t> MaildirHost::UnjudgedNewMessages(
    int32_t folderId, const std::vector<std::string>& headerNames) const {
  return OwnerCall(*store_, [&] {
    store_->Refresh();
    return store_->Unjudged(store_->Present(folderId), headerNames);
  });
}

int MaildirHost::StartWatching() {
  return OwnerCall(*store_, [&] {
    store_->StartWatching();
    return store_->watcher->fd();
  });
}

std::vector<MaildirHost::NewMessage> MaildirHost::ProcessFileEvents() {
  std::string error;
  const auto found = OwnerCall(*store_, [&] { return store_->TakeFileEvents(&error); });
  waiting_.insert(waiting_.end(), found.begin(), found.end());
  std::vector<NewMessage> raised;
  try {
    raised = AnnounceWaiting();
  } catch (const std::runtime_error& unsaved) {
    if (error.empty()) error = unsaved.what();
  }
  if (!error.empty()) throw std::runtime_error(error);
  return raised;
}

std::vector<MaildirHost::NewMessage> MaildirHost::AnnounceWaiting() {
  const size_t count = std::min(waiting_.size(), kAnnounceSlice);
  const std::vector<NewMessage> slice(waiting_.begin(), waiting_.begin() + count);
  waiting_.erase(waiting_.begin(), waiting_.begin() + count);
  const std::string unsaved = AnnounceAndRemember(*store_, slice);
  if (!unsaved.empty()) throw std::runtime_error(unsaved);
  return slice;
}

std::vector<MaildirHost::NewMessage> MaildirHost::AnnounceUnjudgedMail() {
  const auto found = OwnerCall(*store_, [&] {
    store_->Refresh();
    std::vector<NewMessage> unjudged;
    for (FolderRecord* folder : store_->Walk()) {
      if (!folder->real || !store_->Subscribed(folder->id)) continue;
      for (const int32_t id : store_->Unjudged(*folder, store_->options.judged_marks)) {
        const std::string& unique = folder->uniques.at(id);
        auto& record = folder->messages.at(unique);
        const bool earlier = store_->remembered.Contains(folder->dir, unique);
        if (record.announced || earlier) continue;
        record.known = record.announced = true;
        const std::string path = store_->DirectoryOf(*folder) + "/" + record.file;
        if (store_->Announceable(path)) unjudged.push_back({folder->id, id, path});
      }
    }
    return unjudged;
  });
  const std::string unsaved = AnnounceAndRemember(*store_, found);
  if (!unsaved.empty()) throw std::runtime_error(unsaved);
  return found;
}

// ------------------------------------------------------------------ api, events

void MaildirHost::SetCurrentFolder(int32_t folderId) {
  OwnerCall(*store_, [&] {
    store_->Refresh();
    store_->Present(folderId);
    store_->current_folder = folderId;
  });
}

void MaildirHost::SetSelection(std::vector<int32_t> messageIds) {
  Lock lock(store_->mutex);
  store_->selection = std::move(messageIds);
}

std::vector<MaildirHost::ListedMessage> MaildirHost::ListMessages(int32_t folderId) const {
  return OwnerCall(*store_, [&] {
    store_->Refresh();
    maildir_host_internal::FolderRecord& folder = store_->Present(folderId);
    std::vector<ListedMessage> listed;
    if (folder.dir == maildir_host_internal::kStoreDir) return listed;
    store_->ListMessages(folder);
    for (const auto& [id, unique] : folder.uniques) {
      const std::string& file = folder.messages.at(unique).file;
      if (!file.empty()) listed.push_back({id, store_->DirectoryOf(folder) + "/" + file});
    }
    return listed;
  });
}

void MaildirHost::SetToolbarWindow(ToolbarControl* window) {
  Lock lock(store_->mutex);
  store_->toolbar_window = window;
}

void MaildirHost::RaiseInit() { store_->Raise({Kind::kInit, 0}, host_store::InitEvent()); }
void MaildirHost::RaiseShutdown() { store_->Raise({Kind::kInit, 0}, host_store::ShutdownEvent()); }

size_t MaildirHost::Subscriptions() const {
  Lock lock(store_->mutex);
  return store_->events.Count();
}

// ------------------------------------------------------------------ accounting, faults

int MaildirHost::LiveObjects() const { return store_->counts.live_objects; }
int MaildirHost::ComponentInitializations() const { return store_->counts.initializations; }
int MaildirHost::ComponentUninitializations() const { return store_->counts.uninitializations; }

void MaildirHost::SetNotices(std::function<void(const std::string& line)> notice) {
  Lock lock(store_->mutex);
  store_->notice = std::move(notice);
}

void MaildirHost::SetSizeLimit(std::function<uint64_t()> limit) {
  Lock lock(store_->mutex);
  store_->size_limit = std::move(limit);
}

std::string MaildirHost::TooBigToJudge(uint64_t size, uint64_t limit) {
  return "too big to judge (" + std::to_string(size) + " bytes; MaxMessageSize " +
         std::to_string(limit) + ")";
}

void MaildirHost::SetStepHook(std::function<void(const std::string& step)> hook) {
  Lock lock(store_->mutex);
  store_->step_hook = std::move(hook);
}

}  // namespace tarvex
