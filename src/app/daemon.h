// The daemon's life: the application over a Maildir, run by a GLib main loop
// that delivers file changes, timer ticks, client commands and the signals
// that end it.
//
//   start     host watches the disk; InitInstance; "OnInitOEAPI"; mail that
//             arrived while nothing watched is announced
//   running   every delivered message is judged and logged; the word
//             database is saved every savePeriodMs when it changed
//   SIGINT,   "OnShutdownOEAPI"; ExitInstance; the forced save of the word
//   SIGTERM   database as the application goes
#ifndef TARVEX_APP_DAEMON_H_
#define TARVEX_APP_DAEMON_H_

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "app/maildir_session.h"
#include "platform/command_socket.h"
#include "platform/glib_event_loop.h"

namespace tarvex {

struct DaemonOptions {
  uint32_t savePeriodMs = 3 * 60 * 1000;
  // How often a store that is not told of every change (the folders of an
  // IMAP account other than INBOX) is looked at.
  uint32_t pollPeriodMs = 60 * 1000;
  // Where clients' requests come in once start-up is done, and what answers
  // them; none when null.
  CommandServer* commands = nullptr;
  CommandServer::RequestHandler onRequest;
};

// What the daemon's life needs of the store it runs on: the application and
// its interface, how the session starts and stops, how the store's watch
// joins the loop (the function returned takes it out), how what came while
// nothing watched is judged (the count; std::runtime_error is logged), the
// store's name in the log, and what follows each judged message.
struct DaemonStore {
  FilterApp& app;
  RoutedUi& ui;
  std::function<void()> start;
  std::function<void()> stop;
  std::function<std::function<void()>()> watch = {};
  std::function<size_t()> announceWaiting = {};
  std::string where = {};
  std::function<void()> judged = {};
};

// The daemon's life on any store, as below.
bool RunDaemon(const DaemonStore& store, GLibEventLoop& loop, const DaemonOptions& options,
               std::ostream& log);

// Runs until SIGINT or SIGTERM; the session must not be started yet. Logs
// one line per judged message to log. False when it could not start (the
// word database cannot be read), said in the log; the command line makes
// the exit status of it.
bool RunDaemon(MaildirSession& session, GLibEventLoop& loop, const DaemonOptions& options,
               std::ostream& log);

// The log line of a judged message: its folder and id, the verdict, the
// score and where it went.
std::string JudgedLine(const ClassifyResult& result, int32_t messageId,
                       const std::string& folderName);

}  // namespace tarvex

#endif  // TARVEX_APP_DAEMON_H_
