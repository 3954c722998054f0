// The new-message handler: reads a message that arrived in a watched folder,
// has the classifier judge it, and applies the judgement to the mail client
// in a fixed order: learn marker check, verdict headers and one commit, the
// move into "DedoZarozo", the beep, and learning from list-decided mail.
#ifndef TARVEX_PLUGIN_NEW_MESSAGE_H_
#define TARVEX_PLUGIN_NEW_MESSAGE_H_

#include <cstdint>

#include "bayes/bayes_filter.h"
#include "classify/classifier.h"
#include "classify/verdict_headers.h"
#include "host/host.h"
#include "lists/sender_lists.h"
#include "plugin/message_actions.h"
#include "settings/filter_settings.h"
#include "ui/user_interface.h"

namespace tarvex {

// What the pipeline consults and acts through.
struct ClassifierContext {
  BayesFilter& filter;
  const SenderLists& lists;
  const FilterSettings& settings;
  UserInterface& ui;
  HostFolderManager& folderManager;
  SpamFolder& spamFolder;
};

// What one classification did.
struct ClassifyResult {
  Outcome outcome = Outcome::kUntouched;
  VerdictHeaders headers;  // as written, in order (committed only when complete)
  bool learnt = false;     // learnt because a sender list decided
  bool moved = false;      // the host moved it into the spam folder
  bool beeped = false;     // BeepAtSpam was on and the user interface was asked to beep
  bool failed = false;     // a host failure ended the pipeline (it was reported)
};

// Classifies message messageId of folder. Host failures are reported through
// the context's user interface and end the pipeline; nothing done before is
// undone.
ClassifyResult ClassifyMessage(ClassifierContext& context, HostFolder& folder, int32_t messageId);

}  // namespace tarvex

#endif  // TARVEX_PLUGIN_NEW_MESSAGE_H_
