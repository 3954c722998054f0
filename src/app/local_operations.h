// The user's operations in the process that owns the word database: the
// daemon, or a command that runs without one under the profile lock.
#ifndef TARVEX_APP_LOCAL_OPERATIONS_H_
#define TARVEX_APP_LOCAL_OPERATIONS_H_

#include <string>

#include "bayes/bayes_filter.h"
#include "host/memory/memory_host.h"
#include "lists/sender_lists.h"
#include "ops/operations.h"
#include "platform/file_system.h"
#include "settings/settings_store.h"
#include "ui/user_interface.h"

namespace tarvex {

class FilterApp;
class StoreSession;

// What the operations work on. Each part is made when first asked for, so
// that a command that only reads the word database needs no Maildir; a part
// that cannot be had throws OperationFailure with the reason.
class OperationsOwner {
 public:
  virtual ~OperationsOwner() = default;
  virtual BayesFilter& Filter() = 0;
  virtual const SenderLists& Lists() = 0;
  // The lists a running filter judges by, kept in memory; null when none
  // runs.
  virtual SenderLists* HeldLists() = 0;
  virtual FileSystem& Files() = 0;
  virtual SettingsStore& Settings() = 0;
  // Where the owner shows what goes wrong while it works.
  virtual UserInterface& Ui() = 0;
  // The application bound to the mail client, for the operations on folders.
  virtual FilterApp& App() = 0;
  // The application over the store, for the operations on messages.
  virtual StoreSession& Session() = 0;
  // The store, as errors name it (the Maildir's folder).
  virtual std::string StoreName() = 0;
  // The folder a user named as the plug-in shows it: a store may know its
  // folders by other names too (an IMAP server's INBOX is "Inbox").
  virtual std::string ShownFolderName(const std::string& name) { return name; }
};

class LocalOperations : public Operations {
 public:
  explicit LocalOperations(OperationsOwner& owner) : owner_(owner) {}

  Status Stats(DatabaseStats* stats) override;
  Status Learn(const std::vector<mail::RawMessage>& messages, bool spam, int32_t* learnt) override;
  Status Relearn(const mail::RawMessage& message, bool wasSpam, int32_t* passes) override;
  Status Score(const mail::RawMessage& message, ScoreReport* report) override;
  Status Tokens(const mail::RawMessage& message, std::vector<std::string>* words) override;
  Status Filter(const std::string& message, FilterReport* report) override;
  Status SaveDatabase() override;
  Status EmptyDatabase(uint32_t* removed) override;

  Status FolderNames(std::vector<std::string>* names) override;
  Status FindMessages(const std::vector<std::string>& names,
                      std::vector<MessageRef>* found) override;
  Status FindMessageText(const std::string& text, std::vector<std::string>* names) override;
  Status MarkSpam(const std::vector<MessageRef>& messages, std::vector<std::string>* now) override;
  Status NotSpam(const std::vector<MessageRef>& messages, const Destination& destination,
                 NotSpamReport* report) override;
  Status RawHeaders(const MessageRef& message, std::string* headers) override;
  Status FolderTree(std::vector<FolderEntry>* folders) override;
  Status FolderMessages(int32_t folder, std::vector<ListedRef>* messages) override;
  Status MessageSummaries(int32_t folder, const std::vector<int32_t>& ids,
                          std::vector<MessageSummary>* summaries) override;
  Status MessagePreview(int32_t folder, int32_t message, std::string* text) override;
  Status Train(const std::vector<std::string>& spamFolders,
               const std::vector<std::string>& goodFolders, bool emptyFirst,
               const Progress& progress, TrainingReport* report) override;

  Status CheckList(ListId list) override;
  Status ListEntries(ListId list, EntryKind kind, std::vector<std::string>* entries) override;
  Status AddListEntry(ListId list, EntryKind kind, const std::string& name,
                      ListEdit* edit) override;
  Status RenameListEntry(ListId list, EntryKind kind, const std::string& oldName,
                         const std::string& newName, ListEdit* edit) override;
  Status RemoveListEntry(ListId list, EntryKind kind, const std::string& name,
                         ListEdit* edit) override;

  Status GetSetting(const std::string& name, SettingValue* value) override;
  Status SetSetting(const std::string& name, const SettingValue& value) override;
  Status About(std::string* productLine) override;
  Status StoreName(std::string* name) override;

 private:
  // The folders named, checked against the store's and put in the order of
  // its folder lists, each once.
  Status InListOrder(const std::vector<std::string>& folders, std::vector<std::string>* ordered);
  // Where each message is now, by the store's name; empty when it is gone.
  std::vector<std::string> WhereNow(const std::vector<MessageRef>& messages);
  // The owner's filter keeps its own copy of a list: it is loaded again
  // after an edit that changed the file.
  void Reload(ListId list);

  OperationsOwner& owner_;
};

// Puts the message into the in-memory host's Inbox; returns its id.
int32_t AddToMemoryHost(MemoryHost& host, const mail::RawMessage& message);

}  // namespace tarvex

#endif  // TARVEX_APP_LOCAL_OPERATIONS_H_
