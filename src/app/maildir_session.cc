#include "app/maildir_session.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "app/message_view.h"
#include "classify/verdict_headers.h"
#include "host/maildir/announced_state.h"
#include "host/maildir/maildir_files.h"
#include "mail/maildir_names.h"
#include "settings/filter_settings.h"

namespace tarvex {
namespace {

MaildirHost::Options StoreOptions(const std::string& announcedState) {
  MaildirHost::Options options;
  // A message with a verdict is never judged again by the classifier (the
  // user's) or need not be (the filter's, given at delivery).
  options.judged_marks = JudgedMarks();
  options.announced_state = announcedState;
  return options;
}

}  // namespace

MaildirSession::MaildirSession(const SessionServices& services, const std::string& maildir,
                               const std::string& announcedState)
    : HostSession(services, maildir, StoreOptions(announcedState)) {
  SettingsStore& settings = services.settings;
  host_.SetSizeLimit([&settings] { return FilterSettings(settings).GetMaxMessageSize(); });
}

void MaildirSession::Watch(GLibEventLoop& loop, std::function<void(const std::string&)> notice) {
  notice_ = std::move(notice);
  // Files in the folders that are not judged (not messages, too big) are
  // named; a disk that cannot be read now may be readable at the next
  // change: the session says so and goes on.
  host_.SetNotices(notice_);
  changes_ = loop.WatchReadable(host_.StartWatching(), [this, &loop] {
    try {
      host_.ProcessFileEvents();
    } catch (const std::runtime_error& error) {
      notice_(error.what());
    }
    if (!host_.AnnouncementsWaiting() || draining_ != 0) return;
    draining_ = loop.Every(1, [this, &loop] {
      try {
        host_.AnnounceWaiting();
      } catch (const std::runtime_error& error) {
        notice_(error.what());
      }
      if (!host_.AnnouncementsWaiting() && draining_ != 0) {
        loop.RemoveSource(draining_);
        draining_ = 0;
      }
    });
  });
}

void MaildirSession::Unwatch(GLibEventLoop& loop) {
  loop.RemoveSource(changes_);
  loop.RemoveSource(draining_);
  changes_ = draining_ = 0;
  host_.SetNotices(nullptr);
}

std::optional<MessageRef> MaildirSession::FindMessage(const std::string& name) {
  const std::optional<MaildirHost::NewMessage> at = host_.FindMessage(name);
  if (!at) return std::nullopt;
  MessageRef ref;
  ref.folder = at->folder;
  ref.message = at->message;
  ref.name = at->file;
  return ref;
}

std::string MaildirSession::WhereIs(const std::string& name) {
  const std::string file = name.substr(name.rfind('/') + 1);
  const std::optional<MaildirHost::NewMessage> at =
      host_.FindMessage(mail::ParseMessageFileName(file).unique);
  return at ? at->file : std::string();
}

// The depth shows in the directory's name: ".A.B" is B under A, and every
// folder of the Maildir is under "Local Folders".
size_t MaildirSession::FolderDepth(int32_t folderId) {
  if (folderId == MaildirHost::kLocalFoldersId) return 0;
  const std::string dir = host_.FolderDirectory(folderId);
  const std::string name =
      dir == host_.root() ? "" : std::filesystem::path(dir).filename().string();
  return name.empty() ? 1 : static_cast<size_t>(std::count(name.begin(), name.end(), '.'));
}

std::vector<ListedRef> MaildirSession::FolderMessages(int32_t folder) {
  std::vector<ListedRef> messages;
  for (const MaildirHost::ListedMessage& message : host_.ListMessages(folder)) {
    messages.push_back({message.id, IsUnread(message.file)});
  }
  return messages;
}

std::vector<MessageSummary> MaildirSession::MessageSummaries(int32_t folder,
                                                             const std::vector<int32_t>& ids) {
  std::vector<MessageSummary> summaries;
  for (int32_t id : ids) {
    const std::string file = host_.MessageFile(folder, id);
    summaries.push_back(file.empty() ? MessageSummary{} : ReadSummary(file));
    summaries.back().message = id;
  }
  return summaries;
}

std::string MaildirSession::MessagePreview(int32_t folder, int32_t message) {
  const std::string file = host_.MessageFile(folder, message);
  return file.empty() ? std::string() : PreviewOf(ReadFileStart(file, kMaxPreviewRead, false));
}

bool MaildirExists(const std::string& path) { return maildir::IsDirectory(path); }

bool CreateMaildir(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  return maildir::MakeMaildir(path, false) == 0 &&
         maildir::MakeMaildir(path + "/." + mail::EncodeFolderName(kSpamFolderName), true) == 0;
}

std::string AnnouncedStateFile(const std::string& stateFolder, const std::string& path) {
  return maildir::AnnouncedStateFile(stateFolder, path);
}

}  // namespace tarvex
