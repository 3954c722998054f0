// The application at work on an IMAP account: the account as the mail
// client host, the filter application bound to it, and the daemon's loop
// over it. The counterpart of MaildirSession for mail kept on a server.
#ifndef TARVEX_APP_IMAP_SESSION_H_
#define TARVEX_APP_IMAP_SESSION_H_

#include <iosfwd>
#include <string>

#include "app/daemon.h"
#include "app/filter_app.h"
#include "app/maildir_session.h"
#include "host/imap/imap_host.h"
#include "ui/routed_ui.h"

namespace tarvex {

class ImapSession {
 public:
  // Connects to the account (std::runtime_error when it cannot). The store
  // takes the verdict headers for the marks of judged mail, remembers what
  // it announced in the file announcedState, and tells of lost and found
  // connections in log.
  ImapSession(const SessionServices& services, const imap::Account& account,
              const std::string& announcedState, std::ostream& log);
  ~ImapSession();
  ImapSession(const ImapSession&) = delete;
  ImapSession& operator=(const ImapSession&) = delete;

  void Start();
  void Stop();

  ImapHost& host() { return host_; }
  FilterApp& app() { return app_; }
  RoutedUi& ui() { return ui_; }

 private:
  ImapHost host_;
  RoutedUi ui_;
  FilterApp app_;
  bool started_ = false;
};

// Runs the daemon on the account until SIGINT or SIGTERM, as RunDaemon does
// on a Maildir: INBOX is watched through IDLE, the other watched folders are
// looked at every poll period. False when it could not start.
bool RunImapDaemon(ImapSession& session, GLibEventLoop& loop, const DaemonOptions& options,
                   std::ostream& log);

// Where the store remembers what it announced of the account, in
// stateFolder.
std::string ImapStateFile(const std::string& stateFolder, const imap::Account& account);

}  // namespace tarvex

#endif  // TARVEX_APP_IMAP_SESSION_H_
