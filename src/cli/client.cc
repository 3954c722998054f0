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
#include "host/maildir/maildir_files.h"
#include "platform/glib_event_loop.h"
#include "platform/profile_lock.h"

namespace tarvex {
namespace {

// Frame types of the exchange.
constexpr char kRequest = 'Q';
constexpr char kStdout = 'o';
constexpr char kStderr = 'e';
constexpr char kExit = 'x';

// How long a client waits for a profile that another command holds, or for
// a daemon that holds the lock but does not listen yet. A delivery agent's
// filter holds mail up while it waits, so it gives up soon: the agent then
// delivers the message unjudged.
constexpr auto kLockWait = std::chrono::seconds(30);
constexpr auto kFilterLockWait = std::chrono::seconds(3);
// How long a daemon waits for the lock, which a daemon killed a moment ago
// may still hold, before it gives up.
constexpr auto kDaemonLockWait = std::chrono::seconds(5);

// An output stream whose bytes travel to the client as frames of one type,
// sent whenever the stream is flushed or its buffer fills.
class FrameBuffer : public std::streambuf {
 public:
  FrameBuffer(int fd, char type) : fd_(fd), type_(type) { setp(buffer_, buffer_ + sizeof buffer_); }
  ~FrameBuffer() override { sync(); }

 protected:
  int overflow(int c) override {
    if (sync() != 0) return traits_type::eof();
    if (c != traits_type::eof()) sputc(static_cast<char>(c));
    return traits_type::not_eof(c);
  }
  int sync() override {
    const size_t size = static_cast<size_t>(pptr() - pbase());
    // A client that went away loses the rest of the output; the command
    // still runs to its end.
    if (size && alive_) alive_ = WriteFrame(fd_, type_, std::string_view(pbase(), size));
    setp(buffer_, buffer_ + sizeof buffer_);
    return 0;
  }

 private:
  int fd_;
  char type_;
  bool alive_ = true;
  char buffer_[16384];
};

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
// to the daemon. The exit code then; none when the message is in input.
// Whatever MaxMessageSize says, a message must fit in one request frame.
std::optional<int> PassOnTooBig(Profile& profile, std::string* input) {
  constexpr size_t kRequestRoom = size_t{1} << 20;  // the arguments and the folder
  const size_t limit =
      std::min<size_t>(profile.settings().GetMaxMessageSize(), kMaxFrameBytes - kRequestRoom);
  if (!ReadInput(limit, input)) return kExitFilterError;
  if (input->size() <= limit) return std::nullopt;
  uint64_t size = 0;
  for (bool more = true; more;) {
    more = !input->empty();
    if (!WriteOutput(*input)) return kExitFilterError;
    size += input->size();
    input->clear();
    if (more && !ReadInput(0, input)) return kExitFilterError;
  }
  std::cerr << "tarvex: standard input: " << MaildirHost::TooBigToJudge(size, limit)
            << "; passed on unchanged\n";
  return kExitFilterError;
}

RequestOrigin OriginHere(const Invocation& invocation) {
  RequestOrigin origin{CurrentFolder(), {}, ::isatty(2) == 1};
  // filter reads its message itself (PassOnTooBig).
  if (invocation.ReadsInput() && invocation.command != "filter") {
    ReadInput(std::numeric_limits<size_t>::max() - 1, &origin.input);
  }
  return origin;
}

int Forward(int fd, const RequestOrigin& origin, const std::vector<std::string>& args) {
  std::vector<std::string> request = {origin.cwd, origin.terminal ? "1" : "0", origin.input};
  request.insert(request.end(), args.begin(), args.end());
  if (!WriteFrame(fd, kRequest, PackStrings(request))) return -1;
  Frame frame;
  while (ReadFrame(fd, &frame)) {
    if (frame.type == kExit) return std::atoi(frame.data.c_str());
    std::ostream& out = frame.type == kStdout ? std::cout : std::cerr;
    out.write(frame.data.data(), static_cast<std::streamsize>(frame.data.size()));
    out.flush();
  }
  return -1;
}

int RunHere(Profile& profile, const Invocation& invocation, const RequestOrigin& origin) {
  CommandContext ctx(profile, origin, std::cout, std::cerr, nullptr);
  return RunCommand(invocation, ctx);
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
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

int InUse(const Invocation& invocation, const std::string& lock, pid_t holder) {
  std::cerr << "tarvex: " << lock << ": the profile is in use by process " << holder
            << "; try again when it is done\n";
  return invocation.ReadsInput() ? kExitFilterError : kExitFailure;
}

}  // namespace

int RunClient(Profile& profile, const Invocation& invocation,
              const std::vector<std::string>& args) {
  const ProfilePaths& paths = profile.paths();
  const int failure = invocation.ReadsInput() ? kExitFilterError : kExitFailure;
  RequestOrigin origin = OriginHere(invocation);
  if (invocation.command == "filter") {
    if (const std::optional<int> code = PassOnTooBig(profile, &origin.input)) return *code;
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
                        (invocation.command == "filter" ? kFilterLockWait : kLockWait);
  pid_t holder = 0;
  std::set<std::string> untrusted;
  for (;;) {
    if (UniqueFd daemon = ConnectToDaemon(paths, &untrusted); daemon.valid()) {
      const int code = Forward(daemon.get(), origin, args);
      if (code >= 0) return code;
      std::cerr << "tarvex: the daemon went away before answering\n";
      return failure;
    }
    if (std::optional<ProfileLock> lock = ProfileLock::TryAcquire(paths.lock, &holder)) {
      return RunHere(profile, invocation, origin);
    }
    if (std::chrono::steady_clock::now() > deadline) return InUse(invocation, paths.lock, holder);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void ServeClient(UniqueFd client, const Frame& frame, Profile& profile, MaildirSession& session) {
  std::vector<std::string> request;
  if (frame.type != kRequest || !UnpackStrings(frame.data, &request) || request.size() < 3) return;
  const RequestOrigin origin{request[0], request[2], request[1] == "1"};
  const std::vector<std::string> args(request.begin() + 3, request.end());
  int code;
  {
    FrameBuffer outBuffer(client.get(), kStdout), errBuffer(client.get(), kStderr);
    std::ostream out(&outBuffer), err(&errBuffer);
    const Parsed parsed = ParseCommandLine(args, out, err);
    code = parsed.exitCode;
    if (parsed.invocation && parsed.invocation->RunsInClient()) {
      err << "tarvex: " << parsed.invocation->command << " does not run in the daemon\n";
      code = kExitUsage;
    } else if (parsed.invocation) {
      CommandContext ctx(profile, origin, out, err, &session);
      code = RunCommand(*parsed.invocation, ctx);
    }
  }
  WriteFrame(client.get(), kExit, std::to_string(code));
}

int RunDaemonCommand(Profile& profile, std::ostream& log) {
  const ProfilePaths& paths = profile.paths();
  if (Status status = profile.Check(); !status.ok()) {
    log << "tarvex: " << status.message() << '\n';
    return kExitFailure;
  }
  pid_t holder = 0;
  std::optional<ProfileLock> lock =
      ProfileLock::AcquireWithin(paths.lock, kDaemonLockWait, &holder);
  if (!lock) {
    log << "tarvex: " << paths.lock << ": the profile is in use by process " << holder
        << " (is a daemon running already?)\n";
    return kExitFailure;
  }
  if (!maildir::IsDirectory(paths.maildir)) {
    if (!CreateMaildir(paths.maildir)) {
      log << "tarvex: " << paths.maildir << ": cannot create the Maildir\n";
      return kExitFailure;
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
  return RunDaemon(session, loop, options, log);
}

int RunInitCommand(Profile& profile, const Invocation& invocation) {
  const ProfilePaths& paths = profile.paths();
  std::error_code error;
  std::filesystem::create_directories(ParentOf(paths.settings), error);
  pid_t holder = 0;
  std::optional<ProfileLock> lock = ProfileLock::TryAcquire(paths.lock, &holder);
  if (!lock) return InUse(invocation, paths.lock, holder);
  return RunInit(profile, std::cout, std::cerr, invocation.force);
}

}  // namespace tarvex
