// The commands of the command line, one entry each: the grammar, the
// dispatcher and the client's choice of where a command runs all read this
// table, so a command's name is spelled only in it.
#ifndef TARVEX_CLI_COMMAND_TABLE_H_
#define TARVEX_CLI_COMMAND_TABLE_H_

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace tarvex {

class CommandContext;
class CommandGrammar;
struct Invocation;

// Where a command runs.
enum class RunsIn {
  // In the process the user started: it works on the profile's files or
  // becomes the owner itself (init, run).
  kClient,
  // Where the word database is owned: in the daemon when one runs, else
  // here under the profile lock.
  kOwner,
};

// What a command reads on standard input.
enum class Input {
  kNone,
  kWhenAsked,  // the message --stdin names the stored copy of
  kMessage,    // the message it judges and passes on (its status is the verdict)
};

// What a command came to; ExitStatus makes the program's exit status of it.
enum class Result {
  kOk,
  kFailed,  // said on standard error
  kUsage,   // the arguments were wrong
  kSpam,    // the verdict of a command that judges its input
  kClean,
};

// The exit statuses, documented in the README and the man page.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// A command that judges its input: spam (0), clean (1), or not judged.
constexpr int kExitSpam = 0;
constexpr int kExitClean = 1;
constexpr int kExitNotJudged = 3;

struct Command {
  std::string name;
  std::string help;
  RunsIn runsIn;
  Input input;
  // Prints what it found: it takes --json for the printer's JSON form.
  bool prints;
  // Adds the command's own arguments; null when it takes none.
  void (*grammar)(CommandGrammar&, CLI::App&);
  Result (*run)(CommandContext&, const Invocation&);
};

// Every command, in the order the help lists them.
const std::vector<Command>& Commands();

// The one place that makes an exit status: of what the command (null before
// one is known) came to.
int ExitStatus(Result result, const Command* command = nullptr);

}  // namespace tarvex

#endif  // TARVEX_CLI_COMMAND_TABLE_H_
