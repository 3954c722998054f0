#include "app/profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <ostream>

#include "app/imap_account.h"
#include "app/maildir_session.h"
#include "platform/codepage.h"
#include "platform/desktop.h"
#include "plugin/host_error_report.h"

namespace tarvex {
namespace {

std::string EnvOr(const GetEnv& getenv, const char* name) {
  const char* value = getenv(name);
  return value ? value : "";
}

// $XDG_DATA_HOME/tarvex, else ~/.local/share/tarvex.
std::string DataFolder(const GetEnv& getenv) {
  const std::string xdg = EnvOr(getenv, "XDG_DATA_HOME");
  if (!xdg.empty()) return xdg + "/tarvex";
  return EnvOr(getenv, "HOME") + "/.local/share/tarvex";
}

// $XDG_STATE_HOME/tarvex, else ~/.local/state/tarvex.
std::string StateFolder(const GetEnv& getenv) {
  const std::string xdg = EnvOr(getenv, "XDG_STATE_HOME");
  if (!xdg.empty()) return xdg + "/tarvex";
  return EnvOr(getenv, "HOME") + "/.local/state/tarvex";
}

std::string Maildir(const ProfileOptions& options, const GetEnv& getenv) {
  if (!options.maildir.empty()) return options.maildir;
  const std::string maildir = EnvOr(getenv, "MAILDIR");
  return maildir.empty() ? EnvOr(getenv, "HOME") + "/Maildir" : maildir;
}

std::string Absolute(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

bool OwnFolder(const std::string& path) {
  struct stat status;
  return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         status.st_uid == ::geteuid();
}

// The folders for this user's sockets, the daemon's first: in
// $XDG_RUNTIME_DIR; without it (a delivery agent or cron clears the
// environment) in the folder a login session would have named there,
// /run/user/UID, when it exists and is the user's; else in a private folder
// in /tmp. A client looks in the others too, for a daemon that was started
// with another environment.
std::vector<std::string> SocketFolders(const GetEnv& getenv) {
  const std::string uid = std::to_string(::geteuid());
  const std::string runtime = EnvOr(getenv, "XDG_RUNTIME_DIR");
  const std::string session = "/run/user/" + uid;
  std::vector<std::string> folders;
  if (!runtime.empty()) folders.push_back(runtime + "/tarvex");
  if (OwnFolder(session) && runtime != session) folders.push_back(session + "/tarvex");
  folders.push_back("/tmp/tarvex-" + uid);
  return folders;
}

// One socket per profile, so that daemons of different profiles can run side
// by side: named after a hash (FNV-1a) of the settings file's full path.
std::vector<std::string> SocketPaths(const std::string& settings, const GetEnv& getenv) {
  uint64_t hash = 0xcbf29ce484222325;
  for (unsigned char c : Absolute(settings)) hash = (hash ^ c) * 0x100000001b3;
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.sock", static_cast<unsigned long long>(hash));
  std::vector<std::string> paths;
  for (const std::string& folder : SocketFolders(getenv)) paths.push_back(folder + "/" + name);
  return paths;
}

}  // namespace

ProfilePaths LocateProfile(const ProfileOptions& options, const GetEnv& getenv) {
  ProfilePaths paths;
  paths.settings = options.config.empty() ? DefaultSettingsPath(getenv) : options.config;
  paths.data_folder = DataFolder(getenv);
  paths.maildir = Maildir(options, getenv);
  paths.lock = paths.settings + ".lock";
  paths.sockets = SocketPaths(paths.settings, getenv);
  paths.socket = paths.sockets.front();
  paths.announced = AnnouncedStateFile(StateFolder(getenv), paths.maildir);
  paths.account = AccountFilePath(paths.settings);
  paths.state_folder = StateFolder(getenv);
  return paths;
}

int ConsoleUi::MessageBox(const std::string& text, const std::string& caption, uint32_t) {
  err_ << cp1252::ToUtf8(caption) << ": " << cp1252::ToUtf8(text) << '\n';
  return mb::kIdOk;
}

void ConsoleUi::Beep(uint32_t) {
  if (terminal_) err_ << '\a' << std::flush;
}

void ConsoleUi::ShowHostError(const std::string& text, const std::string& caption,
                              const std::string& details) {
  err_ << HostErrorLine(text, caption, details) << '\n';
}

void ConsoleUi::OpenAddress(const std::string& address) { OpenWithDesktop(address); }

Profile::Profile(const ProfileOptions& options, const GetEnv& getenv)
    : options_(options),
      paths_(LocateProfile(options, getenv)),
      clock_(options.now ? std::unique_ptr<Clock>(std::make_unique<ManualClock>(*options.now))
                         : std::make_unique<SystemClock>()),
      store_(fs_, cp1252::FromUtf8(paths_.settings)) {}

std::string Profile::SettingsSystemPath() const { return store_.path(); }

Status Profile::Check() {
  const Status status = store_.Check();
  if (status.ok()) return status;
  if (status.IsNotFound()) {
    return Status::Invalid(paths_.settings, "no profile here; run 'tarvex init' first");
  }
  return status.WithNote(
      "mend the file, or run 'tarvex init --force', which keeps the learnt words and the sender "
      "lists");
}

}  // namespace tarvex
