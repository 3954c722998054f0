// The application at work on an IMAP account: the account as the mail
// client host, watched through IDLE on INBOX and a periodic look at the other
// watched folders. The counterpart of MaildirSession for mail kept on a
// server. Messages are named "Folder:UID", the folder as the plug-in shows
// it ("Inbox:1234").
#ifndef TARVEX_APP_IMAP_SESSION_H_
#define TARVEX_APP_IMAP_SESSION_H_

#include <iosfwd>
#include <string>

#include "app/filter_app.h"
#include "app/maildir_session.h"
#include "app/store_session.h"
#include "host/imap/imap_host.h"
#include "ui/routed_ui.h"

namespace tarvex {

class ImapSession : public HostSession<ImapHost> {
 public:
  // Connects to the account (std::runtime_error when it cannot). The store
  // takes the verdict headers for the marks of judged mail, remembers what
  // it announced in the file announcedState, and tells of lost and found
  // connections in log.
  ImapSession(const SessionServices& services, const imap::Account& account,
              const std::string& announcedState, std::ostream& log);

  std::string StoreName() const override;

  // A server away now may be back at the next look: the session says so
  // (once, through the store's notices) and goes on.
  void Watch(GLibEventLoop& loop, std::function<void(const std::string&)> notice) override;
  void Unwatch(GLibEventLoop& loop) override;
  // How often the watched folders other than INBOX are looked at.
  void SetPollPeriod(uint32_t ms) { pollPeriodMs_ = ms; }

  std::optional<MessageRef> FindMessage(const std::string& name) override;
  std::vector<std::string> FilesOfMessage(std::string_view text) override;
  // A message moved gets a new UID, which the store does not tell.
  std::string WhereIs(const std::string&) override { return {}; }
  // The server's INBOX, in any letter case, is the plug-in's "Inbox".
  std::string ShownFolderName(const std::string& name) override;

  size_t FolderDepth(int32_t folderId) override { return host_.Depth(folderId); }
  std::vector<ListedRef> FolderMessages(int32_t folder) override;
  std::vector<MessageSummary> MessageSummaries(int32_t folder,
                                               const std::vector<int32_t>& ids) override;
  std::string MessagePreview(int32_t folder, int32_t message) override;

 private:
  uint32_t pollPeriodMs_ = 60 * 1000;
  std::function<void(const std::string&)> notice_;
  unsigned idle_ = 0, poll_ = 0;
};

// Where the store remembers what it announced of the account, in
// stateFolder.
std::string ImapStateFile(const std::string& stateFolder, const imap::Account& account);

}  // namespace tarvex

#endif  // TARVEX_APP_IMAP_SESSION_H_
