// The subcommands of the command-line program, one function each, over the
// library. Each returns the process's exit code.
#ifndef TARVEX_CLI_COMMANDS_H_
#define TARVEX_CLI_COMMANDS_H_

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/profile.h"

namespace tarvex {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct CommandContext {
  Profile& profile;
  std::ostream& out;
  std::ostream& err;
};

struct MessageOptions {
  std::vector<std::string> files;
  bool raw = false;
  bool json = false;
  bool spam = false;  // learn: --spam; relearn: --was-spam
};

int RunInit(CommandContext& ctx, bool force);
int RunLearn(CommandContext& ctx, const MessageOptions& options);
int RunRelearn(CommandContext& ctx, const MessageOptions& options);
int RunScore(CommandContext& ctx, const MessageOptions& options);
int RunClassify(CommandContext& ctx, const MessageOptions& options);
int RunStats(CommandContext& ctx);
int RunEmptyDb(CommandContext& ctx);

}  // namespace tarvex

#endif  // TARVEX_CLI_COMMANDS_H_
