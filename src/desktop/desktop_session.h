// The desktop program's life. With a daemon on the profile, the window is
// its client: it shows the daemon's store and runs the toolbar's commands
// against the daemon's operations, over the profile's socket, and hears of
// the mail the daemon judges on a subscription there; closing the window
// leaves the daemon running. Without one, the window
// hosts the plug-in itself, as "tarvex run" does: it holds the profile's
// lock, listens on the profile's socket (so the command line keeps working,
// through it), watches the Maildir and judges what arrives, all on GLib's
// default main loop, which Qt runs on Linux. Closing the window stops the
// filtering, as closing the mail client did.
#ifndef TARVEX_DESKTOP_DESKTOP_SESSION_H_
#define TARVEX_DESKTOP_DESKTOP_SESSION_H_

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/daemon.h"
#include "app/profile.h"
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

// What a run may add to the window: made is called before it shows,
// started once the plug-in is up, in the window's loop.
struct DesktopHooks {
  std::function<void(MainWindow&)> made;
  std::function<void(MainWindow&, MaildirSession&, QtUserInterface&)> started;
};

// The window of the client of the daemon that answers at one of sockets,
// until the window closes; the exit status. Nothing when no daemon answers.
std::optional<int> RunClient(const std::vector<std::string>& sockets, QtUserInterface& ui,
                             const DesktopHooks& hooks = {});

// The program: the window over the profile; the exit status.
int RunDesktop(const ProfileOptions& options, const DesktopHooks& hooks = {});

// Waits, serving events, until done says so or timeoutMs have passed; what
// done said last.
bool ServeUntil(const std::function<bool()>& done, int timeoutMs);

// Takes pictures of the window (with the plug-in's menu open, too) and of
// every dialog as PNG files in folder, then closes the window. Dialogs show
// what the profile holds; nothing is changed.
void TakeScreenshots(MainWindow& window, MaildirSession& session, QtUserInterface& ui,
                     const std::string& folder);

}  // namespace tarvex::desktop

#endif  // TARVEX_DESKTOP_DESKTOP_SESSION_H_
