#include "settings/filter_settings.h"

#include <cstring>
#include <memory>
#include <vector>

namespace tarvex {

uint32_t ReadDwordValue(SettingsStore& store, const std::string& name) {
  std::unique_ptr<SettingsKey> key = store.OpenKey();
  if (!key) return 0;
  const std::optional<StoredValue> value = key->Query(name);
  // At most 4 bytes are asked for; a longer value does not fit and reads as 0.
  // The type is deliberately not checked.
  if (!value || value->data.size() > 4) return 0;
  uint32_t number = 0;
  for (size_t i = value->data.size(); i > 0; --i) {
    number = (number << 8) | static_cast<unsigned char>(value->data[i - 1]);
  }
  return number;
}

void WriteDwordValue(SettingsStore& store, const std::string& name, uint32_t value) {
  std::unique_ptr<SettingsKey> key = store.OpenKey();
  if (!key) return;
  StoredValue stored{ValueType::kDword, std::string(4, '\0')};
  for (int i = 0; i < 4; ++i) stored.data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  key->Set(name, stored);
}

bool ReadStringValue(SettingsStore& store, const std::string& name, char* buffer,
                     size_t buffer_size) {
  std::unique_ptr<SettingsKey> key = store.OpenKey();
  if (!key || buffer == nullptr) return false;
  const std::optional<StoredValue> value = key->Query(name);
  // The bytes and the terminator put after them must both fit.
  if (!value || value->data.size() >= buffer_size) return false;
  std::memcpy(buffer, value->data.data(), value->data.size());
  buffer[value->data.size()] = '\0';
  return true;
}

void WriteStringValue(SettingsStore& store, const std::string& name, const std::string& text) {
  std::unique_ptr<SettingsKey> key = store.OpenKey();
  if (!key) return;
  key->Set(name, StoredValue{ValueType::kString, text});
}

const SettingInfo* FindSetting(const std::string& name) {
  for (const SettingInfo* s : setting::kAll) {
    if (name == s->name) return s;
  }
  return nullptr;
}

bool FilterSettings::GetWordFilePath(char* buffer, size_t size) const {
  return ReadStringValue(store_, setting::kWordFilePath.name, buffer, size);
}

bool FilterSettings::GetIgnoreFilePath(char* buffer, size_t size) const {
  return ReadStringValue(store_, setting::kIgnoreFilePath.name, buffer, size);
}

std::string FilterSettings::GetNotSpamFolderName() const {
  return Text(setting::kNotSpamFolderName, 256);
}

void FilterSettings::SetNotSpamFolderName(const std::string& name) {
  WriteStringValue(store_, setting::kNotSpamFolderName.name, name);
}

std::string FilterSettings::GetBlackListPath() const { return Text(setting::kBlackListPath, 260); }

std::string FilterSettings::GetWhiteListPath() const { return Text(setting::kWhiteListPath, 260); }

std::string FilterSettings::Text(const SettingInfo& s, size_t buffer_size) const {
  std::vector<char> buffer(buffer_size);
  if (!ReadStringValue(store_, s.name, buffer.data(), buffer.size())) return std::string();
  return std::string(buffer.data());  // ends at the first zero byte
}

}  // namespace tarvex
