#include "desktop/desktop_session.h"

#include <glib.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QTableView>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>

#include "app/remote_operations.h"
#include "app/store_notices.h"
#include "platform/profile_lock.h"
#include "ui/about_dialog.h"
#include "ui/folder_dialogs.h"
#include "ui/list_dialogs.h"
#include "ui/plugin_toolbar.h"
#include "ui/settings_dialog.h"

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
  // Closing the last window asked Qt to quit a second time: a request still
  // queued would end the next modal loop at once.
  QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
  window.onClose = nullptr;
  return ran;
}

std::optional<int> RunClient(const std::vector<std::string>& sockets, QtUserInterface& ui,
                             const DesktopHooks& hooks) {
  std::string answered;  // the socket the daemon answered at
  const auto connect = [&sockets, &answered] {
    for (const std::string& socket : sockets) {
      std::string problem;
      if (UniqueFd daemon = ConnectToServer(socket, &problem); daemon.valid()) {
        answered = socket;
        return daemon;
      }
    }
    return UniqueFd();
  };
  UniqueFd subscription = Subscribe(connect);
  if (!subscription.valid()) return std::nullopt;
  std::cerr << "tarvex: the window is the client of the daemon at " << answered << std::endl;
  RemoteOperations operations(connect, ui);
  // The first subscription is the one just made; later ones are asked for.
  MainWindow window(
      operations,
      [&] { return subscription.valid() ? std::move(subscription) : Subscribe(connect); }, ui);
  ui.SetParentWindow(&window);
  if (hooks.made) hooks.made(window);
  window.show();
  QApplication::exec();
  ui.SetParentWindow(nullptr);
  return 0;
}

int RunDesktop(const ProfileOptions& options, const DesktopHooks& hooks) {
  Profile profile(options, [](const char* name) { return std::getenv(name); });
  QtUserInterface ui;
  const ProfilePaths& paths = profile.paths();
  if (Status status = profile.Check(); !status.ok()) {
    ui.MessageBox(status.message(), kCaption, mb::kOk | mb::kIconError);
    return 1;
  }
  pid_t holder = 0;
  std::optional<ProfileLock> free =
      ProfileLock::AcquireWithin(paths.lock, std::chrono::seconds(0), &holder);
  if (!free) {
    // A daemon answers at once; another holder (a command run without one)
    // is likely done within a second.
    if (std::optional<int> status = RunClient(paths.sockets, ui, hooks)) return *status;
  }
  std::optional<ProfileLock> lock =
      free ? std::move(free)
           : ProfileLock::AcquireWithin(paths.lock, std::chrono::seconds(1), &holder);
  if (!lock) {
    ui.MessageBox("The profile is in use by process " + std::to_string(holder) +
                      ", which does not answer as a Tarvex daemon. Stop it to open the mail "
                      "window here.",
                  kCaption, mb::kOk | mb::kIconExclamation);
    return 1;
  }
  // The window hosts the filter over a Maildir; an IMAP account is filtered
  // by the daemon, whose client the window then is.
  if (std::error_code ignored; std::filesystem::exists(paths.account, ignored)) {
    ui.MessageBox("The profile filters the IMAP account of " + paths.account +
                      ". Start the daemon (tarvex run) and open the mail window again: it "
                      "shows the account as the daemon's client.",
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
  if (hooks.made) hooks.made(window);
  SessionOwner owner(session, profile.fs(), profile.store());
  LocalOperations operations(owner);
  DaemonOptions daemon;
  daemon.commands = &*server;
  Subscribers subscribers;
  AnswerClients(&daemon, operations, session.ui(), subscribers);
  std::function<void()> started;
  if (hooks.started) started = [&] { hooks.started(window, session, ui); };
  if (RunWindow(session, window, loop, daemon, std::cerr, started)) return 0;
  ui.SetParentWindow(nullptr);
  ui.MessageBox(session.app().bayesFilter().loadStatus().message(), kCaption,
                mb::kOk | mb::kIconError);
  return 1;
}

bool ServeUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() >= timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void TakeScreenshots(MainWindow& window, MaildirSession& session, QtUserInterface& ui,
                     const std::string& folder) {
  QDir().mkpath(QString::fromStdString(folder));
  const auto save = [&folder](const QPixmap& picture, const char* name) {
    const std::string path = folder + "/" + name + ".png";
    if (!picture.save(QString::fromStdString(path))) std::cerr << path << ": cannot write\n";
  };
  ServeUntil([&] { return window.toolbar().ButtonCount() > 0; }, 3000);
  window.messageView().selectRow(0);
  ServeUntil([] { return false; }, 300);
  save(window.grab(), "main-window");

  // The file of each dialog, by its template's resource id.
  const std::vector<std::pair<int, const char*>> names = {
      {BlacklistDialog::kResourceId, "blacklist"},
      {WhitelistDialog::kResourceId, "whitelist"},
      {SettingsDialog::kResourceId, "settings"},
      {TrainingDialog::kResourceId, "training"},
      {FolderPickDialog::kResourceId, "select-folders"},
      {DestinationFolderDialog::kResourceId, "destination-folder"},
      {RawHeadersDialog::kResourceId, "raw-headers"},
      {AboutDialog::kResourceId, "about"}};
  ui.onMessageBoxShown = [](QMessageBox& box) { box.close(); };
  ui.onDialogShown = [&](QtDialogView& view) {
    // A list dialog shows its addresses.
    if (auto* type =
            qobject_cast<QComboBox*>(view.layout().controls.size() > 3 &&
                                             view.layout().controls[3].id == ListDialog::kTypeBox
                                         ? view.Widget(ListDialog::kTypeBox)
                                         : nullptr)) {
      type->setCurrentIndex(type->findText(ListDialog::kAddressType));
      emit type->activated(type->currentIndex());
    }
    for (const auto& [id, name] : names) {
      if (id == view.layout().resourceId) save(view.grab(), name);
    }
    view.close();
  };
  FilterApp& app = session.app();
  app.OpenBlacklistDialog();
  app.OpenWhitelistDialog();
  app.OpenSettingsDialog();
  app.OpenTrainingDialog();
  app.ShowMailHeaders();
  std::vector<std::string> folders;
  if (PluginController* controller = app.controller()) controller->ListFolderNames(&folders);
  FolderPickDialog pick;
  pick.allFolders = folders;
  ui.RunModal(pick);
  DestinationFolderDialog destination(folders, app.settings());
  ui.RunModal(destination);
  AboutDialog about;
  ui.RunModal(about);

  // The menu, drawn over the window where it opens.
  ui.onMenuShown = [&](QMenu& menu) {
    QPixmap shot = window.grab();
    QPainter painter(&shot);
    painter.drawPixmap(window.mapFromGlobal(menu.pos()), menu.grab());
    painter.end();
    save(shot, "menu");
    menu.close();
  };
  if (PluginController* controller = app.controller()) {
    controller->OnToolbarDropDown(command::kSettingsMenu);
  }
  ui.onDialogShown = nullptr;
  ui.onMessageBoxShown = nullptr;
  ui.onMenuShown = nullptr;
  window.close();
}

}  // namespace tarvex::desktop
