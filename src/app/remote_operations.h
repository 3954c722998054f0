// The user's operations asked of the process that owns the word database,
// over the profile's socket, as typed requests and results (ops/wire.h):
// the command line and the desktop window use them while a daemon runs.
// Each call is one connection: the request, any progress, the result with
// the message boxes the owner showed meanwhile.
#ifndef TARVEX_APP_REMOTE_OPERATIONS_H_
#define TARVEX_APP_REMOTE_OPERATIONS_H_

#include <functional>

#include "ops/operations.h"
#include "platform/command_socket.h"
#include "ui/routed_ui.h"

namespace tarvex {

class RemoteOperations : public Operations {
 public:
  // connect opens a connection to the owner, invalid when none listens; the
  // owner's message boxes are shown on ui.
  RemoteOperations(std::function<UniqueFd()> connect, UserInterface& ui)
      : connect_(std::move(connect)), ui_(ui) {}

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
  template <typename... Args>
  Status Call(int operation, const Args&... args);
  // Sends the request, relays progress, and hands the result's bytes (after
  // its status and boxes) to read.
  Status Exchange(const std::string& request, const Progress* progress,
                  const std::function<bool(class WireReader&)>& read);

  std::function<UniqueFd()> connect_;
  UserInterface& ui_;
};

// The owner's side: answers one request that came on client with ops,
// showing the owner's message boxes to the client (ui is routed to them for
// the request's length). A request that does not parse is answered with a
// failure and nothing is done.
void ServeOperation(UniqueFd client, const Frame& request, Operations& ops, RoutedUi& ui);

// Whether a frame is a request for an operation.
bool IsOperationRequest(const Frame& frame);
// Whether the request is for an operation that moves messages between
// folders (a window showing them reads them again).
bool MovesMessages(const Frame& request);

}  // namespace tarvex

#endif  // TARVEX_APP_REMOTE_OPERATIONS_H_
