// The settings key kept in one human-readable text file in the registry-export
// format ("REGEDIT4"), which the user can edit by hand or with regedit:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Tarvex]
//   "BeepAtSpam"=dword:00000001
//   "WordFilePath"="/root/.local/share/tarvex/words.db"
//
// The key exists when the file can be read and holds that section. Nothing is
// cached: every query reads the file again, because another process (the
// settings dialog, an editor) may have changed it, and every write rewrites the
// whole file, keeping everything outside the value it changes as it was.
#ifndef TARVEX_SETTINGS_REG_FILE_STORE_H_
#define TARVEX_SETTINGS_REG_FILE_STORE_H_

#include <functional>
#include <memory>
#include <string>

#include "platform/file_system.h"
#include "settings/settings_store.h"

namespace tarvex {

class RegFileSettingsStore : public SettingsStore {
 public:
  // The section holding the settings' values.
  static constexpr const char* kKeyName = "HKEY_CURRENT_USER\\Software\\Tarvex";

  // path is a text of the system (Windows-1252), as FileSystem expects.
  RegFileSettingsStore(FileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}

  std::unique_ptr<SettingsKey> OpenKey() override;
  // Creates the file, or adds the section to a file that lacks it.
  bool CreateKey() override;

  // Why OpenKey finds no key: the system's reason the file cannot be read,
  // an empty file, the first line that is neither blank, a comment, a
  // section nor a value, or else the missing section. Ok when the key is there.
  Status Check();
  // Replaces the file with one that holds only the empty key, keeping the old
  // file beside it as "<path>.bak".
  Status Reset();

  const std::string& path() const { return path_; }

 private:
  FileSystem& fs_;
  std::string path_;
};

// Where the settings file lives: $TARVEX_CONFIG when set, otherwise
// settings.reg in the "tarvex" folder of the user's configuration folder
// ($XDG_CONFIG_HOME, or $HOME/.config). The path is native UTF-8.
std::string DefaultSettingsPath(const std::function<const char*(const char*)>& getenv);

}  // namespace tarvex

#endif  // TARVEX_SETTINGS_REG_FILE_STORE_H_
