#include "plugin/message_actions.h"

#include "plugin/folder_lookup.h"
#include "plugin/host_error_report.h"

namespace tarvex {

void LearnFromMessage(BayesFilter& filter, UserInterface& ui, HostRef<HostMessage> message,
                      bool spam) {
  try {
    std::string header = message->GetHeaderText();
    std::string body = message->GetPartText(message->GetBodyPart());
    filter.LearnMessage(std::move(body), std::move(header), spam);
  } catch (const HostError& error) {
    ReportHostError(ui, error);
  }
}

void SpamFolder::Ensure(HostFolderManager& manager) {
  if (HostRef<HostFolder> folder = FindFolderByName(manager, kSpamFolderName)) {
    id_ = folder->GetId();
    return;
  }
  id_ = -1;
  if (HostRef<HostFolder> local = FindFolderByName(manager, kStoreFolderName)) {
    local->CreateSubFolder(kSpamFolderName);
  }
}

HostRef<HostFolder> GetSpamFolder(HostFolderManager& manager, SpamFolder& kept) {
  if (kept.id_ >= 0) {
    try {
      HostRef<HostFolder> folder = manager.GetFolder(kept.id_);
      if (folder && folder->GetName() == kSpamFolderName) return folder;
    } catch (const HostError&) {
      // Gone: found again by name below.
    }
  }
  HostRef<HostFolder> folder = FindFolderByName(manager, kSpamFolderName);
  kept.id_ = folder ? folder->GetId() : -1;
  return folder;
}

bool MoveToSpamFolder(HostFolderManager& manager, SpamFolder& spamFolder,
                      const FilterSettings& settings, UserInterface& ui,
                      HostRef<HostMessage> message, int32_t messageId, int32_t sourceFolderId) {
  try {
    const int32_t target = Required(GetSpamFolder(manager, spamFolder))->GetId();
    if (target == sourceFolderId) return false;
    if (settings.GetMarkReadBeforeMoving()) message->MarkRead();
    return manager.MoveMessage(sourceFolderId, target, messageId);
  } catch (const HostError& error) {
    ReportHostError(ui, error);
    return false;
  }
}

}  // namespace tarvex
