#include "lists/list_operations.h"

namespace tarvex {
namespace {

// The words of one list's dialog.
struct ListWords {
  const char* duplicateDomain;   // the name is already a domain entry
  const char* duplicateAddress;  // ... an address entry
  const char* added;
  const char* updated;
};

const ListWords& WordsOf(ListId list) {
  static const ListWords black{"This Domain Already Exists in BlackList",
                               "This MailId Already Exists in BlackList", "Item Added To Blacklist",
                               "Item Updated in Blacklist"};
  static const ListWords white{"This Domain Already Exists in WhiteList",
                               "This MailId Already Exists in WhiteList", "Item Added To Whitelist",
                               "Item Updated in Whitelist"};
  return list == ListId::Whitelist ? white : black;
}

// Why name cannot become an entry of the kind; kDone when it can. Duplicates
// are looked for in the file, not in what a caller holds in memory.
ListEdit CheckNewName(FileSystem& fs, const FilterSettings& settings, ListId list, EntryKind kind,
                      const std::string& name) {
  if (name.empty()) return {ListEdit::Outcome::kNoName, "Please Enter an Item Name"};
  if (ContainsEntry(fs, settings, list, kind, name)) {
    const ListWords& words = WordsOf(list);
    return {ListEdit::Outcome::kDuplicate,
            kind == EntryKind::Domain ? words.duplicateDomain : words.duplicateAddress};
  }
  return {};
}

bool LoadList(FileSystem& fs, const FilterSettings& settings, ListId list,
              std::vector<std::string>* addresses, std::vector<std::string>* domains) {
  return list == ListId::Whitelist ? LoadWhitelist(fs, settings, addresses, domains)
                                   : LoadBlacklist(fs, settings, addresses, domains);
}

}  // namespace

std::vector<std::string> ListEntries(FileSystem& fs, const FilterSettings& settings, ListId list,
                                     EntryKind kind) {
  std::vector<std::string> entries;
  LoadList(fs, settings, list, kind == EntryKind::Address ? &entries : nullptr,
           kind == EntryKind::Domain ? &entries : nullptr);
  return entries;
}

ListEdit AddListEntry(FileSystem& fs, const FilterSettings& settings, ListId list, EntryKind kind,
                      const std::string& name) {
  ListEdit edit = CheckNewName(fs, settings, list, kind, name);
  if (!edit.ok()) return edit;
  // A file that cannot be read takes nothing, and that is not reported.
  AddEntry(fs, settings, list, kind, name);
  edit.message = WordsOf(list).added;
  return edit;
}

ListEdit RenameListEntry(FileSystem& fs, const FilterSettings& settings, ListId list,
                         EntryKind kind, const std::string& old_name, const std::string& new_name) {
  ListEdit edit = CheckNewName(fs, settings, list, kind, new_name);
  if (!edit.ok()) return edit;
  RenameEntry(fs, settings, list, kind, new_name, old_name);
  edit.message = WordsOf(list).updated;
  return edit;
}

ListEdit RemoveListEntry(FileSystem& fs, const FilterSettings& settings, ListId list,
                         EntryKind kind, const std::string& name) {
  const bool found = ContainsEntry(fs, settings, list, kind, name);
  // The file is written back even when nothing matched, as every edit does.
  RemoveEntry(fs, settings, list, kind, name);
  if (!found) return {ListEdit::Outcome::kNotFound, ""};
  return {ListEdit::Outcome::kDone, kListEntriesRemoved};
}

void ReloadList(FileSystem& fs, const FilterSettings& settings, ListId list,
                std::vector<std::string>* addresses, std::vector<std::string>* domains) {
  addresses->clear();
  domains->clear();
  LoadList(fs, settings, list, addresses, domains);
}

}  // namespace tarvex
