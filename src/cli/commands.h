// The commands of the command-line program over the library, as the command
// table names them (command_table.h), one source file per group. Each runs
// in a CommandContext: the profile, the command's output and printer, the
// interface its user sees (the message boxes, printed at the end), and the
// user's operations: the daemon's over its socket, or ones made here for
// this one command. Each returns what it came to; RunCommand makes the exit
// status.
#ifndef TARVEX_CLI_COMMANDS_H_
#define TARVEX_CLI_COMMANDS_H_

#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/local_operations.h"
#include "app/maildir_session.h"
#include "app/profile.h"
#include "app/remote_operations.h"
#include "cli/command_line.h"
#include "cli/command_ui.h"
#include "cli/printer.h"
#include "lists/sender_lists.h"
#include "mail/message_file.h"
#include "ops/operations.h"
#include "platform/event_loop.h"

namespace tarvex {

// Ends a command with a one-line reason on standard error: "tarvex: what: why".
struct CommandFailure : OperationFailure {
  CommandFailure(const std::string& what, const std::string& why)
      : OperationFailure(Status::Invalid(what, why)) {}
  explicit CommandFailure(const Status& status) : OperationFailure(status) {}
};

// Ends the command with the status's message when it is a failure.
void Check(const Status& status);

// Where a command's request came from: its working folder, its standard
// input and whether a person watches its standard error.
struct RequestOrigin {
  std::string cwd;
  std::string input;
  bool terminal = false;
};

// Opens a connection to the profile's daemon.
using DaemonConnector = std::function<UniqueFd()>;

class CommandContext : private OperationsOwner {
 public:
  // daemon: connects to the daemon, whose operations the command then uses;
  // none to make what the command needs here (under the profile lock, which
  // the caller holds).
  CommandContext(Profile& profile, const RequestOrigin& origin, std::ostream& out,
                 std::ostream& err, const DaemonConnector& daemon = nullptr);
  ~CommandContext() override;

  Profile& profile;
  const RequestOrigin& origin;
  std::ostream& out;
  std::ostream& err;
  // What the command's user sees.
  CommandUi ui;

  // What the command found goes here: in text, or in JSON once PrintAsJson
  // was called. What the dialogs said then goes to standard error, so that
  // standard output holds only JSON.
  Printer& printer() { return *printer_; }
  void PrintAsJson() {
    printer_ = MakePrinter(true, out);
    json_ = true;
  }

  // The user's operations: the daemon's, or the command's own. Like the
  // daemon, the command's own refuse to work without the word database:
  // throws CommandFailure when it cannot be loaded.
  Operations& Ops();
  bool InDaemon() const { return daemon_ != nullptr; }
  // Throws CommandFailure when there is no profile.
  void RequireProfile();

  // path as the user meant it: relative to the request's working folder.
  std::string Path(const std::string& path) const;
  // Shows progress of long work on a terminal, at most a few times a second
  // (total 0: not known); Done ends the line.
  void Progress(const std::string& what, size_t done, size_t total);
  void ProgressDone();

  // What a dialog would have told its user in a box captioned "Tarvex",
  // printed by Finish in its place among what the interface showed; refused:
  // it refused what the command asked, an error.
  void Say(const std::string& text, bool refused);

  // Lets go of what was made for the command (saving the word database), then
  // prints what the interface showed and what was said. The exit code:
  // result, or a failure when a message box outside any dialog reported an
  // error, or something said was a refusal.
  Result Finish(Result result);

 private:
  // What the command's own operations work on, made when first needed. The
  // word database is loaded as at start-up; the application over the
  // Maildir is started. Each throws CommandFailure when there is no profile
  // (or no Maildir).
  BayesFilter& Filter() override;
  const SenderLists& Lists() override;
  StoreSession& Session() override;
  FileSystem& Files() override { return profile.fs(); }
  SettingsStore& Settings() override { return profile.store(); }
  UserInterface& Ui() override { return ui; }
  SenderLists* HeldLists() override { return session_ ? &session_->app().lists() : nullptr; }
  FilterApp& App() override { return Session().app(); }
  std::string StoreName() override { return Session().StoreName(); }
  std::string ShownFolderName(const std::string& name) override {
    return Session().ShownFolderName(name);
  }
  // Saves the command's own filter, if it made one, and lets it go.
  void CloseFilter();

  std::unique_ptr<Printer> printer_;
  bool json_ = false;
  std::unique_ptr<RemoteOperations> daemon_;
  LocalOperations local_{*this};
  ManualEventLoop loop_;
  std::unique_ptr<BayesFilter> filter_;
  std::unique_ptr<SenderLists> lists_;
  std::unique_ptr<StoreSession> session_;
  int64_t lastProgressMs_ = -1;
  bool progressShown_ = false;
};

// Runs the invocation and returns the exit status.
int RunCommand(const Invocation& invocation, CommandContext& ctx);

// A word database that is there but cannot be read stops the command before
// it does anything (throws CommandFailure); the file stays as it is.
void RequireDatabase(const BayesFilter& filter);

// The names as the interface shows them (Windows-1252).
std::vector<std::string> ShownNames(const std::vector<std::string>& names);

// Creates the profile: the data files that are missing, the settings and the
// Maildir. With force, existing settings are rewritten (the old file kept as
// ".bak"); existing data files are never replaced.
Result RunInit(Profile& profile, std::ostream& out, std::ostream& err, bool force);

// The commands of the command table, one group a file.
// database_commands.cc
Result RunInitCommand(CommandContext& ctx, const Invocation& v);
Result RunLearn(CommandContext& ctx, const Invocation& v);
Result RunRelearn(CommandContext& ctx, const Invocation& v);
Result RunScore(CommandContext& ctx, const Invocation& v);
Result RunTokens(CommandContext& ctx, const Invocation& v);
Result RunClassify(CommandContext& ctx, const Invocation& v);
Result RunStats(CommandContext& ctx, const Invocation& v);
Result RunEmptyDb(CommandContext& ctx, const Invocation& v);
// verdict_commands.cc
Result RunMarkSpam(CommandContext& ctx, const Invocation& v);
Result RunNotSpam(CommandContext& ctx, const Invocation& v);
Result RunHeaders(CommandContext& ctx, const Invocation& v);
Result RunTrain(CommandContext& ctx, const Invocation& v);
// list_commands.cc
Result RunBlacklist(CommandContext& ctx, const Invocation& v);
Result RunWhitelist(CommandContext& ctx, const Invocation& v);
// settings_commands.cc
Result RunSettings(CommandContext& ctx, const Invocation& v);
// daemon_commands.cc
Result RunDaemonCommand(CommandContext& ctx, const Invocation& v);

// imap_commands.cc: the daemon on an IMAP account. It runs on the account
// when --imap names one, or when the profile has an account file and no
// --maildir is given.
bool UsesImapAccount(const Profile& profile);
// The session on the account, connected. Throws std::runtime_error when it
// cannot be had; the connection's losses and recoveries go to log.
std::unique_ptr<StoreSession> OpenImapSession(Profile& profile, const SessionServices& services,
                                              std::ostream& log);
// Records --imap in the account file, keeping what else the file holds.
Result RecordImapAccount(CommandContext& ctx, const Invocation& v);
Result RunAbout(CommandContext& ctx, const Invocation& v);
Result RunFilter(CommandContext& ctx, const Invocation& v);

}  // namespace tarvex

#endif  // TARVEX_CLI_COMMANDS_H_
