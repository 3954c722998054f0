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

bool RunDaemon(StoreSession& session, GLibEventLoop& loop, const DaemonOptions& options,
               std::ostream& log) {
  MapBlocksFrom(kMappedBlocks);
  FilterApp& app = session.app();
  app.SetClassifiedObserver(
      [&log, &options](const ClassifyResult& result, int32_t messageId, FolderWatcher& watcher) {
        log << JudgedLine(result, messageId, watcher.folder().GetName()) << std::endl;
        if (options.onJudged) options.onJudged(result, watcher.folder().GetId(), messageId);
        ReturnFreeMemory(kFreeMemoryKept);
      });
  session.Watch(loop, [&log](const std::string& line) { log << "tarvex: " << line << std::endl; });
  session.Start();
  if (const Status& load = app.bayesFilter().loadStatus(); !load.ok()) {
    log << "tarvex: " << load.message() << std::endl;
    session.Unwatch(loop);
    session.Stop();
    app.SetClassifiedObserver(nullptr);
    return false;
  }
  for (const Status& problem : app.CheckLists()) {
    log << "tarvex: warning: " << problem.message() << std::endl;
  }
  size_t waiting = 0;
  try {
    waiting = session.AnnounceUnjudgedMail();
  } catch (const std::runtime_error& error) {
    log << "tarvex: " << error.what() << std::endl;
  }
  // The message box names only the file; the log adds the system's reason.
  loop.Every(options.savePeriodMs, [&app, &session, &log] {
    BayesFilter& filter = app.bayesFilter();
    const Status saved =
        ReportSaveFailure(session.ui(), filter.SaveDatabase(), filter.databasePath());
    if (!saved.ok()) log << "tarvex: " << saved.message() << std::endl;
  });
  if (options.commands) options.commands->Serve(loop, options.onRequest);
  for (int signal : {SIGINT, SIGTERM}) loop.OnSignal(signal, [&loop] { loop.Quit(); });
  log << "tarvex: watching " << session.StoreName() << " (" << waiting
      << " waiting messages judged); stop with SIGINT or SIGTERM" << std::endl;
  loop.Run();
  session.Unwatch(loop);
  log << "tarvex: stopping" << std::endl;
  session.Stop();
  app.SetClassifiedObserver(nullptr);
  return true;
}

}  // namespace tarvex
