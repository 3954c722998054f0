// The new-message pipeline: decides what a message that arrived in a watched
// folder is, and acts on it. A sender on the whitelist is left alone, one on
// the blacklist makes it spam; everything else is scored by the Bayesian
// filter. The verdict is written into the message as headers and spam moves
// into "DedoZarozo".
#ifndef TARVEX_CLASSIFY_CLASSIFIER_H_
#define TARVEX_CLASSIFY_CLASSIFIER_H_

#include <cstdint>

#include "bayes/bayes_filter.h"
#include "classify/verdict_headers.h"
#include "host/host.h"
#include "lists/sender_lists.h"
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
};

enum class Outcome {
  kUntouched,    // already judged by the user, or the pipeline stopped on a host failure
  kWhitelisted,  // left alone
  kBlacklisted,
  kNonEnglish,
  kSpam,
  kClean,
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

const char* OutcomeName(Outcome outcome);

}  // namespace tarvex

#endif  // TARVEX_CLASSIFY_CLASSIFIER_H_
