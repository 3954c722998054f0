// The commands of the program itself and of delivery: run (the daemon),
// about, and filter, which judges a message on its way into the Maildir.
#include <unistd.h>

#include <chrono>
#include <optional>
#include <ostream>

#include "app/daemon.h"
#include "app/remote_operations.h"
#include "app/store_notices.h"

#include "cli/client.h"
#include "cli/commands.h"
#include "platform/codepage.h"
#include "platform/glib_event_loop.h"
#include "platform/profile_lock.h"

namespace tarvex {
namespace {

// How long a daemon waits for the lock, which a daemon killed a moment ago
// may still hold, before it gives up.
constexpr auto kDaemonLockWait = std::chrono::seconds(5);

}  // namespace

// The daemon logs to standard error.
Result RunDaemonCommand(CommandContext& ctx, const Invocation&) {
  Profile& profile = ctx.profile;
  std::ostream& log = ctx.err;
  const ProfilePaths& paths = profile.paths();
  if (Status status = profile.Check(); !status.ok()) {
    log << "tarvex: " << status.message() << '\n';
    return Result::kFailed;
  }
  pid_t holder = 0;
  std::optional<ProfileLock> lock =
      ProfileLock::AcquireWithin(paths.lock, kDaemonLockWait, &holder);
  if (!lock) {
    log << "tarvex: " << paths.lock << ": the profile is in use by process " << holder
        << " (is a daemon running already?)\n";
    return Result::kFailed;
  }
  GLibEventLoop loop;
  ConsoleUi logUi(log, ::isatty(2) == 1);
  const SessionServices services{profile.clock(), profile.fs(), profile.store(), logUi, loop};
  std::unique_ptr<StoreSession> store;
  if (UsesImapAccount(profile)) {
    try {
      store = OpenImapSession(profile, services, log);
    } catch (const std::runtime_error& error) {
      log << "tarvex: " << error.what() << '\n';
      return Result::kFailed;
    }
  } else {
    if (!MaildirExists(paths.maildir)) {
      if (!CreateMaildir(paths.maildir)) {
        log << "tarvex: " << paths.maildir << ": cannot create the Maildir\n";
        return Result::kFailed;
      }
      log << "tarvex: created the Maildir " << paths.maildir << '\n';
    }
    store = std::make_unique<MaildirSession>(services, paths.maildir, paths.announced);
  }
  StoreSession& session = *store;
  CommandServer server(paths.socket);
  SessionOwner owner(session, profile.fs(), profile.store());
  LocalOperations operations(owner);
  DaemonOptions options;
  options.commands = &server;
  Subscribers subscribers;
  AnswerClients(&options, operations, session.ui(), subscribers);
  return RunDaemon(session, loop, options, log) ? Result::kOk : Result::kFailed;
}

Result RunAbout(CommandContext& ctx, const Invocation&) {
  // What the About box shows, once for each place it shows it.
  std::string productLine;
  Check(ctx.Ops().About(&productLine));
  if (productLine.empty()) return Result::kOk;
  for (int i = 0; i < 2; ++i) ctx.out << cp1252::ToUtf8(productLine) << '\n';
  return Result::kOk;
}

// The message is judged with the profile's lists, settings and word
// database; what the filter would write into the message is written into the
// copy on standard output, and what it learns stays learnt.
//
// A message above the size limit is not judged: it goes out as it came.
Result RunFilter(CommandContext& ctx, const Invocation&) {
  const std::string& message = ctx.origin.input;
  const uint32_t limit = ctx.profile.settings().GetMaxMessageSize();
  if (message.size() > limit) {
    ctx.out << message;
    ctx.err << "tarvex: standard input: " << MaildirHost::TooBigToJudge(message.size(), limit)
            << "; passed on unchanged\n";
    return Result::kFailed;
  }
  FilterReport report;
  Check(ctx.Ops().Filter(message, &report));
  if (report.verdict == FilterReport::Verdict::kNotJudged) return Result::kFailed;
  ctx.out << report.message;
  return report.verdict == FilterReport::Verdict::kSpam ? Result::kSpam : Result::kClean;
}

}  // namespace tarvex
