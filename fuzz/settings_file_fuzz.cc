// Feeds arbitrary text to the settings file reader as the settings file. When
// it holds the settings' section, every value it reads is written back and
// read again, then a value made from the input is written: each write must
// read back exactly as written (type and bytes), and leave every other value
// the file holds as it was.
//
// The names looked at are those written in quotes at the start of the file's
// lines (taken raw, without unescaping: a name that does not match simply
// reads as absent, which must hold as well), a few of the system's own, and
// one that needs escaping.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lists/sender_lists.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "settings/reg_file_store.h"
#include "settings/settings_store.h"

#include "check.h"

namespace {

const char kPath[] = "/profile/settings.reg";
constexpr size_t kMaxNames = 16;

std::vector<std::string> CandidateNames(std::string_view text) {
  std::vector<std::string> names = {"BeepAtSpam", "WordFilePath", "Quote\"Back\\slash"};
  size_t pos = 0;
  while (pos < text.size() && names.size() < kMaxNames) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    const size_t open = line.find_first_not_of(" \t");
    if (open != std::string_view::npos && line[open] == '"') {
      const size_t close = line.find('"', open + 1);
      if (close != std::string_view::npos) {
        names.push_back(tarvex::cp1252::FromUtf8(line.substr(open + 1, close - open - 1)));
      }
    }
    pos = end + 1;
  }
  return names;
}

using Values = std::map<std::string, std::optional<tarvex::StoredValue>>;

Values ReadAll(tarvex::SettingsKey& key, const std::vector<std::string>& names) {
  Values values;
  for (const std::string& name : names) values[name] = key.Query(name);
  return values;
}

// Writes the value and checks that it, and nothing else, changed.
void WriteAndCheck(tarvex::SettingsKey& key, const std::vector<std::string>& names,
                   Values* expected, const std::string& name, const tarvex::StoredValue& value) {
  key.Set(name, value);
  for (auto& [other, old] : *expected) {
    if (tarvex::EqualIgnoringCase(other, name)) old = value;
  }
  CHECK(key.Query(name) == std::optional<tarvex::StoredValue>(value));
  CHECK(ReadAll(key, names) == *expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tarvex::MemoryFileSystem fs;
  fs.files()[kPath] = std::string(text);
  tarvex::RegFileSettingsStore store(fs, kPath);
  const std::unique_ptr<tarvex::SettingsKey> key = store.OpenKey();
  if (!key) return 0;

  const std::vector<std::string> names = CandidateNames(text);
  Values expected = ReadAll(*key, names);
  for (const std::string& name : names) {
    if (const std::optional<tarvex::StoredValue> value = key->Query(name)) {
      WriteAndCheck(*key, names, &expected, name, *value);
    }
  }

  // A value of a type and bytes the input chooses, under the last name.
  tarvex::StoredValue fresh;
  fresh.type = size > 0 ? static_cast<tarvex::ValueType>(data[0] % 12) : tarvex::ValueType::kString;
  fresh.data = std::string(text.substr(size / 2, 64));
  WriteAndCheck(*key, names, &expected, names.back(), fresh);
  return 0;
}
