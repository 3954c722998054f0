// The black and white lists of senders. Each list is an XML file whose path the
// settings hold; the file's first element is the list, and its direct children
//   <MailID Name="someone@example.com" />   a whole address
//   <Domain Name="example.com" />           everything after the "@"
// are the entries. Anything else in the file is kept as it is when an entry is
// added, renamed or removed.
//
// The filter loads both lists into a SenderLists and asks it about each
// message's sender; the settings dialog edits the files entry by entry. Every
// file operation reads the path from the settings afresh, parses the whole
// file and, when it changes something, writes the whole file back in TinyXML's
// layout. Texts are Windows-1252 bytes and pass through unchanged.
//
// Nothing here shows a message, logs or throws: an unreadable or broken file
// (or a missing path setting) just makes the operation report false or do
// nothing. A file is never created or repaired.
#ifndef TARVEX_LISTS_SENDER_LISTS_H_
#define TARVEX_LISTS_SENDER_LISTS_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "settings/filter_settings.h"

namespace tarvex {

enum class ListId { Blacklist, Whitelist };
// Address entries are "MailID" elements, domain entries "Domain" elements.
enum class EntryKind { Address, Domain };

// Whole texts, equal when they differ at most in the case of ASCII letters;
// bytes from 128 up must be identical.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// Both lists as loaded. Entries are matched as stored: never trimmed, and only
// a whole entry matches (no prefixes, wildcards or sub-domains).
struct SenderLists {
  std::vector<std::string> blacklistAddresses;
  std::vector<std::string> blacklistDomains;
  std::vector<std::string> whitelistAddresses;
  std::vector<std::string> whitelistDomains;

  // The address may still carry its angle brackets: every leading "<" and
  // every trailing ">" is dropped before comparing.
  bool IsWhitelistedAddress(std::string_view address) const;
  bool IsBlacklistedAddress(std::string_view address) const;
  // The domain is compared as given.
  bool IsWhitelistedDomain(std::string_view domain) const;
  bool IsBlacklistedDomain(std::string_view domain) const;
};

// Appends the list's address entries to addresses and its domain entries to
// domains, each in file order; an entry without a Name counts as "". False,
// with both arrays untouched, when the file cannot be read or parsed or has no
// element. The arrays are not cleared first; null ones are skipped.
bool LoadBlacklist(FileSystem& fs, const FilterSettings& settings,
                   std::vector<std::string>* addresses, std::vector<std::string>* domains);
bool LoadWhitelist(FileSystem& fs, const FilterSettings& settings,
                   std::vector<std::string>* addresses, std::vector<std::string>* domains);
// Both lists into lists, as the two above.
void LoadSenderLists(FileSystem& fs, const FilterSettings& settings, SenderLists* lists);
// Why the list would load as empty: no file set, the system's reason, or the
// line, column and parser's message of a file that does not parse. For the
// callers that warn the user; the operations here stay silent.
Status CheckList(FileSystem& fs, const FilterSettings& settings, ListId list);

// Entry edits. Each one reports false (and writes nothing) only when the file
// cannot be read or parsed or has no element; the file is then written back
// even when nothing matched, and the result of that write is not looked at.
// Entries are found by comparing their Name with EqualIgnoringCase.

// Appends the entry as the list's last child, even when it is already there.
bool AddEntry(FileSystem& fs, const FilterSettings& settings, ListId list, EntryKind kind,
              std::string_view text);
// Renames the first entry of the kind named old_text.
bool RenameEntry(FileSystem& fs, const FilterSettings& settings, ListId list, EntryKind kind,
                 std::string_view new_text, std::string_view old_text);
// Removes the first entry of the kind named text, and only that one.
void RemoveEntry(FileSystem& fs, const FilterSettings& settings, ListId list, EntryKind kind,
                 std::string_view text);
// Whether an entry of the kind is named text. Never writes.
bool ContainsEntry(FileSystem& fs, const FilterSettings& settings, ListId list, EntryKind kind,
                   std::string_view text);

// The sender's address out of a From text, with its angle brackets: from the
// first "<" through the first ">" of the text. When that ">" comes before the
// "<" the address is empty. False, with address cleared, when either is missing.
bool ExtractAddress(std::string_view from, std::string* address);
// Everything after the first "@" of the address, without any further "@" that
// follow it directly; may be empty. False, with domain cleared, when there is
// no "@".
bool ExtractDomain(std::string_view address, std::string* domain);

}  // namespace tarvex

#endif  // TARVEX_LISTS_SENDER_LISTS_H_
