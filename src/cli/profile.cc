#include "cli/profile.h"

#include <ostream>

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

}  // namespace

ProfilePaths LocateProfile(const ProfileOptions& options, const GetEnv& getenv) {
  return {options.config.empty() ? DefaultSettingsPath(getenv) : options.config,
          DataFolder(getenv)};
}

int ConsoleUi::MessageBox(const std::string& text, const std::string& caption, uint32_t) {
  err_ << cp1252::ToUtf8(caption) << ": " << cp1252::ToUtf8(text) << '\n';
  ++boxes_shown_;
  return mb::kIdOk;
}

void ConsoleUi::OpenAddress(const std::string& address) { OpenWithDesktop(address); }

Profile::Profile(const ProfileOptions& options, const GetEnv& getenv, std::ostream& err)
    : paths_(LocateProfile(options, getenv)),
      clock_(options.now ? std::unique_ptr<Clock>(std::make_unique<ManualClock>(*options.now))
                         : std::make_unique<SystemClock>()),
      store_(fs_, cp1252::FromUtf8(paths_.settings)),
      ui_(err) {}

std::string Profile::SettingsSystemPath() const { return store_.path(); }

bool Profile::Exists() { return store_.OpenKey() != nullptr; }

}  // namespace tarvex
