// The application at work on a Maildir: the Maildir store as the mail
// client host, watched through inotify.
#ifndef TARVEX_APP_MAILDIR_SESSION_H_
#define TARVEX_APP_MAILDIR_SESSION_H_

#include <cstdint>
#include <optional>
#include <string>

#include "app/filter_app.h"
#include "app/local_operations.h"
#include "app/store_session.h"
#include "host/maildir/maildir_host.h"
#include "ui/routed_ui.h"

namespace tarvex {

class MaildirSession : public HostSession<MaildirHost> {
 public:
  // The store at maildir, which must exist (std::invalid_argument). The
  // store takes the verdict headers for the marks of judged mail, and
  // remembers what it announced in the file announcedState (none: only for
  // the session's life).
  MaildirSession(const SessionServices& services, const std::string& maildir,
                 const std::string& announcedState = "");

  std::string StoreName() const override { return host_.root(); }

  // A flood is announced a slice at a time, with the loop's other work (a
  // client's command, the save) served between slices.
  void Watch(GLibEventLoop& loop, std::function<void(const std::string&)> notice) override;
  void Unwatch(GLibEventLoop& loop) override;

  std::optional<MessageRef> FindMessage(const std::string& name) override;
  std::vector<std::string> FilesOfMessage(std::string_view text) override {
    return host_.FilesOfMessage(text);
  }
  std::string WhereIs(const std::string& name) override;
  size_t FolderDepth(int32_t folderId) override;
  std::vector<ListedRef> FolderMessages(int32_t folder) override;
  std::vector<MessageSummary> MessageSummaries(int32_t folder,
                                               const std::vector<int32_t>& ids) override;
  std::string MessagePreview(int32_t folder, int32_t message) override;

 private:
  std::function<void(const std::string&)> notice_;
  unsigned changes_ = 0, draining_ = 0;
};

// The owner of the operations that a running session is: every part is the
// session's.
class SessionOwner : public OperationsOwner {
 public:
  SessionOwner(StoreSession& session, FileSystem& fs, SettingsStore& settings)
      : session_(session), fs_(fs), settings_(settings) {}
  BayesFilter& Filter() override { return session_.app().bayesFilter(); }
  const SenderLists& Lists() override { return session_.app().lists(); }
  SenderLists* HeldLists() override { return &session_.app().lists(); }
  FileSystem& Files() override { return fs_; }
  SettingsStore& Settings() override { return settings_; }
  UserInterface& Ui() override { return session_.ui(); }
  FilterApp& App() override { return session_.app(); }
  StoreSession& Session() override { return session_; }
  std::string StoreName() override { return session_.StoreName(); }
  std::string ShownFolderName(const std::string& name) override {
    return session_.ShownFolderName(name);
  }

 private:
  StoreSession& session_;
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
