#include "app/imap_session.h"

#include <algorithm>
#include <functional>
#include <ostream>
#include <stdexcept>

#include "classify/verdict_headers.h"

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
  // A server away now may be back at the next look: the daemon says so
  // (once, through the store's notices) and goes on.
  auto look = [&log](const std::function<void()>& scan) {
    try {
      scan();
    } catch (const std::runtime_error& error) {
      log << "tarvex: " << error.what() << std::endl;
    }
  };
  DaemonStore store{session.app(), session.ui(), [&] { session.Start(); }, [&] { session.Stop(); }};
  store.watch = [&]() -> std::function<void()> {
    const unsigned idle =
        loop.WatchReadable(host.StartWatching(), [&] { look([&] { host.ProcessEvents(); }); });
    const unsigned poll =
        loop.Every(options.pollPeriodMs, [&] { look([&] { host.ScanForNewMessages(); }); });
    return [&loop, idle, poll] {
      loop.RemoveSource(idle);
      loop.RemoveSource(poll);
    };
  };
  store.announceWaiting = [&] { return host.AnnounceUnjudgedMail().size(); };
  const imap::Account& account = host.account();
  store.where = account.user + "@" + account.host + ":" + std::to_string(account.port);
  return RunDaemon(store, loop, options, log);
}

}  // namespace tarvex
