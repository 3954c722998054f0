// The subcommands of the command-line program over the library. Each runs
// in a CommandContext: the profile, the command's output, the interface its
// user sees (a scripted one, built from the arguments), and either the
// daemon's running application or objects made for this one command.
#ifndef TARVEX_CLI_COMMANDS_H_
#define TARVEX_CLI_COMMANDS_H_

#include <iosfwd>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/maildir_session.h"
#include "cli/command_line.h"
#include "cli/profile.h"
#include "host/memory/memory_host.h"
#include "lists/sender_lists.h"
#include "mail/message_file.h"
#include "platform/event_loop.h"
#include "ui/scripted_ui.h"

namespace tarvex {

// Ends a command with a one-line reason on standard error: "tarvex: what: why".
struct CommandFailure : std::runtime_error {
  CommandFailure(const std::string& what, const std::string& why)
      : std::runtime_error(what + ": " + why) {}
  explicit CommandFailure(const Status& status) : std::runtime_error(status.message()) {}
};

// Where a command's request came from: its working folder, its standard
// input and whether a person watches its standard error.
struct RequestOrigin {
  std::string cwd;
  std::string input;
  bool terminal = false;
};

class CommandContext {
 public:
  // daemon: the daemon's running session, or null to make what the command
  // needs here (under the profile lock, which the caller holds).
  CommandContext(Profile& profile, const RequestOrigin& origin, std::ostream& out,
                 std::ostream& err, MaildirSession* daemon);
  ~CommandContext();

  Profile& profile;
  const RequestOrigin& origin;
  std::ostream& out;
  std::ostream& err;
  // What the command's user sees; commands queue their answers here.
  ScriptedUi ui;

  // The word database, loaded as at start-up. Throws CommandFailure when
  // there is no profile.
  BayesFilter& Filter();
  const SenderLists& Lists();
  // The application over the Maildir, started. Throws CommandFailure when
  // there is no profile or no Maildir.
  MaildirSession& Session();
  bool InDaemon() const { return daemon_ != nullptr; }
  // Throws CommandFailure when there is no profile.
  void RequireProfile();

  // path as the user meant it: relative to the request's working folder.
  std::string Path(const std::string& path) const;
  // Shows progress of long work on a terminal, at most a few times a second
  // (total 0: not known); Done ends the line.
  void Progress(const std::string& what, size_t done, size_t total);
  void ProgressDone();

  // The message box a dialog has just shown (the last thing shown) refused
  // what the command asked of it: Finish prints it as an error.
  void RefusedByDialog();

  // Lets go of what was made for the command (saving the word database), then
  // prints what the interface showed. The exit code: result, or a failure
  // when a message box outside any dialog reported an error, or a dialog
  // refused something.
  int Finish(int result);

 private:
  // Saves the command's own filter, if it made one, and lets it go.
  void CloseFilter();

  MaildirSession* daemon_;
  ManualEventLoop loop_;
  std::unique_ptr<BayesFilter> filter_;
  std::unique_ptr<SenderLists> lists_;
  std::unique_ptr<MaildirSession> session_;
  std::unique_ptr<RoutedUi::Route> route_;
  int64_t lastProgressMs_ = -1;
  bool progressShown_ = false;
  std::set<size_t> refusals_;  // indexes into ui.log()
};

// Runs the invocation (any command but "run") and returns the exit code.
int RunCommand(const Invocation& invocation, CommandContext& ctx);

// Puts the message into the in-memory host's Inbox; returns its id.
int32_t AddToMemoryHost(MemoryHost& host, const mail::RawMessage& message);

// Makes a Maildir at path, its parent folders as needed, and its spam folder
// "DedoZarozo"; false when it cannot.
bool CreateMaildir(const std::string& path);

// Creates the profile: the data files that are missing, the settings and the
// Maildir. With force, existing settings are rewritten (the old file kept as
// ".bak"); existing data files are never replaced.
int RunInit(Profile& profile, std::ostream& out, std::ostream& err, bool force);

// The message commands, in mail_commands.cc.
int RunMarkSpam(CommandContext& ctx, const Invocation& v);
int RunNotSpam(CommandContext& ctx, const Invocation& v);
int RunHeaders(CommandContext& ctx, const Invocation& v);
int RunTrain(CommandContext& ctx, const Invocation& v);
int RunList(CommandContext& ctx, const Invocation& v);
int RunSettings(CommandContext& ctx, const Invocation& v);
int RunAbout(CommandContext& ctx);
int RunFilter(CommandContext& ctx);

}  // namespace tarvex

#endif  // TARVEX_CLI_COMMANDS_H_
