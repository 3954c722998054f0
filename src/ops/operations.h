// The user's operations on the filter, as one interface for every front end:
// the command line, the dialogs and the desktop window call these, never the
// filter's parts. Two implementations stand behind it: one in the process
// that owns the word database (app/local_operations.h), and one that asks
// that process over the profile's socket (ops/remote_operations.h).
//
// Each operation takes plain values and returns a Status with its results;
// what the owner showed while it worked (a failed save, a host failure) goes
// to the caller's user interface as message boxes, as it would have in the
// mail client. Texts are the filter's own (Windows-1252), as the dialogs show
// them.
#ifndef TARVEX_OPS_OPERATIONS_H_
#define TARVEX_OPS_OPERATIONS_H_

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "classify/verdict_headers.h"
#include "lists/list_operations.h"
#include "mail/message_file.h"
#include "platform/status.h"

namespace tarvex {

// What an operation cannot do without: raised by the owner's parts (no
// profile, no Maildir, a word database that cannot be read) and returned by
// the operation as its Status.
class OperationFailure : public std::runtime_error {
 public:
  explicit OperationFailure(Status status)
      : std::runtime_error(status.message()), status_(std::move(status)) {}
  const Status& status() const { return status_; }

 private:
  Status status_;
};

// Told how a long run gets on: what it works at, and how much of it is done.
using Progress = std::function<void(const std::string& what, size_t done)>;

// A message of the store, found by the name the user gave it.
struct MessageRef {
  int32_t folder = 0;
  int32_t message = 0;
  // The store's name for it (its file in a Maildir).
  std::string name;
  // The user's verdict it carries ("X-TVX-LEARN"), if any.
  bool marked = false;
  std::string marker;
};

struct DatabaseStats {
  uint32_t words = 0;
  int32_t spamMessages = 0;
  int32_t cleanMessages = 0;
};

struct ScoreReport {
  bool nonEnglish = false;
  int32_t score = 0;
  bool spam = false;
  std::string topWords;
  VerdictHeaders headers;  // the Bayesian headers, as written
};

// What filter made of a message on its way in.
struct FilterReport {
  enum class Verdict { kSpam, kClean, kNotJudged };
  Verdict verdict = Verdict::kNotJudged;
  // The message with the verdict headers, when it was judged.
  std::string message;
};

// Where messages leaving the spam folder go, when the settings name no
// folder: the folder (empty: they stay), and whether the settings are to
// remember it.
struct Destination {
  std::string folder;
  bool remember = false;
};

struct NotSpamReport {
  // The destination was needed: the messages left the spam folder and the
  // settings named no folder.
  bool asked = false;
  // Where each message is now, by the store's name; empty when it is gone.
  std::vector<std::string> now;
};

struct TrainingReport {
  int32_t spamLearnt = 0;
  int32_t cleanLearnt = 0;
  uint32_t words = 0;
};

// A folder as the mail window's tree shows it.
struct FolderEntry {
  int32_t id = 0;
  int32_t parent = -1;  // none: at the top of the tree
  std::string name;
  int32_t unread = 0, total = 0;
};

// A message of a folder as the window lists it before reading it.
struct ListedRef {
  int32_t message = 0;
  bool unread = false;
};

// What the window's list shows of a message, read from its header block.
// Unlike the other texts these are as the desktop shows them (UTF-8), the
// encoded words decoded.
struct MessageSummary {
  int32_t message = 0;
  std::string sender, subject, date;
  // The values of the verdict headers it carries (header::kResult, kScore
  // and kLearn of classify/verdict_headers.h).
  std::string result, score, learn;
};

// One setting the user changes: an option's state, or a folder's name.
struct SettingValue {
  bool on = false;
  std::string text;
};

class Operations {
 public:
  virtual ~Operations() = default;

  // ---- the word database
  virtual Status Stats(DatabaseStats* stats) = 0;
  // Learns each message, counting those that changed the database.
  virtual Status Learn(const std::vector<mail::RawMessage>& messages, bool spam,
                       int32_t* learnt) = 0;
  virtual Status Relearn(const mail::RawMessage& message, bool wasSpam, int32_t* passes) = 0;
  virtual Status Score(const mail::RawMessage& message, ScoreReport* report) = 0;
  // The words the filter counts in the message, in the order it meets them.
  virtual Status Tokens(const mail::RawMessage& message, std::vector<std::string>* words) = 0;
  // Judges a message on its way into the store, learning what the verdict
  // asks, and hands it back with the verdict's headers.
  virtual Status Filter(const std::string& message, FilterReport* report) = 0;
  // Writes the word database to its file, so that a reader of the file sees
  // what the owner learnt.
  virtual Status SaveDatabase() = 0;
  // Removes every word; removed tells how many there were.
  virtual Status EmptyDatabase(uint32_t* removed) = 0;

  // ---- messages and folders of the store
  // Every folder's name, in the order of the folder lists.
  virtual Status FolderNames(std::vector<std::string>* names) = 0;
  // The messages named by path or by the store's name; fails naming the
  // first that is not there.
  virtual Status FindMessages(const std::vector<std::string>& names,
                              std::vector<MessageRef>* found) = 0;
  // The store's names of the messages with the Message-ID of text (or, of
  // those, the one with its body).
  virtual Status FindMessageText(const std::string& text, std::vector<std::string>* names) = 0;
  // Learns, marks and moves the messages into the spam folder; now: where
  // each is afterwards (empty: gone).
  virtual Status MarkSpam(const std::vector<MessageRef>& messages,
                          std::vector<std::string>* now) = 0;
  virtual Status NotSpam(const std::vector<MessageRef>& messages, const Destination& destination,
                         NotSpamReport* report) = 0;
  virtual Status RawHeaders(const MessageRef& message, std::string* headers) = 0;
  // The folders in the store's walk order, with their counts.
  virtual Status FolderTree(std::vector<FolderEntry>* folders) = 0;
  // The folder's messages in id order; no message is read.
  virtual Status FolderMessages(int32_t folder, std::vector<ListedRef>* messages) = 0;
  // The summaries of the messages of folder, in the order of ids; a message
  // no longer there has an empty one.
  virtual Status MessageSummaries(int32_t folder, const std::vector<int32_t>& ids,
                                  std::vector<MessageSummary>* summaries) = 0;
  // The message as the preview shows it: its header block, then its text.
  virtual Status MessagePreview(int32_t folder, int32_t message, std::string* text) = 0;
  // Learns every message of the spam folders, then of the good ones, after
  // emptying the database when asked.
  virtual Status Train(const std::vector<std::string>& spamFolders,
                       const std::vector<std::string>& goodFolders, bool emptyFirst,
                       const Progress& progress, TrainingReport* report) = 0;

  // ---- the sender lists, with the checks and words of the lists' dialogs
  // Why the list would read as empty; ok when it reads.
  virtual Status CheckList(ListId list) = 0;
  virtual Status ListEntries(ListId list, EntryKind kind, std::vector<std::string>* entries) = 0;
  virtual Status AddListEntry(ListId list, EntryKind kind, const std::string& name,
                              ListEdit* edit) = 0;
  virtual Status RenameListEntry(ListId list, EntryKind kind, const std::string& oldName,
                                 const std::string& newName, ListEdit* edit) = 0;
  virtual Status RemoveListEntry(ListId list, EntryKind kind, const std::string& name,
                                 ListEdit* edit) = 0;

  // ---- the settings a user changes, by name (settings/filter_settings.h)
  virtual Status GetSetting(const std::string& name, SettingValue* value) = 0;
  virtual Status SetSetting(const std::string& name, const SettingValue& value) = 0;

  // What the About box says; empty while the mail client is not there.
  virtual Status About(std::string* productLine) = 0;
  // The store, as errors name it (a Maildir's folder, an account).
  virtual Status StoreName(std::string* name) = 0;
};

}  // namespace tarvex

#endif  // TARVEX_OPS_OPERATIONS_H_
