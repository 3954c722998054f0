// The store behind the settings: one key holding named, typed values, with the
// semantics of a registry key. Readers and writers go through the four
// primitives of filter_settings.h, which open the key for every access.
#ifndef TARVEX_SETTINGS_SETTINGS_STORE_H_
#define TARVEX_SETTINGS_SETTINGS_STORE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// Registry value types, with their Windows numbers.
enum class ValueType : uint32_t {
  kNone = 0,
  kString = 1,  // REG_SZ
  kExpandString = 2,
  kBinary = 3,
  kDword = 4,  // little-endian 32-bit number
  kMultiString = 7,
  kQword = 11,
};

struct StoredValue {
  ValueType type = ValueType::kNone;
  std::string data;  // the value's bytes, exactly as stored
  bool operator==(const StoredValue& o) const { return type == o.type && data == o.data; }
};

// One opened key. Reading and writing a value of a key that is open cannot
// fail in a way the settings care about; a failed write is simply lost.
class SettingsKey {
 public:
  virtual ~SettingsKey() = default;
  virtual std::optional<StoredValue> Query(const std::string& name) = 0;
  virtual void Set(const std::string& name, const StoredValue& value) = 0;
};

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // Opens the key. Null when it does not exist or cannot be opened; the system
  // never creates it.
  virtual std::unique_ptr<SettingsKey> OpenKey() = 0;
  // Creates the key when it is missing; only installation does this.
  virtual bool CreateKey() = 0;
};

// A key held in memory, for tests.
class MemorySettingsStore : public SettingsStore {
 public:
  explicit MemorySettingsStore(bool key_exists = true) : key_exists_(key_exists) {}
  std::unique_ptr<SettingsKey> OpenKey() override;
  bool CreateKey() override { return key_exists_ = true; }

  bool key_exists() const { return key_exists_; }
  std::map<std::string, StoredValue>& values() { return values_; }

 private:
  bool key_exists_;
  std::map<std::string, StoredValue> values_;
};

}  // namespace tarvex

#endif  // TARVEX_SETTINGS_SETTINGS_STORE_H_
