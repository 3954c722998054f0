#include "app/maildir_session.h"

namespace tarvex {

MaildirSession::MaildirSession(const SessionServices& services, const std::string& maildir)
    : host_(maildir),
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
