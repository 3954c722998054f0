// The user's options and the locations of the system's files, read from the
// settings store at every use and never cached, so a value written by the
// settings dialog is seen by the very next reader.
#ifndef TARVEX_SETTINGS_FILTER_SETTINGS_H_
#define TARVEX_SETTINGS_FILTER_SETTINGS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/settings_store.h"

namespace tarvex {

// The four primitives. Each opens the key, reads or writes one value and closes
// the key again.
// The stored number, or 0 when the key cannot be opened or the value does not
// fit in 4 bytes (its type is not checked).
uint32_t ReadDwordValue(SettingsStore& store, const std::string& name);
void WriteDwordValue(SettingsStore& store, const std::string& name, uint32_t value);
// Reads the text into buffer (zero-terminated). False when the key cannot be
// opened, the value is missing, or its bytes and a terminator do not fit in
// buffer_size; the buffer is then undefined. The text ends at the first zero byte.
bool ReadStringValue(SettingsStore& store, const std::string& name, char* buffer,
                     size_t buffer_size);
// Stores the text's bytes as a string value, without a terminator.
void WriteStringValue(SettingsStore& store, const std::string& name, const std::string& text);

// The folder spam is moved into, under the local folders. Its name is fixed,
// not a setting.
inline constexpr char kSpamFolderName[] = "DedoZarozo";

enum class SettingKind {
  kOption,  // on or off, a number where any non-zero number is on
  kNumber,
  kFolder,  // a folder's name, empty for none
  kPath,    // a data file's location, placed by init and never written again
};

// One value of the settings: what it is called, what init writes, where the
// Settings dialog shows it. This table is the one place that spells the
// names; every other list of settings is read from it.
struct SettingInfo {
  const char* name;  // as the settings store spells it
  SettingKind kind;
  uint32_t initNumber;   // what init writes for an option or a number
  const char* initText;  // ... for a folder; for a path, the file's name in the data folder
  int dialogControl;     // the Settings dialog's check box for it; 0 when there is none
  const char* help;      // one line for the command line

  // What the user changes (the Settings dialog's), as opposed to what
  // installation places or only a hand edits.
  constexpr bool ChangedByUser() const {
    return kind == SettingKind::kOption || kind == SettingKind::kFolder;
  }
};

namespace setting {
using K = SettingKind;
inline constexpr SettingInfo kMarkReadBeforeMoving{"MarkReadBeforeMoving",
                                                   K::kOption,
                                                   0,
                                                   "",
                                                   1402,
                                                   "mark spam read as it moves to the spam folder"};
inline constexpr SettingInfo kConsiderNonEnglishSpam{
    "ConsiderNonEnglishSpam",
    K::kOption,
    1,
    "",
    1403,
    "take mail in non-English characters for spam"};
inline constexpr SettingInfo kBeepAtSpam{
    "BeepAtSpam", K::kOption, 0, "", 1404, "beep when a new message is judged spam"};
inline constexpr SettingInfo kLearnFromMarkSpam{
    "LearnFromMarkSpam", K::kOption, 1, "", 1407, "learn from the messages you mark as spam"};
inline constexpr SettingInfo kLearnFromNotSpam{
    "LearnFromNotSpam", K::kOption, 1, "", 1408, "learn from the messages you mark as not spam"};
inline constexpr SettingInfo kLearnFromBlackListed{
    "LearnFromBlackListed", K::kOption, 0, "", 1409, "learn mail from blacklisted senders as spam"};
inline constexpr SettingInfo kLearnFromWhiteListed{"LearnFromWhiteListed",
                                                   K::kOption,
                                                   0,
                                                   "",
                                                   1410,
                                                   "learn mail from whitelisted senders as clean"};
// Absent or 0 gives the default.
inline constexpr SettingInfo kMaxMessageSize{
    "MaxMessageSize",
    K::kNumber,
    20u << 20,
    "",
    0,
    "the size in bytes above which a message is not judged"};
// The dialog's box is ticked when the name is empty: the user is asked each time.
inline constexpr SettingInfo kNotSpamFolderName{
    "NotSpamFolderName",
    K::kFolder,
    0,
    "",
    1405,
    "the folder not-spam moves messages to out of the spam folder; empty: ask each time"};
inline constexpr SettingInfo kWordFilePath{"WordFilePath", K::kPath, 0,
                                           "words.db",     0,        "the word database"};
inline constexpr SettingInfo kIgnoreFilePath{
    "IgnoreFilePath", K::kPath, 0, "ignore.txt", 0, "the words the filter ignores"};
inline constexpr SettingInfo kBlackListPath{"BlackListPath", K::kPath, 0,
                                            "blacklist.xml", 0,        "the blacklist of senders"};
inline constexpr SettingInfo kWhiteListPath{"WhiteListPath", K::kPath, 0,
                                            "whitelist.xml", 0,        "the whitelist of senders"};

// Every setting, in the order init writes the ones that are not paths and
// the command line shows them.
inline constexpr const SettingInfo* kAll[] = {
    &kMarkReadBeforeMoving, &kConsiderNonEnglishSpam, &kBeepAtSpam,           &kLearnFromMarkSpam,
    &kLearnFromNotSpam,     &kLearnFromBlackListed,   &kLearnFromWhiteListed, &kMaxMessageSize,
    &kNotSpamFolderName,    &kWordFilePath,           &kIgnoreFilePath,       &kBlackListPath,
    &kWhiteListPath,
};
}  // namespace setting

// The setting of that name; null when there is none.
const SettingInfo* FindSetting(const std::string& name);

// Stateless accessors, one per value. Options: any non-zero number is on.
class FilterSettings {
 public:
  explicit FilterSettings(SettingsStore& store) : store_(store) {}

  uint32_t GetMarkReadBeforeMoving() const { return Dword(setting::kMarkReadBeforeMoving); }
  uint32_t GetConsiderNonEnglishSpam() const { return Dword(setting::kConsiderNonEnglishSpam); }
  uint32_t GetBeepAtSpam() const { return Dword(setting::kBeepAtSpam); }
  uint32_t GetLearnFromMarkSpam() const { return Dword(setting::kLearnFromMarkSpam); }
  uint32_t GetLearnFromNotSpam() const { return Dword(setting::kLearnFromNotSpam); }
  uint32_t GetLearnFromBlackListed() const { return Dword(setting::kLearnFromBlackListed); }
  uint32_t GetLearnFromWhiteListed() const { return Dword(setting::kLearnFromWhiteListed); }
  void SetMarkReadBeforeMoving(uint32_t v) { SetDword(setting::kMarkReadBeforeMoving, v); }
  void SetConsiderNonEnglishSpam(uint32_t v) { SetDword(setting::kConsiderNonEnglishSpam, v); }
  void SetBeepAtSpam(uint32_t v) { SetDword(setting::kBeepAtSpam, v); }
  void SetLearnFromMarkSpam(uint32_t v) { SetDword(setting::kLearnFromMarkSpam, v); }
  void SetLearnFromNotSpam(uint32_t v) { SetDword(setting::kLearnFromNotSpam, v); }
  void SetLearnFromBlackListed(uint32_t v) { SetDword(setting::kLearnFromBlackListed, v); }
  void SetLearnFromWhiteListed(uint32_t v) { SetDword(setting::kLearnFromWhiteListed, v); }

  // The size in bytes above which a message is not judged; absent or 0 gives
  // the default.
  uint32_t GetMaxMessageSize() const {
    const uint32_t size = Dword(setting::kMaxMessageSize);
    return size ? size : setting::kMaxMessageSize.initNumber;
  }
  void SetMaxMessageSize(uint32_t v) { SetDword(setting::kMaxMessageSize, v); }

  // The word database passes a buffer of 260 bytes.
  bool GetWordFilePath(char* buffer, size_t size) const;
  bool GetIgnoreFilePath(char* buffer, size_t size) const;
  // Empty when unreadable (absent, or longer than 255 bytes).
  std::string GetNotSpamFolderName() const;
  void SetNotSpamFolderName(const std::string& name);
  // Empty when unreadable (absent, or longer than 259 bytes).
  std::string GetBlackListPath() const;
  std::string GetWhiteListPath() const;

  SettingsStore& store() const { return store_; }

 private:
  uint32_t Dword(const SettingInfo& s) const { return ReadDwordValue(store_, s.name); }
  void SetDword(const SettingInfo& s, uint32_t v) { WriteDwordValue(store_, s.name, v); }
  std::string Text(const SettingInfo& s, size_t buffer_size) const;

  SettingsStore& store_;
};

}  // namespace tarvex

#endif  // TARVEX_SETTINGS_FILTER_SETTINGS_H_
