// The user's edits of the black and white lists, with the checks and the
// words of the lists' dialogs, for every front end: the dialogs show an
// edit's message in a box (captioned "Tarvex", OK button only), the command
// line prints it. Each edit reads and writes the list file at once, as the
// entry functions of sender_lists.h do, and stays as silent as they are
// about a file that cannot be read.
#ifndef TARVEX_LISTS_LIST_OPERATIONS_H_
#define TARVEX_LISTS_LIST_OPERATIONS_H_

#include <string>
#include <vector>

#include "lists/sender_lists.h"

namespace tarvex {

// What the dialogs say after removing the ticked entries, however many.
inline constexpr char kListEntriesRemoved[] = "Item(s) Removed Successfully";

// How an edit ended, and what the list's dialog says about it.
struct ListEdit {
  enum class Outcome {
    kDone,
    kNoName,     // the name is empty (blanks count as a name)
    kDuplicate,  // an entry of the kind has the name, in any letter case
    kNotFound,   // there is no entry of the kind to remove
  };
  Outcome outcome = Outcome::kDone;
  // "Item Added To Blacklist", "Please Enter an Item Name"...; empty for
  // kNotFound, which the dialogs never meet: they remove rows they show.
  std::string message;

  bool ok() const { return outcome == Outcome::kDone; }
};

// The list's entries of the kind, in file order; none when the file cannot
// be read (CheckList says why).
std::vector<std::string> ListEntries(FileSystem& fs, const FilterSettings& settings, ListId list,
                                     EntryKind kind);

// Appends name as an entry of the kind, unless it is empty or already there.
ListEdit AddListEntry(FileSystem& fs, const FilterSettings& settings, ListId list, EntryKind kind,
                      const std::string& name);

// Renames the first entry of the kind named old_name to new_name, checked as
// AddListEntry checks a name; the entry being renamed counts too, so an
// unchanged name is refused. An old_name that is not there is renamed as
// nothing, and that is not a failure: a dialog renames the row it shows,
// which may have been removed meanwhile.
ListEdit RenameListEntry(FileSystem& fs, const FilterSettings& settings, ListId list,
                         EntryKind kind, const std::string& old_name, const std::string& new_name);

// Removes the first entry of the kind named name in any letter case; kNotFound
// when there is none.
ListEdit RemoveListEntry(FileSystem& fs, const FilterSettings& settings, ListId list,
                         EntryKind kind, const std::string& name);

// Empties addresses and domains and loads them again from the list's file,
// for whoever holds the list in memory after an edit; an unreadable file
// leaves them empty.
void ReloadList(FileSystem& fs, const FilterSettings& settings, ListId list,
                std::vector<std::string>* addresses, std::vector<std::string>* domains);

}  // namespace tarvex

#endif  // TARVEX_LISTS_LIST_OPERATIONS_H_
