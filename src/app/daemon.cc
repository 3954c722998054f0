#include "app/daemon.h"

#include <csignal>
#include <functional>
#include <ostream>
#include <stdexcept>

#include "classify/verdict_headers.h"
#include "platform/codepage.h"
#include "platform/memory.h"
#include "ui/save_failure.h"

namespace tarvex {
namespace {

// Free heap the daemon keeps after a message rather than give it back: what
// judging an ordinary message uses, so that only a large one costs a trim.
// Blocks from the size of a large message up are mapped apart from the heap.
constexpr size_t kFreeMemoryKept = size_t{16} << 20;
constexpr size_t kMappedBlocks = size_t{32} << 20;

std::string HeaderOf(const ClassifyResult& result, const char* name) {
  for (const HeaderValue& h : result.headers) {
    if (h.name == name) return h.LineValue();
  }
  return {};
}

}  // namespace

std::string JudgedLine(const ClassifyResult& result, int32_t messageId,
                       const std::string& folderName) {
  std::string line = cp1252::ToUtf8(folderName) + " #" + std::to_string(messageId) + ": " +
                     OutcomeName(result.outcome);
  const std::string score = HeaderOf(result, header::kScore);
  if (!score.empty()) line += ", " + cp1252::ToUtf8(score);
  if (result.moved) line += std::string(", moved to ") + kSpamFolderName;
  if (result.learnt) line += ", learnt";
  if (result.beeped) line += ", beep";
  if (result.failed) line += ", stopped by a host failure";
  return line;
}

bool RunDaemon(const DaemonStore& store, GLibEventLoop& loop, const DaemonOptions& options,
               std::ostream& log) {
  FilterApp& app = store.app;
  app.SetClassifiedObserver(
      [&log, &store](const ClassifyResult& result, int32_t messageId, FolderWatcher& watcher) {
        log << JudgedLine(result, messageId, watcher.folder().GetName()) << std::endl;
        if (store.judged) store.judged();
      });
  const std::function<void()> unwatch = store.watch();
  store.start();
  if (const Status& load = app.bayesFilter().loadStatus(); !load.ok()) {
    log << "tarvex: " << load.message() << std::endl;
    unwatch();
    store.stop();
    app.SetClassifiedObserver(nullptr);
    return false;
  }
  for (const Status& problem : app.CheckLists()) {
    log << "tarvex: warning: " << problem.message() << std::endl;
  }
  size_t waiting = 0;
  try {
    waiting = store.announceWaiting();
  } catch (const std::runtime_error& error) {
    log << "tarvex: " << error.what() << std::endl;
  }
  // The message box names only the file; the log adds the system's reason.
  loop.Every(options.savePeriodMs, [&app, &store, &log] {
    BayesFilter& filter = app.bayesFilter();
    const Status saved = ReportSaveFailure(store.ui, filter.SaveDatabase(), filter.databasePath());
    if (!saved.ok()) log << "tarvex: " << saved.message() << std::endl;
  });
  if (options.commands) options.commands->Serve(loop, options.onRequest);
  for (int signal : {SIGINT, SIGTERM}) loop.OnSignal(signal, [&loop] { loop.Quit(); });
  log << "tarvex: watching " << store.where << " (" << waiting
      << " waiting messages judged); stop with SIGINT or SIGTERM" << std::endl;
  loop.Run();
  unwatch();
  log << "tarvex: stopping" << std::endl;
  store.stop();
  app.SetClassifiedObserver(nullptr);
  return true;
}

bool RunDaemon(MaildirSession& session, GLibEventLoop& loop, const DaemonOptions& options,
               std::ostream& log) {
  MapBlocksFrom(kMappedBlocks);
  MaildirHost& host = session.host();
  // Files in the folders that are not judged (not messages, too big) are
  // named in the log.
  host.SetNotices([&log](const std::string& line) { log << "tarvex: " << line << std::endl; });
  // A disk that cannot be read now may be readable at the next change: the
  // daemon says so and goes on.
  // A flood is judged a slice at a time, with the loop's other work (a
  // client's command, the save) served between slices.
  unsigned draining = 0;
  std::function<void()> drain = [&] {
    try {
      host.AnnounceWaiting();
    } catch (const std::runtime_error& error) {
      log << "tarvex: " << error.what() << std::endl;
    }
    if (!host.AnnouncementsWaiting() && draining != 0) {
      loop.RemoveSource(draining);
      draining = 0;
    }
  };
  DaemonStore store{session.app(), session.ui(), [&] { session.Start(); }, [&] { session.Stop(); }};
  store.watch = [&]() -> std::function<void()> {
    const unsigned changes = loop.WatchReadable(host.StartWatching(), [&] {
      try {
        host.ProcessFileEvents();
      } catch (const std::runtime_error& error) {
        log << "tarvex: " << error.what() << std::endl;
      }
      if (host.AnnouncementsWaiting() && draining == 0) draining = loop.Every(1, drain);
    });
    return [&loop, &draining, changes] {
      loop.RemoveSource(changes);
      loop.RemoveSource(draining);
    };
  };
  store.announceWaiting = [&] { return host.AnnounceUnjudgedMail().size(); };
  store.where = host.root();
  store.judged = [] { ReturnFreeMemory(kFreeMemoryKept); };
  const bool ran = RunDaemon(store, loop, options, log);
  host.SetNotices(nullptr);
  return ran;
}

}  // namespace tarvex
