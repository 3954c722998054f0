#include <algorithm>

#include "host/imap/store.h"
#include "mail/message_text.h"

// Changes of messages. An IMAP message cannot change in place, so a header
// rewrite is a new message and the old one's removal, in the order that
// loses nothing: the copy is stored before the original is marked and
// expunged. A cut in between leaves both, and the original is removed once
// the server is back (pending_removals) or, after a restart, when the start
// finds it beside its judged copy (UnjudgedWithoutDuplicates).

namespace tarvex {
namespace imap_host_internal {
namespace {

const char kDeleted[] = "\\Deleted";
const char kSeen[] = "\\Seen";

std::string_view BodyOf(std::string_view message) {
  return message.substr(mail::LayOut(message).body_start);
}

std::string NoSuchMessage(const FolderRecord& folder, int32_t id) {
  return "There is no message " + std::to_string(id) + " in " + Quoted(folder.Name()) + ".";
}

}  // namespace

// The UID the server gave a message appended to the folder; a server that
// does not say has it as the highest above before.
static uint32_t Appended(Store& store, FolderRecord& folder, uint32_t said, uint32_t before) {
  if (said) return said;
  store.Open(folder);
  const std::vector<uint32_t> uids =
      store.OnServer([&](imap::Connection& s) { return s.Uids(before + 1); });
  return uids.empty() ? 0 : uids.back();
}

void Store::Rewrite(FolderRecord& folder, int32_t id,
                    const std::vector<std::pair<std::string, std::string>>& changes) {
  const imap::FetchedMessage original = Read(folder, id);
  const std::string rewritten = mail::SetHeaderFields(original.bytes, changes);
  std::vector<std::string> flags;
  for (const std::string& flag : original.flags) {
    if (flag != kDeleted) flags.push_back(flag);
  }
  const uint32_t before = OnServer([&](imap::Connection& s) {
    return s.Has("UIDPLUS") ? 0 : s.Status(folder.mailbox).uid_next;
  });
  pending_removals.push_back({folder.mailbox, folder.uid_validity, original.uid, 0});
  WriteState(false);
  const uint32_t said = OnServer(
      [&](imap::Connection& s) {
        return s.Append(folder.mailbox, rewritten, flags, original.date);
      },
      false);
  cached.reset();
  const uint32_t copy = Appended(*this, folder, said, before ? before - 1 : original.uid);
  if (copy == 0) Throw(status::kFail, "The server lost the rewritten message.");
  folder.own.insert(copy);
  folder.id_of.erase(original.uid);
  folder.uid_of[id] = copy;
  folder.id_of[copy] = id;
  pending_removals.back().copy = copy;
  // What is asked of the message next (a move, mostly) needs not fetch it.
  cached = CachedMessage{folder.id, folder.uid_validity, {copy, rewritten, flags, original.date}};
  Step(imap_step::kCommitAppended);
  FinishRemovals();
  Step(imap_step::kCommitExpunged);
}

void Store::FinishRemovals() {
  while (!pending_removals.empty()) {
    const PendingRemoval removal = pending_removals.front();
    auto id = folder_ids.find(removal.mailbox);
    FolderRecord* folder = id == folder_ids.end() ? nullptr : Find(id->second);
    if (folder && folder->exists) {
      Open(*folder);
      const bool copied = folder->uid_validity == removal.validity &&
                          (removal.copy != 0 || CopyOf(*folder, removal.uid) != 0);
      if (copied) {
        OnServer([&](imap::Connection& s) { Remove(s, removal.uid); }, false);
      }
    }
    pending_removals.erase(pending_removals.begin());
    // Written with the next save: a line left a while in the file costs a
    // start one look at a message no longer there.
    remembered_changed = true;
  }
}

void Store::Remove(imap::Connection& server, uint32_t uid) {
  server.AddFlags(uid, {kDeleted});
  std::set<uint32_t>& ours = left_deleted[server.selected_mailbox()];
  if (server.Expunge(uid, ours)) {
    ours.clear();  // gone with it
    return;
  }
  ours.insert(uid);
  if (told_no_uidplus) return;
  told_no_uidplus = true;
  Notice("the server " + account.host +
         " lacks UIDPLUS: a message removed while another program's is marked deleted stays "
         "marked deleted until that one is expunged");
}

uint32_t Store::CopyOf(FolderRecord& folder, uint32_t uid) {
  Open(folder);
  const std::optional<imap::FetchedMessage> original =
      OnServer([&](imap::Connection& s) { return s.Fetch(uid, true); });
  if (!original) return 0;
  const std::string message_id = mail::FirstHeaderValue(original->bytes, "Message-ID");
  if (message_id.empty()) return 0;
  for (const uint32_t other :
       OnServer([&](imap::Connection& s) { return s.SearchHeader("Message-ID", message_id); })) {
    if (other <= uid) continue;
    const std::optional<imap::FetchedMessage> copy =
        OnServer([&](imap::Connection& s) { return s.Fetch(other, true); });
    if (copy && mail::FirstHeaderValue(copy->bytes, "Message-ID") == message_id &&
        BodyOf(copy->bytes) == BodyOf(original->bytes)) {
      return other;
    }
  }
  return 0;
}

void Store::Move(int32_t source_id, int32_t target_id, int32_t id, int32_t* moved) {
  *moved = 0;
  if (!Find(source_id) || !Find(target_id) || !Find(source_id)->present ||
      !Find(target_id)->present) {
    Refresh();
  }
  FolderRecord& source = Present(source_id);
  FolderRecord& target = Present(target_id);
  if (source.mailbox.empty() || target.mailbox.empty()) {
    Throw(status::kInvalidArgument, "Local Folders holds no messages.");
  }
  if (!Holds(source, id)) Throw(status::kInvalidArgument, NoSuchMessage(source, id));
  if (source_id == target_id) return;
  Materialize(target);
  Open(source);
  const uint32_t uid = source.Uid(id);
  const uint32_t arrived =
      OnServer([&](imap::Connection& s) { return s.Move(uid, target.mailbox); }, false);
  cached.reset();
  source.uid_of.erase(id);
  source.id_of.erase(uid);
  if (arrived > target.seen) target.own.insert(arrived);
  *moved = 1;
}

void Store::MarkRead(FolderRecord& folder, int32_t id) {
  if (!Holds(folder, id)) Throw(status::kFail, NoSuchMessage(folder, id));
  const uint32_t uid = folder.Uid(id);
  OnServer([&](imap::Connection& s) { s.AddFlags(uid, {kSeen}); });
  if (cached && cached->message.uid == uid) cached.reset();
}

int32_t Store::Add(FolderRecord& folder, const std::string& message) {
  Materialize(folder);
  const uint32_t before = OnServer([&](imap::Connection& s) {
    return s.Has("UIDPLUS") ? 0 : s.Status(folder.mailbox).uid_next;
  });
  const uint32_t said = OnServer(
      [&](imap::Connection& s) { return s.Append(folder.mailbox, message, {}, std::nullopt); },
      false);
  Open(folder);
  const uint32_t uid = Appended(*this, folder, said, before ? before - 1 : 0);
  if (uid > folder.seen) folder.own.insert(uid);
  return folder.Id(uid);
}

bool Store::Judged(const std::string& head) const {
  const std::string_view block = std::string_view(head).substr(0, mail::LayOut(head).header_end);
  for (const mail::HeaderField& field : mail::HeaderFields(block)) {
    for (const std::string& name : options.judged_marks) {
      if (mail::SameFieldName(field.name, name)) return true;
    }
  }
  return false;
}

std::vector<uint32_t> Store::UnjudgedWithoutDuplicates(FolderRecord& folder, uint32_t first) {
  Open(folder);
  const std::vector<imap::FetchedMessage> heads =
      OnServer([&](imap::Connection& s) { return s.FetchHeaders(first); });
  std::vector<const imap::FetchedMessage*> judged;
  for (const imap::FetchedMessage& head : heads) {
    if (Judged(head.bytes)) judged.push_back(&head);
  }
  std::vector<uint32_t> unjudged;
  for (const imap::FetchedMessage& head : heads) {
    if (Judged(head.bytes)) continue;
    const std::string message_id = mail::FirstHeaderValue(head.bytes, "Message-ID");
    bool duplicate = false;
    for (const imap::FetchedMessage* copy : judged) {
      if (message_id.empty() || copy->uid < head.uid ||
          mail::FirstHeaderValue(copy->bytes, "Message-ID") != message_id) {
        continue;
      }
      const auto bodies = OnServer([&](imap::Connection& s) {
        return std::make_pair(s.Fetch(head.uid, true), s.Fetch(copy->uid, true));
      });
      if (bodies.first && bodies.second &&
          BodyOf(bodies.first->bytes) == BodyOf(bodies.second->bytes)) {
        duplicate = true;
        break;
      }
    }
    if (!duplicate) {
      unjudged.push_back(head.uid);
      continue;
    }
    OnServer([&](imap::Connection& s) { Remove(s, head.uid); }, false);
    Notice("removed the original of a rewritten message in " + folder.mailbox + ": " + message_id);
  }
  return unjudged;
}

}  // namespace imap_host_internal
}  // namespace tarvex
