#include "host/maildir/new_mail_detector.h"

#include <sys/inotify.h>

namespace tarvex::maildir_host_internal {

using Kind = FileEvent::Kind;

std::optional<Kind> FileEventKind(uint32_t mask, bool in_tmp) {
  if (in_tmp) return mask & IN_MOVED_FROM ? std::optional<Kind>(Kind::kLeftTmp) : std::nullopt;
  if (mask & IN_Q_OVERFLOW) return Kind::kOverflow;
  if (mask & IN_MOVED_FROM) return Kind::kRenamedOut;
  if (mask & IN_DELETE) return Kind::kDeleted;
  if (mask & IN_MOVED_TO) return Kind::kRenamedIn;
  if (mask & IN_CREATE) return Kind::kCreated;
  if (mask & IN_CLOSE_WRITE) return Kind::kWritten;
  return std::nullopt;
}

NewMail NewMailDetector::Judge(const FileEvent& event) {
  const std::pair<int32_t, std::string> key{event.folder, event.unique};
  switch (event.kind) {
    case Kind::kOverflow:
      return NewMail::kRescan;
    case Kind::kLeftTmp:
      renames_[event.cookie] = {event.folder, false, true};
      return NewMail::kNothing;
    case Kind::kRenamedOut:
    case Kind::kDeleted: {
      const bool was_pending = pending_.erase(key) != 0;
      if (event.kind == Kind::kRenamedOut)
        renames_[event.cookie] = {event.folder, was_pending, false};
      return NewMail::kNothing;
    }
    default:
      break;
  }
  if (event.known) return NewMail::kNothing;

  NewMail verdict = NewMail::kNothing;
  if (event.kind == Kind::kRenamedIn) {
    const RenameOut* from = nullptr;
    for (const auto* renames : {&renames_, &earlier_renames_}) {
      auto it = renames->find(event.cookie);
      if (it != renames->end()) {
        from = &it->second;
        break;
      }
    }
    if (from && (from->from_tmp || from->pending)) {
      verdict = NewMail::kDelivered;
    } else if (!from || from->folder != event.folder) {
      verdict = NewMail::kMovedIn;
    }
  } else if (event.kind == Kind::kCreated) {
    if (!event.written_later && event.has_content) {
      verdict = NewMail::kDelivered;
    } else {
      pending_.insert(key);
    }
  } else if (event.kind == Kind::kWritten && pending_.count(key)) {
    verdict = NewMail::kDelivered;
  }
  if (verdict != NewMail::kNothing) pending_.erase(key);
  return verdict;
}

void NewMailDetector::StartBatch() {
  earlier_renames_ = std::move(renames_);
  renames_.clear();
}

void NewMailDetector::Forget() {
  renames_.clear();
  earlier_renames_.clear();
  pending_.clear();
}

}  // namespace tarvex::maildir_host_internal
