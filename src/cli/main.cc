// tarvex: the command-line program. Parses the arguments, then runs a
// command that runs in the client (the daemon, init) here, or hands the
// command to the daemon or runs it here under the lock (client.h).
#include <cstdlib>
#include <iostream>

#include "cli/client.h"
#include "cli/commands.h"
#include "platform/memory.h"

namespace tarvex {
namespace {

int Main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const Parsed parsed = ParseCommandLine(args, std::cout, std::cerr);
  if (!parsed.invocation) return ExitStatus(parsed.result);
  const Invocation& invocation = *parsed.invocation;
  Profile profile(invocation.profile, [](const char* name) { return std::getenv(name); });
  try {
    if (invocation.command->runsIn == RunsIn::kClient) {
      CommandContext ctx(profile, RequestOrigin{}, std::cout, std::cerr);
      return RunCommand(invocation, ctx);
    }
    return RunClient(profile, invocation);
  } catch (const std::exception& e) {
    std::cerr << "tarvex: " << e.what() << '\n';
    return ExitStatus(Result::kFailed, invocation.command);
  }
}

}  // namespace
}  // namespace tarvex

int main(int argc, char** argv) {
  tarvex::PreferLargePages(size_t{64} << 20);
  return tarvex::Main(argc, argv);
}
