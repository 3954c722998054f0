#include "app/imap_session.h"

#include <algorithm>
#include <csignal>
#include <ostream>
#include <stdexcept>

#include "classify/verdict_headers.h"
#include "ui/save_failure.h"

namespace tarvex {
namespace {

ImapHost::Options StoreOptions(const std::string& announcedState, std::ostream& log) {
  ImapHost::Options options;
  options.judged_marks = JudgedMarks();
  options.announced_state = announcedState;
  options.notice = [&log](const std::string& line) { log << "tarvex: " << line << std::endl; };
  return options;
}

}  // namespace

ImapSession::ImapSession(const SessionServices& services, const imap::Account& account,
                         const std::string& announcedState, std::ostream& log)
    : host_(account, StoreOptions(announcedState, log)),
      ui_(services.idleUi),
      app_({services.clock, services.fs, services.settings, ui_, host_, services.loop}) {}

ImapSession::~ImapSession() { Stop(); }

void ImapSession::Start() {
  if (started_) return;
  started_ = true;
  app_.InitInstance();
  host_.RaiseInit();
}

void ImapSession::Stop() {
  if (!started_) return;
  started_ = false;
  host_.RaiseShutdown();
  app_.ExitInstance();
}

std::string ImapStateFile(const std::string& stateFolder, const imap::Account& account) {
  std::string name =
      "imap-" + account.user + "@" + account.host + "-" + std::to_string(account.port);
  std::replace(name.begin(), name.end(), '/', '_');
  return stateFolder + "/" + name;
}

bool RunImapDaemon(ImapSession& session, GLibEventLoop& loop, const DaemonOptions& options,
                   std::ostream& log) {
  ImapHost& host = session.host();
  FilterApp& app = session.app();
  app.SetClassifiedObserver(
      [&log](const ClassifyResult& result, int32_t messageId, FolderWatcher& watcher) {
        log << JudgedLine(result, messageId, watcher.folder().GetName()) << std::endl;
      });
  // A server away now may be back at the next look: the daemon says so
  // (once, through the store's notices) and goes on.
  auto look = [&](auto scan) {
    try {
      scan();
    } catch (const std::runtime_error& error) {
      log << "tarvex: " << error.what() << std::endl;
    }
  };
  const unsigned idle =
      loop.WatchReadable(host.StartWatching(), [&] { look([&] { host.ProcessEvents(); }); });
  const unsigned poll = loop.Every(static_cast<uint32_t>(options.pollPeriodMs),
                                   [&] { look([&] { host.ScanForNewMessages(); }); });
  session.Start();
  if (const Status& load = app.bayesFilter().loadStatus(); !load.ok()) {
    log << "tarvex: " << load.message() << std::endl;
    loop.RemoveSource(idle);
    loop.RemoveSource(poll);
    session.Stop();
    app.SetClassifiedObserver(nullptr);
    return false;
  }
  for (const Status& problem : app.CheckLists()) {
    log << "tarvex: warning: " << problem.message() << std::endl;
  }
  size_t waiting = 0;
  look([&] { waiting = host.AnnounceUnjudgedMail().size(); });
  loop.Every(options.savePeriodMs, [&app, &session, &log] {
    BayesFilter& filter = app.bayesFilter();
    const Status saved =
        ReportSaveFailure(session.ui(), filter.SaveDatabase(), filter.databasePath());
    if (!saved.ok()) log << "tarvex: " << saved.message() << std::endl;
  });
  if (options.commands) options.commands->Serve(loop, options.onRequest);
  for (int signal : {SIGINT, SIGTERM}) loop.OnSignal(signal, [&loop] { loop.Quit(); });
  const imap::Account& account = host.account();
  log << "tarvex: watching " << account.user << "@" << account.host << ":" << account.port << " ("
      << waiting << " waiting messages judged); stop with SIGINT or SIGTERM" << std::endl;
  loop.Run();
  loop.RemoveSource(idle);
  loop.RemoveSource(poll);
  log << "tarvex: stopping" << std::endl;
  session.Stop();
  app.SetClassifiedObserver(nullptr);
  return true;
}

}  // namespace tarvex
