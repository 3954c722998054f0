// The commands of the program itself and of delivery: run (the daemon),
// about, and filter, which judges a message on its way into the Maildir.
#include <unistd.h>

#include <chrono>
#include <optional>
#include <ostream>

#include "app/daemon.h"

#include "cli/client.h"
#include "cli/commands.h"
#include "host/memory/memory_host.h"
#include "mail/message_text.h"
#include "platform/codepage.h"
#include "platform/glib_event_loop.h"
#include "platform/profile_lock.h"
#include "plugin/new_message.h"
#include "ui/about_dialog.h"

namespace tarvex {
namespace {

// How long a daemon waits for the lock, which a daemon killed a moment ago
// may still hold, before it gives up.
constexpr auto kDaemonLockWait = std::chrono::seconds(5);

}  // namespace

// The daemon logs to standard error.
Result RunDaemonCommand(CommandContext& ctx, const Invocation& v) {
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
  if (UsesImapAccount(profile, v)) return RunImapDaemonCommand(ctx, v);
  if (!MaildirExists(paths.maildir)) {
    if (!CreateMaildir(paths.maildir)) {
      log << "tarvex: " << paths.maildir << ": cannot create the Maildir\n";
      return Result::kFailed;
    }
    log << "tarvex: created the Maildir " << paths.maildir << '\n';
  }
  GLibEventLoop loop;
  CommandServer server(paths.socket);
  ConsoleUi logUi(log, ::isatty(2) == 1);
  MaildirSession session(
      SessionServices{profile.clock(), profile.fs(), profile.store(), logUi, loop}, paths.maildir,
      paths.announced);
  DaemonOptions options;
  options.commands = &server;
  options.onRequest = [&](UniqueFd client, Frame request) {
    ServeClient(std::move(client), request, profile, session);
  };
  return RunDaemon(session, loop, options, log) ? Result::kOk : Result::kFailed;
}

Result RunAbout(CommandContext& ctx, const Invocation&) {
  // What the About box shows, once for each place it shows it; like the
  // toolbar's button, nothing while the mail client is not there.
  if (!ctx.Session().app().controller()) return Result::kOk;
  for (int i = 0; i < 2; ++i) ctx.out << cp1252::ToUtf8(AboutDialog::kProductLine) << '\n';
  return Result::kOk;
}

namespace {

bool IsSpam(Outcome outcome) {
  return outcome == Outcome::kBlacklisted || outcome == Outcome::kNonEnglish ||
         outcome == Outcome::kSpam;
}

std::vector<std::pair<std::string, std::string>> HeaderFields(const VerdictHeaders& headers) {
  std::vector<std::pair<std::string, std::string>> fields;
  for (const HeaderValue& h : headers) fields.emplace_back(h.name, cp1252::ToUtf8(h.LineValue()));
  return fields;
}

// A message the user already judged carries the verdict.
bool JudgedSpam(const mail::RawMessage& message) {
  for (const auto& [name, value] : mail::HeaderLines(message.header)) {
    if (EqualIgnoringCase(name, header::kLearn)) return value == header::kLearnSpam;
  }
  return false;
}

}  // namespace

// The message goes through the classifier in a mail store held in memory,
// with the profile's lists, settings and word database; what it would write
// into the message is written into the copy on standard output, and what it
// learns stays learnt.
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
  MemoryHost host;
  host.AddFolder(MemoryHost::kLocalFoldersId, kSpamFolderName);
  const mail::RawMessage raw = mail::ReadableMessage(message, mail::MessageReading::kDecoded);
  const int32_t id = AddToMemoryHost(host, raw);
  FilterSettings settings = ctx.profile.settings();
  BayesFilter& filter = ctx.Filter();
  HostRef<HostFolderManager> manager = host.CreateFolderManager();
  HostRef<HostFolder> inbox = manager->GetInboxFolder();
  SpamFolder spamFolder;
  ClassifierContext context{filter, ctx.Lists(), settings, ctx.ui, *manager, spamFolder};
  const ClassifyResult result = ClassifyMessage(context, *inbox, id);
  if (result.failed) return Result::kFailed;
  ctx.out << mail::SetHeaderFields(message, HeaderFields(result.headers));
  if (result.outcome == Outcome::kUntouched)
    return JudgedSpam(raw) ? Result::kSpam : Result::kClean;
  return IsSpam(result.outcome) ? Result::kSpam : Result::kClean;
}

}  // namespace tarvex
