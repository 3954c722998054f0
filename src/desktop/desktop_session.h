// The desktop program's life. Without a daemon on the profile, the window
// hosts the plug-in itself, as "tarvex run" does: it holds the profile's
// lock, listens on the profile's socket (so the command line keeps working,
// through it), watches the Maildir and judges what arrives, all on GLib's
// default main loop, which Qt runs on Linux. Closing the window stops the
// filtering, as closing the mail client did.
#ifndef TARVEX_DESKTOP_DESKTOP_SESSION_H_
#define TARVEX_DESKTOP_DESKTOP_SESSION_H_

#include <functional>
#include <iosfwd>

#include "app/daemon.h"
#include "cli/profile.h"
#include "desktop/main_window.h"
#include "desktop/qt_ui.h"

namespace tarvex::desktop {

// Runs the daemon's start-up, its loop and its shutdown over session with
// window shown, inside the Qt application's event loop; returns when the
// window closes (or SIGINT or SIGTERM arrive), with RunDaemon's answer.
// started, when given, is called once the plug-in is up.
bool RunWindow(MaildirSession& session, MainWindow& window, GLibEventLoop& loop,
               const DaemonOptions& options, std::ostream& log,
               const std::function<void()>& started = nullptr);

// The program: the window over the profile; the exit status.
int RunDesktop(const ProfileOptions& options);

}  // namespace tarvex::desktop

#endif  // TARVEX_DESKTOP_DESKTOP_SESSION_H_
