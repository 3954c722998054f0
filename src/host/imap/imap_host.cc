#include "host/imap/imap_host.h"

#include <signal.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "host/imap/store.h"
#include "host/imap/store_watch.h"
#include "mail/message_text.h"

// The owner's side of the host. The store (store.h) holds the state and does
// the work; the objects handed to the plug-in are in host_objects.cc.

namespace tarvex {

using imap_host_internal::FolderRecord;
using imap_host_internal::Kind;
using imap_host_internal::Lock;
using imap_host_internal::OwnerCall;
using imap_host_internal::Store;

ImapHost::ImapHost(imap::Account account, Options options)
    : store_(std::make_shared<Store>(std::move(account), std::move(options))) {
  // A server that closes its end would otherwise end the process at the
  // next write.
  ::signal(SIGPIPE, SIG_IGN);
  OwnerCall(*store_, [&] {
    store_->Refresh();
    store_->LoadRemembered();
  });
}

ImapHost::~ImapHost() {
  watcher_.reset();
  Lock lock(store_->mutex);
  store_->SaveRemembered(true);
  store_->connection.reset();
}

void ImapHost::InitializeComponents() { ++store_->counts.initializations; }
void ImapHost::UninitializeComponents() { ++store_->counts.uninitializations; }

HostStatus ImapHost::DoCreateInit(HostRef<HostInit>* init) {
  *init = imap_host_internal::MakeInit(store_);
  return status::kOk;
}

HostStatus ImapHost::DoCreateFolderManager(HostRef<HostFolderManager>* manager) {
  *manager = imap_host_internal::MakeFolderManager(store_);
  return status::kOk;
}

HostStatus ImapHost::DoCreateApi(HostRef<HostApi>* api) {
  *api = imap_host_internal::MakeApi(store_);
  return status::kOk;
}

const imap::Account& ImapHost::account() const { return store_->account; }

std::string ImapHost::Mailbox(int32_t folderId) const {
  return OwnerCall(*store_, [&] {
    if (!store_->Find(folderId)) store_->Refresh();
    return store_->Present(folderId).mailbox;
  });
}

int32_t ImapHost::MessageIdOfUid(int32_t folderId, uint32_t uid) const {
  return OwnerCall(*store_, [&] {
    if (!store_->Find(folderId)) store_->Refresh();
    return store_->Present(folderId).Id(uid);
  });
}

namespace {

// A message's body as a mail reader may pipe it: its line ends may be the
// server's CR LF or plain LF, and a line end may follow it.
std::string ComparableBody(std::string_view message) {
  std::string body(message.substr(mail::LayOut(message).body_start));
  body.erase(std::remove(body.begin(), body.end(), '\r'), body.end());
  while (!body.empty() && body.back() == '\n') body.pop_back();
  return body;
}

}  // namespace

std::vector<std::pair<int32_t, uint32_t>> ImapHost::FindPipedMessage(
    std::string_view message) const {
  return OwnerCall(*store_, [&] {
    const std::string_view piped = mail::WithoutMboxFromLine(message);
    const std::string id = mail::FirstHeaderValue(piped, "Message-ID");
    std::vector<std::pair<int32_t, uint32_t>> found, sameBody;
    if (id.empty()) return found;
    store_->Refresh();
    const std::string body = ComparableBody(piped);
    for (FolderRecord* folder : store_->Walk()) {
      if (folder->mailbox.empty() || !folder->exists) continue;
      store_->Open(*folder);
      for (const uint32_t uid : store_->OnServer(
               [&](imap::Connection& s) { return s.SearchHeader("Message-ID", id); })) {
        const std::optional<imap::FetchedMessage> candidate =
            store_->OnServer([&](imap::Connection& s) { return s.Fetch(uid, true); });
        if (!candidate || mail::FirstHeaderValue(candidate->bytes, "Message-ID") != id) continue;
        found.emplace_back(folder->id, uid);
        if (ComparableBody(candidate->bytes) == body) sameBody.emplace_back(folder->id, uid);
      }
    }
    return found.size() > 1 && !sameBody.empty() ? sameBody : found;
  });
}

std::vector<ImapHost::ListedMessage> ImapHost::ListMessages(int32_t folderId) const {
  return OwnerCall(*store_, [&] {
    if (!store_->Find(folderId)) store_->Refresh();
    FolderRecord& folder = store_->Present(folderId);
    std::vector<ListedMessage> listed;
    if (folder.mailbox.empty() || !folder.exists) return listed;
    store_->Open(folder);
    for (const imap::FetchedMessage& m :
         store_->OnServer([&](imap::Connection& s) { return s.FetchFlags(1); })) {
      const bool seen = std::find(m.flags.begin(), m.flags.end(), "\\Seen") != m.flags.end();
      listed.push_back({folder.Id(m.uid), !seen});
    }
    return listed;
  });
}

size_t ImapHost::Depth(int32_t folderId) const {
  return OwnerCall(*store_, [&] {
    if (!store_->Find(folderId)) store_->Refresh();
    const FolderRecord& folder = store_->Present(folderId);
    if (folderId == kLocalFoldersId) return size_t{0};
    return size_t{1} + static_cast<size_t>(std::count(folder.mailbox.begin(), folder.mailbox.end(),
                                                      store_->delimiter));
  });
}

int32_t ImapHost::AddMessage(int32_t folderId, const std::string& message) {
  return OwnerCall(*store_, [&] {
    store_->Refresh();
    return store_->Add(store_->Present(folderId), message);
  });
}

imap::FetchedMessage ImapHost::Message(int32_t folderId, int32_t messageId) const {
  return OwnerCall(*store_, [&] {
    FolderRecord& folder = store_->Present(folderId);
    store_->cached.reset();
    return store_->Read(folder, messageId);
  });
}

// ------------------------------------------------------------------ new mail

// Raises "OnNewMessage" for each message found, then, the sinks having
// judged them, remembers how far each subscribed folder was announced.
std::vector<ImapHost::NewMessage> ImapHost::Announce(std::vector<NewMessage> found) {
  for (const NewMessage& m : found) {
    {
      Lock lock(store_->mutex);
      store_->announcing = std::make_pair(m.folder, m.message);
    }
    store_->Raise({Kind::kFolder, m.folder}, host_store::NewMessageEvent(m.message));
  }
  Lock lock(store_->mutex);
  store_->announcing.reset();
  for (auto& [id, folder] : store_->folders) {
    if (store_->Subscribed(id)) store_->Remember(folder);
  }
  store_->SaveRemembered();
  return found;
}

std::vector<ImapHost::NewMessage> ImapHost::ScanForNewMessages() {
  auto found = OwnerCall(*store_, [&] {
    store_->FinishRemovals();
    std::vector<NewMessage> all;
    for (FolderRecord* folder : store_->Walk()) {
      if (!store_->Subscribed(folder->id)) continue;
      for (const NewMessage& m : store_->FindNew(*folder)) all.push_back(m);
    }
    return all;
  });
  return Announce(std::move(found));
}

std::vector<ImapHost::NewMessage> ImapHost::ScanForNewMessages(int32_t folderId) {
  auto found = OwnerCall(*store_, [&] { return store_->FindNew(store_->Present(folderId)); });
  return Announce(std::move(found));
}

int ImapHost::StartWatching() {
  if (!watcher_) watcher_ = std::make_unique<imap_host_internal::Watcher>(store_->account);
  return watcher_->fd();
}

std::vector<ImapHost::NewMessage> ImapHost::ProcessEvents() {
  if (watcher_) watcher_->Drain();
  return ScanForNewMessages();
}

std::vector<ImapHost::NewMessage> ImapHost::AnnounceUnjudgedMail() {
  auto found = OwnerCall(*store_, [&] {
    store_->Refresh();
    store_->FinishRemovals();
    std::vector<NewMessage> unjudged;
    for (FolderRecord* folder : store_->Walk()) {
      if (!folder->exists || !store_->Subscribed(folder->id)) continue;
      store_->Open(*folder);
      auto known = store_->remembered.find(folder->mailbox);
      const bool same =
          known != store_->remembered.end() && known->second.first == folder->uid_validity;
      const uint32_t first = same ? known->second.second + 1 : 1;
      for (const uint32_t uid : store_->UnjudgedWithoutDuplicates(*folder, first)) {
        if (!folder->own.count(uid)) unjudged.push_back({folder->id, folder->Id(uid)});
      }
      // Whatever arrives after this look is found as new mail.
      for (const NewMessage& m : store_->FindNew(*folder)) unjudged.push_back(m);
    }
    return unjudged;
  });
  return Announce(std::move(found));
}

// ------------------------------------------------------------------ api, events

void ImapHost::SetCurrentFolder(int32_t folderId) {
  OwnerCall(*store_, [&] {
    if (!store_->Find(folderId)) store_->Refresh();
    store_->Present(folderId);
    store_->current_folder = folderId;
  });
}

void ImapHost::SetSelection(std::vector<int32_t> messageIds) {
  Lock lock(store_->mutex);
  store_->selection = std::move(messageIds);
}

void ImapHost::RaiseInit() { store_->Raise({Kind::kInit, 0}, host_store::InitEvent()); }
void ImapHost::RaiseShutdown() { store_->Raise({Kind::kInit, 0}, host_store::ShutdownEvent()); }

size_t ImapHost::Subscriptions() const {
  Lock lock(store_->mutex);
  return store_->events.Count();
}

int ImapHost::LiveObjects() const { return store_->counts.live_objects; }

void ImapHost::SetStepHook(std::function<void(const std::string& step)> hook) {
  Lock lock(store_->mutex);
  store_->step_hook = std::move(hook);
}

void ImapHost::DropConnection() {
  Lock lock(store_->mutex);
  store_->Lose("dropped");
}

}  // namespace tarvex
