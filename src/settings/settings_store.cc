#include "settings/settings_store.h"

namespace tarvex {
namespace {

// A key over the store's map; it lives no longer than the store.
class MemorySettingsKey : public SettingsKey {
 public:
  explicit MemorySettingsKey(std::map<std::string, StoredValue>& values) : values_(values) {}

  std::optional<StoredValue> Query(const std::string& name) override {
    auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    return it->second;
  }
  void Set(const std::string& name, const StoredValue& value) override { values_[name] = value; }

 private:
  std::map<std::string, StoredValue>& values_;
};

}  // namespace

std::unique_ptr<SettingsKey> MemorySettingsStore::OpenKey() {
  if (!key_exists_) return nullptr;
  return std::make_unique<MemorySettingsKey>(values_);
}

}  // namespace tarvex
