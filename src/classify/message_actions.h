// What the classifier and the user's commands do to one message: learn it,
// find the spam folder, move the message there. Each reports its own host
// failures, so the caller goes on.
#ifndef TARVEX_CLASSIFY_MESSAGE_ACTIONS_H_
#define TARVEX_CLASSIFY_MESSAGE_ACTIONS_H_

#include <cstdint>

#include "bayes/bayes_filter.h"
#include "host/host.h"
#include "settings/filter_settings.h"
#include "ui/user_interface.h"

namespace tarvex {

// Learns the message's header text, a blank line and its body as spam or
// clean. Takes over the caller's reference to the message.
void LearnFromMessage(BayesFilter& filter, UserInterface& ui, HostRef<HostMessage> message,
                      bool spam);

// The folder named "DedoZarozo", looked up afresh; null when there is none.
HostRef<HostFolder> GetSpamFolder(HostFolderManager& manager);

// Moves the message from the folder with sourceFolderId into the spam folder,
// marking it read first when "MarkReadBeforeMoving" is on; a message already
// in the spam folder is left as it is. Without a spam folder this is the
// invalid-pointer failure; it and every failure of finding the folder or
// moving are reported here. Takes over the caller's reference to the
// message. True when the host moved it.
bool MoveToSpamFolder(HostFolderManager& manager, const FilterSettings& settings, UserInterface& ui,
                      HostRef<HostMessage> message, int32_t messageId, int32_t sourceFolderId);

}  // namespace tarvex

#endif  // TARVEX_CLASSIFY_MESSAGE_ACTIONS_H_
