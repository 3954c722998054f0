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

// Stateless accessors, one per value. Options: any non-zero number is on.
class FilterSettings {
 public:
  explicit FilterSettings(SettingsStore& store) : store_(store) {}

  uint32_t GetMarkReadBeforeMoving() const { return Dword("MarkReadBeforeMoving"); }
  uint32_t GetConsiderNonEnglishSpam() const { return Dword("ConsiderNonEnglishSpam"); }
  uint32_t GetBeepAtSpam() const { return Dword("BeepAtSpam"); }
  uint32_t GetLearnFromMarkSpam() const { return Dword("LearnFromMarkSpam"); }
  uint32_t GetLearnFromNotSpam() const { return Dword("LearnFromNotSpam"); }
  uint32_t GetLearnFromBlackListed() const { return Dword("LearnFromBlackListed"); }
  uint32_t GetLearnFromWhiteListed() const { return Dword("LearnFromWhiteListed"); }
  void SetMarkReadBeforeMoving(uint32_t v) { SetDword("MarkReadBeforeMoving", v); }
  void SetConsiderNonEnglishSpam(uint32_t v) { SetDword("ConsiderNonEnglishSpam", v); }
  void SetBeepAtSpam(uint32_t v) { SetDword("BeepAtSpam", v); }
  void SetLearnFromMarkSpam(uint32_t v) { SetDword("LearnFromMarkSpam", v); }
  void SetLearnFromNotSpam(uint32_t v) { SetDword("LearnFromNotSpam", v); }
  void SetLearnFromBlackListed(uint32_t v) { SetDword("LearnFromBlackListed", v); }
  void SetLearnFromWhiteListed(uint32_t v) { SetDword("LearnFromWhiteListed", v); }

  // The size in bytes above which a message is not judged; absent or 0 gives
  // the default.
  static constexpr uint32_t kDefaultMaxMessageSize = 20u << 20;
  uint32_t GetMaxMessageSize() const {
    const uint32_t size = Dword("MaxMessageSize");
    return size ? size : kDefaultMaxMessageSize;
  }
  void SetMaxMessageSize(uint32_t v) { SetDword("MaxMessageSize", v); }

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
  uint32_t Dword(const char* name) const { return ReadDwordValue(store_, name); }
  void SetDword(const char* name, uint32_t v) { WriteDwordValue(store_, name, v); }
  std::string Text(const char* name, size_t buffer_size) const;

  SettingsStore& store_;
};

}  // namespace tarvex

#endif  // TARVEX_SETTINGS_FILTER_SETTINGS_H_
