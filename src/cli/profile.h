// The user's profile on this machine: the settings file, the data folder, and
// the real services (clock, files, settings, user interface) that one run of
// the command line works with.
#ifndef TARVEX_CLI_PROFILE_H_
#define TARVEX_CLI_PROFILE_H_

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "settings/filter_settings.h"
#include "settings/reg_file_store.h"
#include "ui/user_interface.h"

namespace tarvex {

using GetEnv = std::function<const char*(const char*)>;

struct ProfileOptions {
  std::string config;          // --config; empty for the default
  std::string maildir;         // --maildir; empty for the default
  std::optional<int32_t> now;  // --now
};

// Native (UTF-8) locations of the profile's files.
struct ProfilePaths {
  std::string settings;
  std::string data_folder;
  std::string maildir;  // --maildir, else $MAILDIR, else ~/Maildir
  std::string lock;     // held by whoever works on the word database
  std::string socket;   // where the profile's daemon listens
};

ProfilePaths LocateProfile(const ProfileOptions& options, const GetEnv& getenv);

// Message boxes of a command-line run go to standard error as "caption: text".
class ConsoleUi : public UserInterface {
 public:
  explicit ConsoleUi(std::ostream& err) : err_(err) {}
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  void Beep(uint32_t) override {}
  // The command line shows no dialogs: each ends as cancelled.
  int RunModal(DialogPresenter&) override { return 2; }
  uint32_t ShowPopupMenu(const Menu&, const ScreenRect&) override { return 0; }
  void OpenAddress(const std::string& address) override;
  int boxes_shown() const { return boxes_shown_; }

 private:
  std::ostream& err_;
  int boxes_shown_ = 0;
};

class Profile {
 public:
  Profile(const ProfileOptions& options, const GetEnv& getenv, std::ostream& err);

  const ProfilePaths& paths() const { return paths_; }
  // The settings file is a system text (Windows-1252) for the file system.
  std::string SettingsSystemPath() const;
  bool Exists();

  const Clock& clock() const { return *clock_; }
  FileSystem& fs() { return fs_; }
  RegFileSettingsStore& store() { return store_; }
  FilterSettings settings() { return FilterSettings(store_); }
  ConsoleUi& ui() { return ui_; }

 private:
  ProfilePaths paths_;
  std::unique_ptr<Clock> clock_;
  PosixFileSystem fs_;
  RegFileSettingsStore store_;
  ConsoleUi ui_;
};

}  // namespace tarvex

#endif  // TARVEX_CLI_PROFILE_H_
