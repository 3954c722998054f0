// The command line's grammar: the global options and, from the command
// table, every command with its options, parsed into one Invocation. The
// client parses to check the arguments and to pick where the command runs;
// the daemon parses the same arguments again to run it.
#ifndef TARVEX_CLI_COMMAND_LINE_H_
#define TARVEX_CLI_COMMAND_LINE_H_

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/profile.h"
#include "cli/command_table.h"

namespace tarvex {

// What a list or settings command does, by its subcommand.
enum class Action { kNone, kList, kAdd, kRename, kRemove, kShow, kSet, kClear, kEmptyDb };

struct Invocation {
  const Command* command = nullptr;
  Action action = Action::kNone;  // blacklist, whitelist, settings
  ProfileOptions profile;
  bool force = false;              // init
  bool spam = false;               // learn --spam, relearn --was-spam
  bool raw = false;                // read message files undecoded
  bool json = false;               // the commands that print
  bool remember = false;           // not-spam
  bool emptyFirst = false;         // train
  bool domain = false;             // list entries: --domain (else addresses)
  bool fromInput = false;          // mark-spam, not-spam: the message on standard input
  std::string to;                  // not-spam --to
  std::vector<std::string> files;  // message files, or a list command's texts
  std::vector<std::string> spamFolders, goodFolders;  // train
  std::string settingName, settingValue;              // settings set, clear

  // Reads a message on standard input.
  bool ReadsInput() const;
};

// The result of parsing: the invocation, or what a run that ended in parsing
// came to (help printed to out, a usage error to err).
struct Parsed {
  std::optional<Invocation> invocation;
  Result result = Result::kOk;
};

Parsed ParseCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// What the command entries' grammar functions build the arguments with: the
// invocation they fill, and the argument shapes several commands share.
class CommandGrammar {
 public:
  explicit CommandGrammar(Invocation& v) : v(v) {}

  // Message files: FILE..., read decoded or --raw.
  void MessageFiles(CLI::App& c);
  // A pair of mutually exclusive flags of which one is required.
  void Side(CLI::App& c, const std::string& spam, const std::string& clean,
            const std::string& what);
  // Messages named by FILE arguments, or the one on standard input.
  void FilesOrInput(CLI::App& c);
  // A subcommand that stands for action.
  CLI::App& Sub(CLI::App& c, const std::string& name, const std::string& help, Action action);

  Invocation& v;
  bool other = false;  // the flags that only stand for their default
};

// The commands' own arguments, for the command table.
namespace grammar {
void Init(CommandGrammar& g, CLI::App& c);
void Learn(CommandGrammar& g, CLI::App& c);
void Relearn(CommandGrammar& g, CLI::App& c);
void MessageFiles(CommandGrammar& g, CLI::App& c);
void MarkSpam(CommandGrammar& g, CLI::App& c);
void NotSpam(CommandGrammar& g, CLI::App& c);
void Headers(CommandGrammar& g, CLI::App& c);
void Train(CommandGrammar& g, CLI::App& c);
void SenderList(CommandGrammar& g, CLI::App& c);
void Settings(CommandGrammar& g, CLI::App& c);
}  // namespace grammar

}  // namespace tarvex

#endif  // TARVEX_CLI_COMMAND_LINE_H_
