#include "app/maildir_session.h"

#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <system_error>

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
    : host_(maildir, StoreOptions(announcedState)),
      ui_(services.idleUi),
      app_({services.clock, services.fs, services.settings, ui_, host_, services.loop}) {
  SettingsStore& settings = services.settings;
  host_.SetSizeLimit([&settings] { return FilterSettings(settings).GetMaxMessageSize(); });
}

MaildirSession::~MaildirSession() { Stop(); }

void MaildirSession::Start() {
  if (started_) return;
  started_ = true;
  app_.InitInstance();
  host_.RaiseInit();
}

void MaildirSession::Stop() {
  if (!started_) return;
  started_ = false;
  host_.RaiseShutdown();
  app_.ExitInstance();
}

void MaildirSession::Select(int32_t folderId, const std::vector<int32_t>& messageIds) {
  host_.SetCurrentFolder(folderId);
  host_.SetSelection(messageIds);
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
