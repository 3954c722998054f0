// The command line's grammar: every subcommand and option, parsed into one
// Invocation. The client parses to check the arguments and to pick where the
// command runs; the daemon parses the same arguments again to run it.
#ifndef TARVEX_CLI_COMMAND_LINE_H_
#define TARVEX_CLI_COMMAND_LINE_H_

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/profile.h"

namespace tarvex {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// tarvex filter: the message is spam (0), clean (1), or could not be judged.
constexpr int kExitFilterSpam = 0;
constexpr int kExitFilterClean = 1;
constexpr int kExitFilterError = 3;

struct Invocation {
  std::string command;     // "learn", "blacklist", ...
  std::string subcommand;  // blacklist/whitelist/settings: "list", "add", "set", ...
  ProfileOptions profile;
  bool force = false;              // init
  bool spam = false;               // learn --spam, relearn --was-spam
  bool raw = false;                // read message files undecoded
  bool json = false;               // score, classify
  bool remember = false;           // not-spam
  bool emptyFirst = false;         // train
  bool domain = false;             // list entries: --domain (else addresses)
  bool fromInput = false;          // mark-spam, not-spam: the message on standard input
  std::string to;                  // not-spam --to
  std::vector<std::string> files;  // message files, or a list command's texts
  std::vector<std::string> spamFolders, goodFolders;  // train
  std::string settingName, settingValue;              // settings set, clear

  // Commands that work on the profile's files themselves rather than through
  // the filter application: never forwarded to the daemon.
  bool RunsInClient() const { return command == "init" || command == "run"; }
  // Reads the message on standard input.
  bool ReadsInput() const { return command == "filter" || fromInput; }
};

// The result of parsing: the invocation, or the exit code of a run that ended
// in parsing (help printed to out, a usage error to err).
struct Parsed {
  std::optional<Invocation> invocation;
  int exitCode = kExitOk;
};

Parsed ParseCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tarvex

#endif  // TARVEX_CLI_COMMAND_LINE_H_
