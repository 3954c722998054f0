#include <sys/inotify.h>

#include <cstring>
#include <string_view>

#include "host/maildir/maildir_files.h"
#include "host/maildir/store.h"
#include "mail/maildir_names.h"
#include "mail/message_text.h"

// Finding new mail: by a look at the folders, and by watching the disk.

namespace tarvex {
namespace maildir_host_internal {

bool CarriesField(const std::string& path, const std::vector<std::string>& names) {
  if (names.empty()) return false;
  std::string head;
  if (maildir::ReadHead(path, &head, nullptr, MaildirHost::kMaxHeadCheck) != 0) return false;
  const std::string_view block = std::string_view(head).substr(0, mail::LayOut(head).header_end);
  for (const mail::HeaderField& field : mail::HeaderFields(block)) {
    for (const std::string& name : names) {
      if (mail::SameFieldName(field.name, name)) return true;
    }
  }
  return false;
}

bool Store::Announceable(const std::string& path) {
  std::string reason = maildir::NonMessageKind(path);
  FileIdentity identity;
  const uint64_t limit = size_limit ? size_limit() : 0;
  if (reason.empty() && limit && maildir::Identify(path, &identity) == 0 && identity.size > limit) {
    reason = MaildirHost::TooBigToJudge(identity.size, limit);
  }
  if (reason.empty()) return true;
  if (notice) notice("skipped " + path + ": " + reason);
  return false;
}

std::vector<MaildirHost::NewMessage> Store::FindNewMessages(std::optional<int32_t> only) {
  Refresh();
  if (only) Present(*only);
  std::vector<MaildirHost::NewMessage> found;
  for (FolderRecord* folder : Walk()) {
    if ((only && folder->id != *only) || !folder->real) continue;
    ListMessages(*folder);
    for (const auto& [id, unique] : folder->uniques) {
      MessageRecord& record = folder->messages.at(unique);
      if (record.file.empty() || record.known) continue;
      record.known = record.announced = true;
      const std::string path = DirectoryOf(*folder) + "/" + record.file;
      if (Announceable(path)) found.push_back({folder->id, id, path});
    }
  }
  return found;
}

std::vector<int32_t> Store::Unjudged(FolderRecord& folder, const std::vector<std::string>& names) {
  ListMessages(folder);
  std::vector<int32_t> ids;
  for (const auto& [id, unique] : folder.uniques) {
    const std::string& file = folder.messages.at(unique).file;
    if (file.compare(0, 4, "new/") != 0) continue;
    // What cannot be read (not a message file) is left to the announcer.
    if (!CarriesField(DirectoryOf(folder) + "/" + file, names)) ids.push_back(id);
  }
  return ids;
}

// ---------------------------------------------------------------- watching
//
// A folder is watched while it has a subscription: its new/ and cur/, or,
// while it has no Maildir, its directory, for when it gets one; the root
// is watched for folders that come and go. Every file event is judged on
// its own (new_mail_detector.h), with a lookup of its unique name in its
// folder: a name the folder knows (seen, written by the host, announced)
// is never new mail.

bool Store::SetWatch(FolderRecord& folder, int* watch, bool wanted, const char* sub) {
  if (wanted == (*watch >= 0)) return false;
  if (!wanted) {
    watcher->Unwatch(*watch);
    watch_targets.erase(*watch);
    *watch = -1;
    folder.followed = false;
    return false;
  }
  constexpr uint32_t kFolders = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;
  constexpr uint32_t kMessages = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE |
                                 IN_CLOSE_WRITE | IN_MODIFY | IN_EXCL_UNLINK;
  // Of tmp/, only what leaves it: a delivery agent's rename into new/ or
  // cur/, told from a move by the other half of the rename.
  constexpr uint32_t kTmpOut = IN_MOVED_FROM;
  const std::string path = sub ? DirectoryOf(folder) + "/" + sub : DirectoryOf(folder);
  const uint32_t mask = !sub ? kFolders : sub == kTmp ? kTmpOut : kMessages;
  int added = -1;
  if (const int error = watcher->Watch(path, mask | IN_ONLYDIR, &added)) {
    if (error == ENOENT || error == ENOTDIR) return false;  // a Maildir without new/
    ThrowErrno(error, "The folder " + Quoted(folder.Name()) + " cannot be watched");
  }
  *watch = added;
  watch_targets[added] = {folder.id, sub};
  return true;
}

bool Store::SyncWatches(FolderRecord& folder) {
  if (!watcher) return false;
  const bool there = folder.present && folder.dir != kStoreDir;
  const bool subscribed = there && Subscribed(folder.id);
  const bool wanted = subscribed || (there && folder.kept);
  // The Inbox's directory is the root, watched anyway.
  SetWatch(folder, &folder.dir_watch,
           subscribed && !folder.real && !folder.dir.empty() &&
               maildir::IsDirectory(DirectoryOf(folder)),
           nullptr);
  const bool added_new = SetWatch(folder, &folder.new_watch, wanted && folder.real, "new");
  const bool added_cur = SetWatch(folder, &folder.cur_watch, wanted && folder.real, "cur");
  SetWatch(folder, &folder.tmp_watch, subscribed && folder.real, kTmp);
  return added_new || added_cur;
}

void Store::StartWatching() {
  if (watcher) return;
  watcher = std::make_unique<maildir::DirectoryEvents>();
  try {
    int root_watch = -1;
    if (const int error = watcher->Watch(
            root, IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ONLYDIR, &root_watch)) {
      ThrowErrno(error, "The mail store " + Quoted(root) + " cannot be watched");
    }
    watch_targets[root_watch] = {MaildirHost::kLocalFoldersId, nullptr};
    Refresh();
    for (auto& entry : folders) SyncWatches(entry.second);
  } catch (...) {
    StopWatching();
    throw;
  }
}

void Store::StopWatching() {
  watcher.reset();
  watch_targets.clear();
  detector.Forget();
  for (auto& entry : folders) {
    FolderRecord& folder = entry.second;
    folder.new_watch = folder.cur_watch = folder.tmp_watch = folder.dir_watch = -1;
    folder.followed = folder.kept = false;
  }
}

std::vector<MaildirHost::NewMessage> Store::TakeFileEvents(std::string* error) {
  if (!watcher) return {};
  std::vector<maildir::DirectoryEvent> batch;
  if (const int e = watcher->Read(&batch)) {
    *error = std::string("The changes in the mail store cannot be read: ") + std::strerror(e) + ".";
  }
  detector.StartBatch();

  // Where in the batch each file is last written to, to tell a file created
  // in place from a hard link.
  std::unordered_map<std::string, size_t> last_write;
  for (size_t i = 0; i < batch.size(); ++i) {
    if (batch[i].mask & (IN_MODIFY | IN_CLOSE_WRITE))
      last_write[std::to_string(batch[i].watch) + "/" + batch[i].name] = i;
  }

  std::vector<std::pair<int32_t, int32_t>> arrived;  // folder, message
  bool overflow = false, tree_changed = false;
  for (size_t i = 0; i < batch.size(); ++i) {
    const maildir::DirectoryEvent& event = batch[i];
    if (event.watch < 0) {  // of the queue itself, not of a watch
      FileEvent lost;
      lost.kind = FileEvent::Kind::kOverflow;
      if (event.mask & IN_Q_OVERFLOW) overflow |= detector.Judge(lost) == NewMail::kRescan;
      continue;
    }
    auto target = watch_targets.find(event.watch);
    if (target == watch_targets.end()) continue;  // a watch taken off meanwhile
    if (event.mask & IN_IGNORED) {                // its directory is gone
      if (FolderRecord* folder = Find(target->second.folder)) {
        for (int* watch :
             {&folder->new_watch, &folder->cur_watch, &folder->tmp_watch, &folder->dir_watch}) {
          if (*watch == event.watch) *watch = -1;
        }
        folder->followed = false;
      }
      watch_targets.erase(target);
      tree_changed = true;
      continue;
    }
    if (!target->second.sub) {
      tree_changed |= (event.mask & IN_ISDIR) != 0;
      continue;
    }
    const bool in_tmp = target->second.sub == kTmp;
    const std::optional<FileEvent::Kind> kind = FileEventKind(event.mask, in_tmp);
    if (!kind || *kind == FileEvent::Kind::kOverflow) continue;
    FileEvent judged;
    judged.kind = *kind;
    judged.folder = target->second.folder;
    judged.cookie = event.cookie;
    if (in_tmp) {
      detector.Judge(judged);
      continue;
    }
    // A folder named like a message is passed over as one that is not.
    if (!mail::IsMessageFileName(event.name)) continue;
    judged.unique = mail::ParseMessageFileName(event.name).unique;
    if (judged.unique.empty()) continue;
    if (!last_write.empty() && *kind == FileEvent::Kind::kCreated) {
      auto written = last_write.find(std::to_string(event.watch) + "/" + event.name);
      judged.written_later = written != last_write.end() && written->second > i;
    }
    FolderRecord& folder = folders.at(target->second.folder);
    const std::string file = std::string(target->second.sub) + "/" + event.name;
    if (const auto id = JudgeFileEvent(folder, std::move(judged), file)) {
      if (Subscribed(folder.id)) arrived.emplace_back(folder.id, *id);
    }
  }

  // What is judged above is kept should looking at the disk fail below.
  try {
    if (overflow) {
      // Events were lost: what is there now tells what came (and the
      // records follow the disk again).
      for (auto& entry : folders) entry.second.followed = false;
      detector.Forget();
      for (const MaildirHost::NewMessage& m : FindNewMessages(std::nullopt))
        arrived.emplace_back(m.folder, m.message);
    }
    if (tree_changed) {
      Refresh();
      for (auto& [id, folder] : folders) {
        if (!SyncWatches(folder) || !Subscribed(id)) continue;
        // Watched from now on; what came before the watch is found by a look.
        for (const MaildirHost::NewMessage& m : FindNewMessages(id))
          arrived.emplace_back(m.folder, m.message);
      }
    }
  } catch (const OperationError& failure) {
    *error = failure.what();
  }

  std::vector<MaildirHost::NewMessage> found;
  for (const auto& [folder_id, id] : arrived) {
    FolderRecord& folder = folders.at(folder_id);
    MessageRecord& record = folder.messages.at(folder.uniques.at(id));
    if (record.file.empty()) continue;  // gone again in the same batch
    record.announced = true;
    const std::string path = DirectoryOf(folder) + "/" + record.file;
    if (Announceable(path)) found.push_back({folder_id, id, path});
  }
  return found;
}

std::optional<int32_t> Store::JudgeFileEvent(FolderRecord& folder, FileEvent event,
                                             const std::string& file) {
  using EventKind = FileEvent::Kind;
  auto record = folder.messages.find(event.unique);
  MessageRecord* seen = record == folder.messages.end() ? nullptr : &record->second;
  if (event.kind == EventKind::kRenamedOut || event.kind == EventKind::kDeleted) {
    if (seen && seen->file == file) seen->file.clear();
    // Only new/ is looked at by a start: what left it needs no remembering.
    if (file.compare(0, 4, "new/") == 0) remembered.Remove(folder.dir, event.unique);
  }
  // Every name that appears gets its record (and id), new mail or not.
  if (event.kind == EventKind::kRenamedIn || event.kind == EventKind::kCreated) {
    if (!seen) seen = &Record(folder, event.unique);
    seen->file = file;
  }
  event.known = seen && seen->known;
  if (event.kind == EventKind::kCreated && !event.known && !event.written_later) {
    const std::string path = DirectoryOf(folder) + "/" + file;
    FileIdentity identity;
    event.has_content = !maildir::NonMessageKind(path).empty() ||
                        (maildir::Identify(path, &identity) == 0 && identity.size > 0);
  }
  const NewMail verdict = detector.Judge(event);
  if (verdict != NewMail::kDelivered && verdict != NewMail::kMovedIn) return std::nullopt;
  MessageRecord& arrived = seen ? *seen : Record(folder, event.unique);
  if (arrived.file.empty()) arrived.file = file;
  arrived.known = true;
  // Judged on its way in: the filter ran in the delivery recipe.
  if (verdict == NewMail::kDelivered && Subscribed(folder.id) &&
      CarriesField(DirectoryOf(folder) + "/" + file, options.judged_marks)) {
    return std::nullopt;
  }
  return arrived.id;
}

void Store::LoadRemembered() {
  if (const int error = remembered.Load()) NoteRememberedError(error, "read");
  remembered.Retain([&](const std::string& dir, const std::string& unique) {
    auto id = folder_ids.find(dir);
    if (id == folder_ids.end()) return false;
    const FolderRecord& folder = folders.at(id->second);
    auto record = folder.messages.find(unique);
    return folder.present && record != folder.messages.end() &&
           record->second.file.compare(0, 4, "new/") == 0;
  });
  SaveRemembered();
}

// Called once the messages announced have been judged: remembers those

void Store::RememberUnmarked(const std::vector<MaildirHost::NewMessage>& announced) {
  if (remembered.path().empty()) return;
  for (const MaildirHost::NewMessage& m : announced) {
    FolderRecord& folder = folders.at(m.folder);
    const std::string& unique = folder.uniques.at(m.message);
    const std::string& file = folder.messages.at(unique).file;
    if (file.compare(0, 4, "new/") == 0 &&
        !CarriesField(DirectoryOf(folder) + "/" + file, options.judged_marks)) {
      remembered.Add(folder.dir, unique);
    }
  }
  SaveRemembered();
}

void Store::SaveRemembered() {
  if (const int error = remembered.Save()) NoteRememberedError(error, "written");
}

void Store::NoteRememberedError(int error, const char* what) {
  remembered_error = "The list of announced messages " + Quoted(remembered.path()) + " cannot be " +
                     what + ": " + std::strerror(error) + ".";
}

}  // namespace maildir_host_internal
}  // namespace tarvex
