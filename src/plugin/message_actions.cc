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

HostRef<HostFolder> GetSpamFolder(HostFolderManager& manager) {
  return FindFolderByName(manager, kSpamFolderName);
}

bool MoveToSpamFolder(HostFolderManager& manager, const FilterSettings& settings, UserInterface& ui,
                      HostRef<HostMessage> message, int32_t messageId, int32_t sourceFolderId) {
  try {
    const int32_t target = Required(GetSpamFolder(manager))->GetId();
    if (target == sourceFolderId) return false;
    if (settings.GetMarkReadBeforeMoving()) message->MarkRead();
    return manager.MoveMessage(sourceFolderId, target, messageId);
  } catch (const HostError& error) {
    ReportHostError(ui, error);
    return false;
  }
}

}  // namespace tarvex
