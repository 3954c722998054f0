// Feeds arbitrary bytes to the sender lists as the blacklist file: load, match
// the loaded entries, then edit the file and load it again.
//
// Checks: a file that does not load is never written; every loaded entry
// matches itself (an address also in angle brackets, unless brackets are
// part of it) and is found by name; adding an entry made from the input,
// removing it again and renaming a domain each save a file that loads as the
// old entries with exactly that change (once the library's own printing
// has settled, see below).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lists/sender_lists.h"
#include "platform/file_system.h"
#include "settings/filter_settings.h"
#include "settings/settings_store.h"

#include "check.h"

namespace {

const char kPath[] = "/profile/blacklist.xml";

struct Entries {
  std::vector<std::string> addresses, domains;
  bool operator==(const Entries& o) const {
    return addresses == o.addresses && domains == o.domains;
  }
};

bool Load(tarvex::FileSystem& fs, const tarvex::FilterSettings& settings, Entries* entries) {
  *entries = {};
  return tarvex::LoadBlacklist(fs, settings, &entries->addresses, &entries->domains);
}

// Drops the first entry that the lists take for text, as removing does.
void EraseFirst(std::vector<std::string>* entries, std::string_view text) {
  for (auto it = entries->begin(); it != entries->end(); ++it) {
    if (tarvex::EqualIgnoringCase(*it, text)) {
      entries->erase(it);
      return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file(reinterpret_cast<const char*>(data), size);
  tarvex::MemoryFileSystem fs;
  tarvex::MemorySettingsStore store;
  tarvex::WriteStringValue(store, "BlackListPath", kPath);
  const tarvex::FilterSettings settings(store);
  fs.files()[kPath] = file;
  using tarvex::EntryKind;
  using tarvex::ListId;

  Entries loaded;
  // The entry the edits use: the input's last bytes, folded into printable
  // ASCII (so "&", "<" and quotes stay, and what the library makes of other
  // bytes under a declared encoding does not come into it).
  std::string text = file.substr(size > 24 ? size - 24 : 0);
  for (char& c : text) c = static_cast<char>(0x20 + static_cast<unsigned char>(c) % 0x5F);
  if (!Load(fs, settings, &loaded)) {
    CHECK(loaded == Entries{});
    CHECK(!tarvex::AddEntry(fs, settings, ListId::Blacklist, EntryKind::Address, text));
    tarvex::RemoveEntry(fs, settings, ListId::Blacklist, EntryKind::Domain, text);
    CHECK(fs.files()[kPath] == file);
    return 0;
  }

  tarvex::SenderLists lists;
  lists.blacklistAddresses = loaded.addresses;
  lists.blacklistDomains = loaded.domains;
  for (const std::string& address : loaded.addresses) {
    const bool bracketed = !address.empty() && (address.front() == '<' || address.back() == '>');
    CHECK(bracketed || lists.IsBlacklistedAddress(address));
    CHECK(bracketed || lists.IsBlacklistedAddress("<" + address + ">"));
    CHECK(!lists.IsWhitelistedAddress(address));
    CHECK(tarvex::ContainsEntry(fs, settings, ListId::Blacklist, EntryKind::Address, address));
  }
  for (const std::string& domain : loaded.domains) {
    CHECK(lists.IsBlacklistedDomain(domain));
    CHECK(tarvex::ContainsEntry(fs, settings, ListId::Blacklist, EntryKind::Domain, domain));
  }
  CHECK(fs.files()[kPath] == file);  // nothing above writes

  // The library reproduces a file in its own way (entities, encoding
  // detection), so edits are judged against a file it has printed itself:
  // rewritten twice (removing a name that is not there), which must then
  // read the same when rewritten once more, or the file is the library's
  // business.
  const char kAbsent[] =
      "\x01"
      "absent";
  if (tarvex::ContainsEntry(fs, settings, ListId::Blacklist, EntryKind::Domain, kAbsent)) return 0;
  Entries expected, reloaded;
  for (int i = 0; i < 2; ++i) {
    tarvex::RemoveEntry(fs, settings, ListId::Blacklist, EntryKind::Domain, kAbsent);
  }
  if (!Load(fs, settings, &expected)) return 0;
  tarvex::RemoveEntry(fs, settings, ListId::Blacklist, EntryKind::Domain, kAbsent);
  if (!Load(fs, settings, &reloaded) || !(reloaded == expected)) return 0;

  // A list is never replaced by text that the library would not read back as
  // the entries it printed: such an edit is refused and the file stays as it
  // was. Each edit below either changes the file to exactly the entries
  // expected, or leaves it, and the entries, as they were.
  const auto edited = [&](const std::string& before, const Entries& prior) {
    if (fs.files()[kPath] != before) return true;
    CHECK(Load(fs, settings, &reloaded) && reloaded == prior);
    return false;
  };
  std::string before = fs.files()[kPath];
  Entries prior = expected;
  CHECK(tarvex::AddEntry(fs, settings, ListId::Blacklist, EntryKind::Address, text));
  if (!edited(before, prior)) return 0;
  expected.addresses.push_back(text);
  CHECK(Load(fs, settings, &reloaded) && reloaded == expected);

  before = fs.files()[kPath];
  prior = expected;
  tarvex::RemoveEntry(fs, settings, ListId::Blacklist, EntryKind::Address, text);
  if (!edited(before, prior)) return 0;
  EraseFirst(&expected.addresses, text);
  CHECK(Load(fs, settings, &reloaded) && reloaded == expected);

  if (!expected.domains.empty()) {
    const std::string old = expected.domains.front();
    before = fs.files()[kPath];
    prior = expected;
    CHECK(tarvex::RenameEntry(fs, settings, ListId::Blacklist, EntryKind::Domain, text, old));
    if (!edited(before, prior)) return 0;
    expected.domains.front() = text;
    CHECK(Load(fs, settings, &reloaded) && reloaded == expected);
  }
  return 0;
}
