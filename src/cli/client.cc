#include "cli/client.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <limits>
#include <optional>
#include <set>
#include <sstream>
#include <streambuf>
#include <thread>

#include "app/daemon.h"
#include "cli/commands.h"
#include "platform/glib_event_loop.h"
#include "platform/profile_lock.h"

namespace tarvex {
namespace {

// How long a client waits for a profile that another command holds, or for
// a daemon that holds the lock but does not listen yet. A delivery agent's
// filter holds mail up while it waits, so it gives up soon: the agent then
// delivers the message unjudged.
constexpr auto kLockWait = std::chrono::seconds(30);
constexpr auto kFilterLockWait = std::chrono::seconds(3);

std::string CurrentFolder() {
  std::error_code error;
  return std::filesystem::current_path(error).string();
}

// Appends standard input to input until its end, or until input holds more
// than cap bytes; false on a read error.
bool ReadInput(size_t cap, std::string* input) {
  char buffer[65536];
  while (input->size() <= cap) {
    const ssize_t n = ::read(0, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    input->append(buffer, static_cast<size_t>(n));
  }
  return true;
}

// Writes data to standard output whole; false when it cannot.
bool WriteOutput(std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(1, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// filter takes in at most a little more than the largest message it judges:
// a larger one goes out unchanged as it comes in, never held whole, nor sent
// to the daemon. What the command came to then; none when the message is in
// input. Whatever MaxMessageSize says, a message must fit in one request frame.
std::optional<Result> PassOnTooBig(Profile& profile, std::string* input) {
  constexpr size_t kRequestRoom = size_t{1} << 20;  // the arguments and the folder
  const size_t limit =
      std::min<size_t>(profile.settings().GetMaxMessageSize(), kMaxFrameBytes - kRequestRoom);
  if (!ReadInput(limit, input)) return Result::kFailed;
  if (input->size() <= limit) return std::nullopt;
  uint64_t size = 0;
  for (bool more = true; more;) {
    more = !input->empty();
    if (!WriteOutput(*input)) return Result::kFailed;
    size += input->size();
    input->clear();
    if (more && !ReadInput(0, input)) return Result::kFailed;
  }
  std::cerr << "tarvex: standard input: " << MaildirHost::TooBigToJudge(size, limit)
            << "; passed on unchanged\n";
  return Result::kFailed;
}

RequestOrigin OriginHere(const Invocation& invocation) {
  RequestOrigin origin{CurrentFolder(), {}, ::isatty(2) == 1};
  // filter reads its message itself (PassOnTooBig).
  if (invocation.ReadsInput() && invocation.command->input != Input::kMessage) {
    ReadInput(std::numeric_limits<size_t>::max() - 1, &origin.input);
  }
  return origin;
}

// daemon: connects to the daemon whose operations the command uses; none
// to run it on its own.
int RunHere(Profile& profile, const Invocation& invocation, const RequestOrigin& origin,
            const DaemonConnector& daemon = nullptr) {
  CommandContext ctx(profile, origin, std::cout, std::cerr, daemon);
  return RunCommand(invocation, ctx);
}

// The profile's daemon, wherever it listens; invalid when none does. A place
// that is not to be trusted is named once (in *named) and passed over.
UniqueFd ConnectToDaemon(const ProfilePaths& paths, std::set<std::string>* named) {
  for (const std::string& socket : paths.sockets) {
    std::string problem;
    if (UniqueFd daemon = ConnectToServer(socket, &problem); daemon.valid()) return daemon;
    if (!problem.empty() && named->insert(problem).second) {
      std::cerr << "tarvex: " << problem << "; not used\n";
    }
  }
  return UniqueFd();
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

}  // namespace

Result ProfileInUse(std::ostream& err, const std::string& lock, pid_t holder) {
  err << "tarvex: " << lock << ": the profile is in use by process " << holder
      << "; try again when it is done\n";
  return Result::kFailed;
}

int RunClient(Profile& profile, const Invocation& invocation) {
  const ProfilePaths& paths = profile.paths();
  const Command* command = invocation.command;
  const int failure = ExitStatus(Result::kFailed, command);
  RequestOrigin origin = OriginHere(invocation);
  if (command->input == Input::kMessage) {
    if (const std::optional<Result> passed = PassOnTooBig(profile, &origin.input)) {
      return ExitStatus(*passed, command);
    }
  }
  if (!FileExists(paths.settings)) {
    if (!invocation.profile.config.empty()) {
      std::cerr << "tarvex: " << paths.settings << ": no such file (named by --config)\n";
      return failure;
    }
    // No profile: the command says so, and no lock file is left behind.
    return RunHere(profile, invocation, origin);
  }
  const auto deadline = std::chrono::steady_clock::now() +
                        (command->input == Input::kMessage ? kFilterLockWait : kLockWait);
  pid_t holder = 0;
  std::set<std::string> untrusted;
  for (;;) {
    if (ConnectToDaemon(paths, &untrusted).valid()) {
      // The command runs here; what it asks of the filter, the daemon does.
      return RunHere(profile, invocation, origin,
                     [&] { return ConnectToDaemon(paths, &untrusted); });
    }
    if (std::optional<ProfileLock> lock = ProfileLock::TryAcquire(paths.lock, &holder)) {
      return RunHere(profile, invocation, origin);
    }
    if (std::chrono::steady_clock::now() > deadline) {
      return ExitStatus(ProfileInUse(std::cerr, paths.lock, holder), command);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace tarvex
