#include "cli/profile.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <ostream>

#include "host/host_error_report.h"
#include "platform/codepage.h"
#include "platform/desktop.h"

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

// One socket per profile, so that daemons of different profiles can run side
// by side: named after a hash (FNV-1a) of the settings file's full path.
std::string SocketPath(const std::string& settings, const GetEnv& getenv) {
  uint64_t hash = 0xcbf29ce484222325;
  for (unsigned char c : Absolute(settings)) hash = (hash ^ c) * 0x100000001b3;
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.sock", static_cast<unsigned long long>(hash));
  std::string folder = EnvOr(getenv, "XDG_RUNTIME_DIR");
  folder = folder.empty() ? "/tmp/tarvex-" + std::to_string(::getuid()) : folder + "/tarvex";
  return folder + "/" + name;
}

}  // namespace

ProfilePaths LocateProfile(const ProfileOptions& options, const GetEnv& getenv) {
  ProfilePaths paths;
  paths.settings = options.config.empty() ? DefaultSettingsPath(getenv) : options.config;
  paths.data_folder = DataFolder(getenv);
  paths.maildir = Maildir(options, getenv);
  paths.lock = paths.settings + ".lock";
  paths.socket = SocketPath(paths.settings, getenv);
  return paths;
}

int ConsoleUi::MessageBox(const std::string& text, const std::string& caption, uint32_t) {
  err_ << cp1252::ToUtf8(caption) << ": " << cp1252::ToUtf8(text) << '\n';
  return mb::kIdOk;
}

void ConsoleUi::ShowHostError(const std::string& text, const std::string& caption,
                              const std::string& details) {
  err_ << HostErrorLine(text, caption, details) << '\n';
}

void ConsoleUi::OpenAddress(const std::string& address) { OpenWithDesktop(address); }

Profile::Profile(const ProfileOptions& options, const GetEnv& getenv)
    : paths_(LocateProfile(options, getenv)),
      clock_(options.now ? std::unique_ptr<Clock>(std::make_unique<ManualClock>(*options.now))
                         : std::make_unique<SystemClock>()),
      store_(fs_, cp1252::FromUtf8(paths_.settings)) {}

std::string Profile::SettingsSystemPath() const { return store_.path(); }

bool Profile::Exists() { return store_.OpenKey() != nullptr; }

}  // namespace tarvex
