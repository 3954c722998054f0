#include "plugin/user_commands.h"

#include <optional>

#include "classify/verdict_headers.h"
#include "plugin/folder_lookup.h"
#include "plugin/host_error_report.h"
#include "plugin/message_actions.h"
#include "ui/folder_dialogs.h"
#include "ui/save_failure.h"

namespace tarvex {
namespace {

HostFolderManager& Manager(UserCommandContext& c) {
  return *Required(c.controller.folderManager());
}

// The spam folder's id; raises the invalid-pointer failure when there is none.
int32_t SpamFolderId(UserCommandContext& c) {
  return Required(GetSpamFolder(Manager(c), c.controller.spamFolder()))->GetId();
}

// Runs a command, reporting a host failure that ends it.
template <typename Fn>
void Reporting(UserCommandContext& c, Fn command) {
  try {
    command();
  } catch (const HostError& error) {
    ReportHostError(c.ui, error);
  }
}

// Where "Not Spam" moves messages out of the spam folder: the folder the
// settings name, else the one picked; none when none was.
std::optional<int32_t> NotSpamDestination(UserCommandContext& c, const DestinationPicker& pick) {
  std::string name = c.settings.GetNotSpamFolderName();
  if (name.empty()) {
    std::vector<std::string> names;
    c.controller.ListFolderNames(&names);
    std::optional<std::string> picked = pick(names);
    if (!picked) return std::nullopt;
    name = *picked;
  }
  return c.controller.FindFolderIdByName(name);
}

}  // namespace

void LearnMessageById(UserCommandContext& c, int32_t messageId, bool spam) {
  Reporting(c, [&] {
    HostRef<HostMessage> message = c.controller.GetCurrentMessage(messageId);
    LearnFromMessage(c.filter, c.ui, std::move(message), spam);
  });
}

void RelearnMessageById(UserCommandContext& c, int32_t messageId, bool wasSpam) {
  HostRef<HostMessage> message = c.controller.GetCurrentMessage(messageId);
  std::string body = message->GetPartText(message->GetBodyPart());
  std::string header = message->GetHeaderText();
  c.filter.RelearnMessage(std::move(body), std::move(header), wasSpam);
}

void TrainFromFolder(UserCommandContext& c, const std::string& folderName, bool spam) {
  Reporting(c, [&] {
    HostRef<HostFolder> folder = FindFolderByName(Manager(c), folderName);
    if (!folder) return;
    size_t learnt = 0;
    for (HostRef<HostMessage> m = folder->GetFirstMessage(); m; m = folder->GetNextMessage()) {
      LearnFromMessage(c.filter, c.ui, m, spam);
      if (c.progress) (*c.progress)(folderName, ++learnt);
    }
  });
}

void MarkSpam(UserCommandContext& c) {
  const std::vector<int32_t> ids = c.controller.GetSelectedMessageIds();
  if (ids.empty()) return;
  Reporting(c, [&] {
    for (int32_t id : ids) {
      const int32_t folderId = c.controller.GetCurrentFolderId();
      HostRef<HostMessage> message = Required(c.controller.GetMessageInFolder(id, folderId));
      const int32_t part = message->GetRootPart();
      int32_t judged = 0;
      message->GetHeaderValue(part, header::kLearn, &judged);
      if (judged) continue;
      if (c.settings.GetLearnFromMarkSpam()) LearnMessageById(c, id, true);
      message->SetHeaderValue(part, header::kLearn, header::kLearnSpam);
      message->Commit();
      // The spam folder is looked up per message, within the move, so that a
      // failure to find it is reported and the next message still handled.
      MoveToSpamFolder(Manager(c), c.controller.spamFolder(), c.settings, c.ui, std::move(message),
                       id, folderId);
    }
    ReportSaveFailure(c.ui, c.filter.SaveDatabase(), c.filter.databasePath());
  });
}

void NotSpam(UserCommandContext& c) {
  std::vector<int32_t> ids;
  bool selected = false;
  Reporting(c, [&] {
    ids = c.controller.GetSelectedMessageIds();
    selected = true;
  });
  if (!selected) return;
  NotSpam(c, ids, [&c](std::vector<std::string>& names) -> std::optional<std::string> {
    DestinationFolderDialog dialog(names, c.settings);
    if (c.ui.RunModal(dialog) != kIdOk) return std::nullopt;
    return names[static_cast<size_t>(dialog.selectedIndex)];
  });
}

void NotSpam(UserCommandContext& c, const std::vector<int32_t>& ids,
             const DestinationPicker& pick) {
  Reporting(c, [&] {
    // The messages are read and marked through the current folder.
    const int32_t folderId = c.controller.GetCurrentFolderId();
    const bool inSpamFolder = SpamFolderId(c) == folderId;
    if (ids.empty()) return;
    const std::optional<int32_t> destination =
        inSpamFolder ? NotSpamDestination(c, pick) : std::nullopt;
    const bool learn = c.settings.GetLearnFromNotSpam() != 0;
    for (int32_t id : ids) {
      const std::string verdict = c.controller.GetLearnHeader(id);
      if (verdict.empty()) {
        if (learn) LearnMessageById(c, id, false);
      } else if (verdict == header::kLearnSpam) {
        if (learn) RelearnMessageById(c, id, true);
      } else {
        continue;
      }
      c.controller.SetHeaderById(id, header::kLearn, header::kLearnNotSpam);
      if (destination) Manager(c).MoveMessage(folderId, *destination, id);
    }
  });
}

std::optional<std::string> RawHeaders(UserCommandContext& c, int32_t folderId, int32_t messageId) {
  std::optional<std::string> headers;
  Reporting(c, [&] {
    HostRef<HostMessage> message = c.controller.GetMessageInFolder(messageId, folderId);
    if (message) headers = message->GetRawHeaders();
  });
  return headers;
}

void ShowMailHeaders(UserCommandContext& c) {
  std::optional<std::string> headers;
  Reporting(c, [&] {
    const int32_t folderId = c.controller.GetCurrentFolderId();
    const std::vector<int32_t> ids = c.controller.GetSelectedMessageIds();
    if (ids.size() == 1) headers = RawHeaders(c, folderId, ids[0]);
  });
  if (!headers) return;
  RawHeadersDialog dialog;
  dialog.rawHeaderText = *headers;
  c.ui.RunModal(dialog);
}

void TrainFromFolders(UserCommandContext& c, const std::vector<std::string>& spamFolders,
                      const std::vector<std::string>& goodFolders, bool emptyFirst) {
  if (emptyFirst) {
    ReportSaveFailure(c.ui, c.filter.EmptyDatabase(), c.filter.databasePath());
  }
  for (const std::string& name : spamFolders) TrainFromFolder(c, name, true);
  for (const std::string& name : goodFolders) TrainFromFolder(c, name, false);
}

void OpenTrainingDialog(UserCommandContext& c) {
  TrainingDialog dialog(c.ui);
  c.controller.ListFolderNames(&dialog.allFolders);
  if (c.ui.RunModal(dialog) != kIdOk) return;
  TrainFromFolders(c, dialog.spamFolders, dialog.goodFolders, dialog.emptyFirst);
}

}  // namespace tarvex
