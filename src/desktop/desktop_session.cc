#include "desktop/desktop_session.h"

#include <glib.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "cli/client.h"
#include "platform/profile_lock.h"

namespace tarvex::desktop {
namespace {

constexpr char kCaption[] = "Tarvex";

}  // namespace

bool RunWindow(MaildirSession& session, MainWindow& window, GLibEventLoop& loop,
               const DaemonOptions& options, std::ostream& log,
               const std::function<void()>& started) {
  window.onClose = [&loop] { loop.Quit(); };
  window.show();
  bool ran = false;
  // The daemon's loop runs nested in Qt's: both iterate GLib's default
  // context, so each serves the other's sources.
  QTimer::singleShot(0, &window, [&] {
    if (started) QTimer::singleShot(0, &window, started);
    ran = RunDaemon(session, loop, options, log);
    QApplication::quit();
  });
  QApplication::exec();
  window.onClose = nullptr;
  return ran;
}

int RunDesktop(const ProfileOptions& options) {
  Profile profile(options, [](const char* name) { return std::getenv(name); });
  QtUserInterface ui;
  const ProfilePaths& paths = profile.paths();
  if (Status status = profile.Check(); !status.ok()) {
    ui.MessageBox(status.message(), kCaption, mb::kOk | mb::kIconError);
    return 1;
  }
  pid_t holder = 0;
  std::optional<ProfileLock> lock =
      ProfileLock::AcquireWithin(paths.lock, std::chrono::seconds(1), &holder);
  if (!lock) {
    ui.MessageBox("The profile is in use by process " + std::to_string(holder) +
                      " (a Tarvex daemon?). Stop it to open the mail window here.",
                  kCaption, mb::kOk | mb::kIconExclamation);
    return 1;
  }
  if (!MaildirExists(paths.maildir) && !CreateMaildir(paths.maildir)) {
    ui.MessageBox(paths.maildir + ": cannot create the Maildir", kCaption,
                  mb::kOk | mb::kIconError);
    return 1;
  }
  GLibEventLoop loop(g_main_context_default());
  std::optional<CommandServer> server;
  try {
    server.emplace(paths.socket);
  } catch (const std::runtime_error& error) {
    ui.MessageBox(error.what(), kCaption, mb::kOk | mb::kIconError);
    return 1;
  }
  MaildirSession session(SessionServices{profile.clock(), profile.fs(), profile.store(), ui, loop},
                         paths.maildir, paths.announced);
  MainWindow window(session, ui);
  ui.SetParentWindow(&window);
  DaemonOptions daemon;
  daemon.commands = &*server;
  daemon.onRequest = [&](UniqueFd client, Frame request) {
    ServeClient(std::move(client), request, profile, session);
  };
  if (RunWindow(session, window, loop, daemon, std::cerr)) return 0;
  ui.SetParentWindow(nullptr);
  ui.MessageBox(session.app().bayesFilter().loadStatus().message(), kCaption,
                mb::kOk | mb::kIconError);
  return 1;
}

}  // namespace tarvex::desktop
