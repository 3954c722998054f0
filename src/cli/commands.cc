#include "cli/commands.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <ostream>

#include "bayes/bayes_filter.h"
#include "host/memory/memory_host.h"
#include "mail/message_text.h"
#include "mail/mime_message.h"
#include "platform/codepage.h"
#include "plugin/host_error_report.h"
#include "ui/folder_dialogs.h"
#include "ui/save_failure.h"

namespace tarvex {
namespace {

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

CommandContext::CommandContext(Profile& profile, const RequestOrigin& origin, std::ostream& out,
                               std::ostream& err, const DaemonConnector& daemon)
    : profile(profile), origin(origin), out(out), err(err), printer_(MakePrinter(false, out)) {
  // The boxes the daemon shows for the command are the command's own.
  if (daemon) daemon_ = std::make_unique<RemoteOperations>(daemon, ui);
}

CommandContext::~CommandContext() = default;

void Check(const Status& status) {
  if (!status.ok()) throw CommandFailure(status);
}

void CommandContext::RequireProfile() {
  if (Status status = profile.Check(); !status.ok()) throw CommandFailure(status);
}

void RequireDatabase(const BayesFilter& filter) {
  if (!filter.loadStatus().ok()) throw CommandFailure(filter.loadStatus());
}

Operations& CommandContext::Ops() {
  if (daemon_) return *daemon_;
  Filter();
  return local_;
}

BayesFilter& CommandContext::Filter() {
  if (session_) return session_->app().bayesFilter();
  if (!filter_) {
    RequireProfile();
    filter_ = std::make_unique<BayesFilter>(profile.clock(), profile.fs());
    filter_->LoadAtStartup(profile.settings());
    RequireDatabase(*filter_);
  }
  return *filter_;
}

const SenderLists& CommandContext::Lists() {
  if (session_) return session_->app().lists();
  if (!lists_) {
    RequireProfile();
    lists_ = std::make_unique<SenderLists>();
    LoadSenderLists(profile.fs(), profile.settings(), lists_.get());
  }
  return *lists_;
}

StoreSession& CommandContext::Session() {
  if (!session_) {
    RequireProfile();
    const SessionServices services{profile.clock(), profile.fs(), profile.store(), ui, loop_};
    const std::string& maildir = profile.paths().maildir;
    const bool imap = UsesImapAccount(profile);
    if (!imap && !MaildirExists(maildir)) {
      throw CommandFailure(maildir, "no Maildir here; run 'tarvex init' or give --maildir");
    }
    // The command's own filter, if it made one, must be saved before the
    // session loads the database again.
    CloseFilter();
    if (imap) {
      try {
        session_ = OpenImapSession(profile, services, err);
      } catch (const std::runtime_error& error) {
        throw CommandFailure(Status::Failure(0, error.what()));
      }
    } else {
      session_ = std::make_unique<MaildirSession>(services, maildir);
    }
    session_->Start();
    RequireDatabase(session_->app().bayesFilter());
  }
  return *session_;
}

void CommandContext::CloseFilter() {
  if (!filter_) return;
  ReportSaveFailure(ui, filter_->Close(), filter_->databasePath());
  filter_.reset();
}

std::string CommandContext::Path(const std::string& path) const {
  if (path.empty() || path[0] == '/' || origin.cwd.empty()) return path;
  return origin.cwd + "/" + path;
}

void CommandContext::Progress(const std::string& what, size_t done, size_t total) {
  if (!origin.terminal) return;
  const int64_t now = SteadyMs();
  if (done != total && lastProgressMs_ >= 0 && now - lastProgressMs_ < 200) return;
  lastProgressMs_ = now;
  err << '\r' << what << ' ' << done;
  if (total) err << '/' << total;
  err << "\x1b[K" << std::flush;
  progressShown_ = true;
}

void CommandContext::ProgressDone() {
  if (progressShown_) err << '\n' << std::flush;
  progressShown_ = false;
  lastProgressMs_ = -1;
}

void CommandContext::Say(const std::string& text, bool refused) {
  ui.Say(text, kDialogBoxCaption, refused);
}

Result CommandContext::Finish(Result result) {
  ProgressDone();
  session_.reset();
  CloseFilter();
  // What a dialog says goes with the command's output, unless it refused
  // what the command asked; a box outside any dialog is an error report.
  for (const CommandUi::Line& line : ui.lines()) {
    (line.error || json_ ? err : out) << line.text << '\n';
    if (line.error && result == Result::kOk) result = Result::kFailed;
  }
  return result;
}

std::vector<std::string> ShownNames(const std::vector<std::string>& names) {
  std::vector<std::string> shown;
  for (const std::string& name : names) shown.push_back(cp1252::FromUtf8(name));
  return shown;
}

int RunCommand(const Invocation& v, CommandContext& ctx) {
  if (v.json) ctx.PrintAsJson();
  Result result;
  try {
    result = v.command->run(ctx, v);
  } catch (const OperationFailure& failure) {
    ctx.err << "tarvex: " << failure.what() << '\n';
    result = Result::kFailed;
  }
  return ExitStatus(ctx.Finish(result), v.command);
}

}  // namespace tarvex
