#include "app/maildir_session.h"

#include <iterator>

#include "classify/verdict_headers.h"

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

}  // namespace tarvex
