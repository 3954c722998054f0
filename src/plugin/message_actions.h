// What the classifier and the user's commands do to one message: learn it,
// find the spam folder, move the message there. Each reports its own host
// failures, so the caller goes on.
#ifndef TARVEX_PLUGIN_MESSAGE_ACTIONS_H_
#define TARVEX_PLUGIN_MESSAGE_ACTIONS_H_

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

// The spam folder the plug-in made sure of. Finding it by name walks every
// folder, so it is found once and then kept by its id; it is looked up by
// name again only when the kept folder has gone or no longer bears the name.
class SpamFolder {
 public:
  // Looks the folder up; when there is none, creates it under "Local
  // Folders" (without that folder, nothing). Keeps the id of a folder found.
  // Host errors reach the caller.
  void Ensure(HostFolderManager& manager);
  // The id kept; -1 when none is.
  int32_t keptId() const { return id_; }

 private:
  friend HostRef<HostFolder> GetSpamFolder(HostFolderManager& manager, SpamFolder& kept);
  int32_t id_ = -1;
};

// The folder named "DedoZarozo": the kept one while it is still there under
// that name, else the first of that name in the walk (then kept); null when
// there is none. Host errors of the lookup reach the caller.
HostRef<HostFolder> GetSpamFolder(HostFolderManager& manager, SpamFolder& kept);

// Moves the message from the folder with sourceFolderId into the spam folder,
// marking it read first when "MarkReadBeforeMoving" is on; a message already
// in the spam folder is left as it is. Without a spam folder this is the
// invalid-pointer failure; it and every failure of finding the folder or
// moving are reported here. Takes over the caller's reference to the
// message. True when the host moved it.
bool MoveToSpamFolder(HostFolderManager& manager, SpamFolder& spamFolder,
                      const FilterSettings& settings, UserInterface& ui,
                      HostRef<HostMessage> message, int32_t messageId, int32_t sourceFolderId);

}  // namespace tarvex

#endif  // TARVEX_PLUGIN_MESSAGE_ACTIONS_H_
