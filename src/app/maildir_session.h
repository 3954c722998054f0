// The application at work on a Maildir: the store as the mail client host,
// the filter application bound to it, and a user interface that each command
// can take over for its length. The daemon keeps one for its whole run; a
// command run without a daemon makes one for itself.
#ifndef TARVEX_APP_MAILDIR_SESSION_H_
#define TARVEX_APP_MAILDIR_SESSION_H_

#include <cstdint>
#include <optional>
#include <string>

#include "app/filter_app.h"
#include "app/local_operations.h"
#include "host/maildir/maildir_host.h"
#include "ui/routed_ui.h"

namespace tarvex {

struct SessionServices {
  const Clock& clock;
  FileSystem& fs;
  SettingsStore& settings;
  // What the user sees when no command has taken the interface over.
  UserInterface& idleUi;
  EventLoop& loop;
};

class MaildirSession {
 public:
  // The store at maildir, which must exist (std::invalid_argument). The
  // store takes the verdict headers for the marks of judged mail, and
  // remembers what it announced in the file announcedState (none: only for
  // the session's life).
  MaildirSession(const SessionServices& services, const std::string& maildir,
                 const std::string& announcedState = "");
  // Stops, then lets the application go, which saves the word database.
  ~MaildirSession();
  MaildirSession(const MaildirSession&) = delete;
  MaildirSession& operator=(const MaildirSession&) = delete;

  // Loads the module (InitInstance) and has the host announce that it is up
  // ("OnInitOEAPI"), so the plug-in connects and watches its folders.
  void Start();
  // "OnShutdownOEAPI", then ExitInstance. Safe to call twice.
  void Stop();

  MaildirHost& host() { return host_; }
  FilterApp& app() { return app_; }
  RoutedUi& ui() { return ui_; }

  // Makes folderId the current folder and messageIds its selection, as the
  // user would before choosing a command.
  void Select(int32_t folderId, const std::vector<int32_t>& messageIds);

 private:
  MaildirHost host_;
  RoutedUi ui_;
  FilterApp app_;
  bool started_ = false;
};

// The owner of the operations that a running session is: every part is the
// session's.
class SessionOwner : public OperationsOwner {
 public:
  SessionOwner(MaildirSession& session, FileSystem& fs, SettingsStore& settings)
      : session_(session), fs_(fs), settings_(settings) {}
  BayesFilter& Filter() override { return session_.app().bayesFilter(); }
  const SenderLists& Lists() override { return session_.app().lists(); }
  SenderLists* HeldLists() override { return &session_.app().lists(); }
  FileSystem& Files() override { return fs_; }
  SettingsStore& Settings() override { return settings_; }
  UserInterface& Ui() override { return session_.ui(); }
  FilterApp& App() override { return session_.app(); }
  MaildirSession& Session() override { return session_; }
  std::string StoreName() override { return session_.host().root(); }

 private:
  MaildirSession& session_;
  FileSystem& fs_;
  SettingsStore& settings_;
};

// Whether a Maildir is at path.
bool MaildirExists(const std::string& path);
// Makes a Maildir at path, its parent folders as needed, and its spam folder,
// so that delivery agents that make no folders can file spam there; false
// when it cannot.
bool CreateMaildir(const std::string& path);
// The file in stateFolder where the store remembers what it announced of the
// Maildir at path, between runs.
std::string AnnouncedStateFile(const std::string& stateFolder, const std::string& path);

}  // namespace tarvex

#endif  // TARVEX_APP_MAILDIR_SESSION_H_
