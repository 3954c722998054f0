// The daemon's life: the application over a mail store, run by a GLib main
// loop that delivers the store's changes, timer ticks, client commands and
// the signals that end it.
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

#include "app/store_session.h"
#include "platform/command_socket.h"
#include "platform/glib_event_loop.h"

namespace tarvex {

struct DaemonOptions {
  uint32_t savePeriodMs = 3 * 60 * 1000;
  // Where clients' requests come in once start-up is done, and what answers
  // them; none when null.
  CommandServer* commands = nullptr;
  CommandServer::RequestHandler onRequest;
  // Told of each message judged, after the log, with the folder it came in.
  std::function<void(const ClassifyResult&, int32_t folder, int32_t message)> onJudged;
};

// Runs until SIGINT or SIGTERM; the session must not be started yet. Logs
// one line per judged message to log. False when it could not start (the
// word database cannot be read), said in the log; the command line makes
// the exit status of it.
bool RunDaemon(StoreSession& session, GLibEventLoop& loop, const DaemonOptions& options,
               std::ostream& log);

// The log line of a judged message: its folder and id, the verdict, the
// score and where it went.
std::string JudgedLine(const ClassifyResult& result, int32_t messageId,
                       const std::string& folderName);

}  // namespace tarvex

#endif  // TARVEX_APP_DAEMON_H_
