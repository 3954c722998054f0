// tarvex: the command-line program. Parses the arguments, then runs the
// daemon, creates the profile, or hands the command to the daemon or runs it
// here (client.h).
#include <cstdlib>
#include <iostream>

#include "cli/client.h"
#include "platform/memory.h"

namespace tarvex {
namespace {

int Main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const Parsed parsed = ParseCommandLine(args, std::cout, std::cerr);
  if (!parsed.invocation) return parsed.exitCode;
  const Invocation& invocation = *parsed.invocation;
  Profile profile(invocation.profile, [](const char* name) { return std::getenv(name); });
  try {
    if (invocation.command == "run") return RunDaemonCommand(profile, std::cerr);
    if (invocation.command == "init") return RunInitCommand(profile, invocation);
    return RunClient(profile, invocation, args);
  } catch (const std::exception& e) {
    std::cerr << "tarvex: " << e.what() << '\n';
    return invocation.ReadsInput() ? kExitFilterError : kExitFailure;
  }
}

}  // namespace
}  // namespace tarvex

int main(int argc, char** argv) {
  tarvex::PreferLargePages(size_t{64} << 20);
  return tarvex::Main(argc, argv);
}
