#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/maildir/maildir_files.h"
#include "host/maildir/store.h"
#include "mail/maildir_names.h"
#include "mail/message_text.h"
#include "mail/mime_message.h"

// Crash safety
// ------------
// A message is one file in new/ or cur/ of one folder. The invariant is that
// every message is there exactly once, with its old or its new content,
// whenever the process stops. tmp/ is not part of a folder (mail programs
// never read it), so a file left there by a crash is litter, not a copy.
//
// - Commit writes the new content to a fresh file in tmp/ and flushes it.
//   Then one renameat2(RENAME_EXCHANGE) swaps it with the message file: the
//   message's name now holds the new content and the tmp/ name the old. The
//   folder is flushed and the old content removed. A crash before the swap
//   leaves the old message (and litter in tmp/), after it the new message.
//   tmp/ is not flushed after the removal: a crash can only bring the old
//   content back there, as litter, which no flush of tmp/ is needed to keep
//   out of the folder.
//   The swap, unlike a plain rename over the old name, fails when another
//   program has just renamed the message (say, to change its flags), rather
//   than bringing back a second copy under the old name; the host then reads
//   the message again and retries. A file system without the exchange gets
//   the plain rename, after a check that the message is still there.
// - MoveMessage and MarkRead are one rename each (to the other folder, or to
//   cur/ with the "S" flag), without replacing any file there: before it the
//   old state, after it the new. The folders are flushed after.
// - AddMessage writes to tmp/, flushes, and renames into new/, as delivery
//   agents do.
// - The files written in tmp/ are named kOwnTempPrefix, then the writer's
//   process id, then a unique name, so that those a killed process left can
//   be told from a delivery agent's, which may be being written right now.
// - CreateSubFolder makes cur/ last: a folder cut short by a crash has no
//   cur/ and is not yet taken for a folder; making it again completes it.

namespace tarvex {
namespace maildir_host_internal {
namespace {

std::string ParentDirectory(const std::string& path) { return path.substr(0, path.rfind('/')); }

// A fresh name for a file of the host's own in the tmp/ folder given.
std::string OwnTempFile(const std::string& tmp) {
  return tmp + "/" + MaildirHost::kOwnTempPrefix + std::to_string(::getpid()) + "." +
         mail::NewUniqueName();
}

// Whether a name in tmp/ is a file of the host's own that no running process
// is writing: its writer's id names no process.
bool IsOwnLitter(const std::string& name) {
  const size_t prefix = std::strlen(MaildirHost::kOwnTempPrefix);
  if (name.compare(0, prefix, MaildirHost::kOwnTempPrefix) != 0) return false;
  const size_t dot = name.find('.', prefix);
  if (dot == std::string::npos || dot == prefix) return false;
  pid_t pid = 0;
  for (size_t i = prefix; i < dot; ++i) {
    if (name[i] < '0' || name[i] > '9' || pid > 10000000) return false;
    pid = pid * 10 + (name[i] - '0');
  }
  return ::kill(pid, 0) != 0 && errno == ESRCH;
}

}  // namespace

// Commit: see the top of the file.
void Store::Rewrite(FolderRecord& folder, int32_t id,
                    const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::pair<std::string, std::string>> written = changes;
  if (options.encode_header_values) {
    for (auto& change : written) change.second = mail::EncodeHeaderValue(change.second);
  }
  const std::string tmp = DirectoryOf(folder) + "/tmp";
  for (int attempt = 1;; ++attempt) {
    const bool last_attempt = attempt == 3;
    const std::string path = RequiredFile(folder, id);
    // Only the header block changes: the body is copied from the file to
    // the new one, never held in memory.
    std::string old;
    FileIdentity identity;
    if (const int error = maildir::ReadHead(path, &old, &identity)) {
      ThrowErrno(error, "cannot read " + path);
    }
    const std::string updated = mail::SetHeaderFields(old, written);
    if (updated == old) return;

    if (const int error = maildir::EnsureDirectory(tmp)) ThrowErrno(error, "cannot make " + tmp);
    const std::string temp = OwnTempFile(tmp);
    // Whatever the temporary file holds when this ends (the new content
    // unused, or the old content swapped out), it goes.
    struct Litter {
      const std::string& path;
      ~Litter() { maildir::RemoveFile(path); }
    } litter{temp};
    if (const int error = maildir::WriteNewFileFrom(temp, updated, path, old.size(), identity)) {
      if (error == ESTALE || error == ENOENT) {
        if (last_attempt) Throw(status::kFail, "Another program keeps changing " + path + ".");
        continue;  // changed or renamed by another program since it was read
      }
      ThrowErrno(error, "cannot write the new version of " + path + " in " + tmp);
    }
    Step(maildir_step::kCommitWritten);

    FileIdentity now;
    if (maildir::Identify(path, &now) != 0 || now != identity) {
      if (last_attempt) Throw(status::kFail, "Another program keeps changing " + path + ".");
      continue;  // changed or renamed by another program since it was read
    }
    int error = maildir::ExchangeFiles(temp, path);
    if (error == EINVAL) {
      error = maildir::RenameOver(temp, path);
    } else if (error == 0) {
      // Had another program rewritten the message in the meantime, its
      // version is swapped back and the change made again over it.
      FileIdentity displaced;
      if (maildir::Identify(temp, &displaced) == 0 && displaced != identity &&
          maildir::ExchangeFiles(temp, path) == 0) {
        if (last_attempt) Throw(status::kFail, "Another program keeps changing " + path + ".");
        continue;
      }
    }
    if (error == ENOENT && !last_attempt) continue;  // renamed away just now
    if (error) ThrowErrno(error, "cannot replace " + path);
    Step(maildir_step::kCommitReplaced);
    maildir::SyncDirectory(ParentDirectory(path));
    maildir::RemoveFile(temp);
    Step(maildir_step::kCommitCleaned);
    return;
  }
}

void Store::Move(int32_t source_id, int32_t target_id, int32_t id, int32_t* moved) {
  Refresh();
  FolderRecord& source = Present(source_id);
  FolderRecord& target = Present(target_id);
  const std::string from = Locate(source, id, true);
  if (from.empty()) {
    Throw(status::kInvalidArgument,
          "There is no message " + std::to_string(id) + " in " + Quoted(source.Name()) + ".");
  }
  *moved = 0;
  if (&source == &target) return;
  Materialize(target);
  // Whether the target holds the unique name already: from its records
  // when file events keep them, else from a look at the disk, after which
  // they are kept.
  if (watcher && !target.followed && !target.kept) {
    target.kept = true;
    try {
      SyncWatches(target);
    } catch (const OperationError&) {
      target.kept = false;  // no watch to be had: a look each time
    }
  }
  if (!target.followed) ListMessages(target);

  const std::string old_unique = source.uniques.at(id);
  MessageRecord& record = source.messages.at(old_unique);
  const std::string sub = record.file.substr(0, record.file.find('/'));
  const std::string name = record.file.substr(sub.size() + 1);
  std::string unique = old_unique;
  auto clash = target.messages.find(unique);
  if (clash != target.messages.end() && !clash->second.file.empty()) {
    unique = mail::NewUniqueName();
  }
  const std::string file = sub + "/" + unique + name.substr(old_unique.size());
  const std::string to = DirectoryOf(target) + "/" + file;
  Step(maildir_step::kMovePrepared);

  if (const int error = maildir::RenameNoReplace(from, to)) {
    ThrowErrno(error, "cannot move " + from + " to " + target.Name());
  }
  record.file.clear();
  MessageRecord& arrived = Record(target, unique);
  arrived.file = file;
  arrived.known = true;
  *moved = 1;
  Step(maildir_step::kMoveRenamed);
  maildir::SyncDirectory(ParentDirectory(to));
  maildir::SyncDirectory(ParentDirectory(from));
  Step(maildir_step::kMoveFlushed);
}

void Store::MarkRead(FolderRecord& folder, int32_t id) {
  const std::string from = RequiredFile(folder, id);
  MessageRecord& record = folder.messages.at(folder.uniques.at(id));
  const bool in_cur = record.file.compare(0, 4, "cur/") == 0;
  const mail::MessageFileName name = mail::ParseMessageFileName(record.file.substr(4));
  if (in_cur && mail::HasFlag(name.flags, 'S')) return;
  const std::string file = "cur/" + mail::CurFileName(name.unique, mail::AddFlag(name.flags, 'S'));
  const std::string to = DirectoryOf(folder) + "/" + file;
  Step(maildir_step::kMarkReadPrepared);

  if (const int error = maildir::RenameNoReplace(from, to)) {
    ThrowErrno(error, "cannot mark " + from + " read");
  }
  record.file = file;
  Step(maildir_step::kMarkReadRenamed);
  maildir::SyncDirectory(ParentDirectory(to));
  if (!in_cur) maildir::SyncDirectory(ParentDirectory(from));
  Step(maildir_step::kMarkReadFlushed);
}

int32_t Store::Add(FolderRecord& folder, const std::string& message) {
  Materialize(folder);
  const std::string unique = mail::NewUniqueName();
  const std::string temp = OwnTempFile(DirectoryOf(folder) + "/" + kTmp);
  const std::string file = "new/" + unique;
  if (int error = maildir::WriteNewFile(temp, message)) {
    ThrowErrno(error, "cannot write " + temp);
  }
  if (int error = maildir::RenameNoReplace(temp, DirectoryOf(folder) + "/" + file)) {
    maildir::RemoveFile(temp);
    ThrowErrno(error, "cannot put " + temp + " into " + folder.Name());
  }
  maildir::SyncDirectory(DirectoryOf(folder) + "/new");
  MessageRecord& record = Record(folder, unique);
  record.file = file;
  record.known = true;
  return record.id;
}

void Store::RemoveOwnLitter(const FolderRecord& folder) {
  std::vector<std::string> names;
  const std::string tmp = DirectoryOf(folder) + "/" + kTmp;
  if (maildir::ListDirectory(tmp, &names) != 0) return;
  for (const std::string& name : names) {
    if (IsOwnLitter(name)) maildir::RemoveFile(tmp + "/" + name);
  }
}

}  // namespace maildir_host_internal
}  // namespace tarvex
