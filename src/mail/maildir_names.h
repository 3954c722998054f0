// The naming rules of a Maildir++ tree: how folder names are spelled on disk
// and what a message file's name says about the message.
//
// Folders. Every folder but the Inbox is a directory ".A.B" directly in the
// root, one name per level with "." between levels; each name is written in
// the modified UTF-7 of IMAP ("&" starts a run of base64 UTF-16, "&-" is "&").
//
// Message files. A message lives in new/ (not yet seen by a mail client) or
// cur/ as a file named "<unique>" or "<unique>:2,<flags>": the unique part
// names the message for life, the flags are single letters in ASCII order
// ("S" seen, "R" replied, "F" flagged, "T" trashed, "D" draft, "P" passed).
#ifndef TARVEX_MAIL_MAILDIR_NAMES_H_
#define TARVEX_MAIL_MAILDIR_NAMES_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex::mail {

// ------------------------------------------------------------------ folder names

// The UTF-8 name of a folder level spelled in modified UTF-7; nothing when
// the spelling is not valid modified UTF-7.
std::optional<std::string> DecodeFolderName(std::string_view mutf7);
// The modified UTF-7 spelling of a UTF-8 folder level name (malformed UTF-8
// is taken byte by byte as Windows-1252).
std::string EncodeFolderName(std::string_view utf8);

// The UTF-8 name a level shows: its decoded name, else, for a spelling that
// is not modified UTF-7 (such as a raw UTF-8 directory name), the spelling
// itself made valid UTF-8.
std::string FolderLevelName(std::string_view spelling);

// Whether name can be a folder level: not empty, no "." (the level
// separator), no "/" and no control character.
bool IsValidFolderName(std::string_view utf8);

// The levels of a folder directory name: ".A.B" -> {"A", "B"}, undecoded.
// Empty when name is not a folder directory (no leading ".", an empty level,
// or "." / "..").
std::vector<std::string> FolderDirLevels(std::string_view dir_name);

// A folder that every store shows, whatever its directory is called.
struct StandardFolder {
  const char* name;                        // the name the host shows
  std::vector<const char*> maildir_names;  // directory levels it stands for, preferred first
};
// "Sent Items", "Deleted Items", "Drafts" and "Outbox". The first Maildir
// name of each is the conventional one, used when the folder is created.
const std::vector<StandardFolder>& StandardFolders();

// The Inbox's own name, and the first level of the directories that hold its
// sub-folders (".INBOX.Spam" is "Spam" under the Inbox).
inline constexpr char kInboxName[] = "Inbox";
inline constexpr char kInboxLevel[] = "INBOX";
// Whether a first level names the Inbox ("INBOX" in any case).
bool IsInboxLevel(std::string_view level);

// ------------------------------------------------------------------ message files

struct MessageFileName {
  std::string unique;  // the part before the info (":2,..."), for life
  std::string flags;   // the letters after ":2,", as written
  bool has_info = false;
};
MessageFileName ParseMessageFileName(std::string_view file_name);

// Flags with one more letter, each letter once, in ASCII order.
std::string AddFlag(std::string_view flags, char flag);
bool HasFlag(std::string_view flags, char flag);

// "<unique>:2,<flags>".
std::string CurFileName(std::string_view unique, std::string_view flags);

// A new unique name "<seconds>.M<micros>P<pid>Q<count>.<host>", as delivery
// agents make them: unique across time, processes and machines.
std::string NewUniqueName();

// Whether a directory entry is a message file (hidden files are not).
bool IsMessageFileName(std::string_view file_name);

}  // namespace tarvex::mail

#endif  // TARVEX_MAIL_MAILDIR_NAMES_H_
