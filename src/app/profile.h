// The user's profile on this machine: the settings file, the data folder, the
// Maildir, the lock and the daemon's socket, and the real services (clock,
// files, settings) that one run of the program works with.
#ifndef TARVEX_APP_PROFILE_H_
#define TARVEX_APP_PROFILE_H_

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
  std::string imap;            // --imap; empty for the account file's
  std::optional<int32_t> now;  // --now
};

// Native (UTF-8) locations of the profile's files.
struct ProfilePaths {
  std::string settings;
  std::string data_folder;
  std::string maildir;  // --maildir, else $MAILDIR, else ~/Maildir
  std::string lock;     // held by whoever works on the word database
  std::string socket;   // where the profile's daemon listens
  // What the daemon remembers of the Maildir's mail between runs, in
  // $XDG_STATE_HOME/tarvex (else ~/.local/state/tarvex).
  std::string announced;
  // The IMAP account, beside the settings file, and the folder where what
  // was announced of it is remembered.
  std::string account;
  std::string state_folder;
  // Where a client looks for the daemon, socket first, then where a daemon
  // started with another environment (by a service manager, by cron) would
  // listen.
  std::vector<std::string> sockets;
};

ProfilePaths LocateProfile(const ProfileOptions& options, const GetEnv& getenv);

// What the daemon shows while no command runs: message boxes go to its log
// as "caption: text", and a beep rings the terminal's bell when the log is
// a terminal.
class ConsoleUi : public UserInterface {
 public:
  ConsoleUi(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  void Beep(uint32_t type) override;
  // "caption: text (details)".
  void ShowHostError(const std::string& text, const std::string& caption,
                     const std::string& details) override;
  // Nobody is there to answer a dialog: each ends as cancelled.
  int RunModal(DialogPresenter&) override { return 2; }
  uint32_t ShowPopupMenu(const Menu&, const ScreenRect&) override { return 0; }
  void OpenAddress(const std::string& address) override;

 private:
  std::ostream& err_;
  bool terminal_;
};

class Profile {
 public:
  Profile(const ProfileOptions& options, const GetEnv& getenv);

  const ProfilePaths& paths() const { return paths_; }
  const ProfileOptions& options() const { return options_; }
  // The settings file is a system text (Windows-1252) for the file system.
  std::string SettingsSystemPath() const;
  // Ok when the settings file holds the profile; else why not, for the
  // user: no profile yet, or what is wrong with the file.
  Status Check();

  const Clock& clock() const { return *clock_; }
  FileSystem& fs() { return fs_; }
  RegFileSettingsStore& store() { return store_; }
  FilterSettings settings() { return FilterSettings(store_); }

 private:
  ProfileOptions options_;
  ProfilePaths paths_;
  std::unique_ptr<Clock> clock_;
  PosixFileSystem fs_;
  RegFileSettingsStore store_;
};

}  // namespace tarvex

#endif  // TARVEX_APP_PROFILE_H_
