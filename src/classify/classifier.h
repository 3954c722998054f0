// The judging of a new message: a sender on the whitelist is left alone, one
// on the blacklist makes it spam; everything else is scored by the Bayesian
// filter. The result says which verdict headers to write, whether the
// message is spam and whether list-decided mail is to be learnt; applying
// that to the mail client is the plug-in's part.
#ifndef TARVEX_CLASSIFY_CLASSIFIER_H_
#define TARVEX_CLASSIFY_CLASSIFIER_H_

#include <string>

#include "bayes/bayes_filter.h"
#include "classify/verdict_headers.h"
#include "lists/sender_lists.h"
#include "settings/filter_settings.h"

namespace tarvex {

enum class Outcome {
  kUntouched,    // already judged by the user, or the pipeline stopped on a host failure
  kWhitelisted,  // left alone
  kBlacklisted,
  kNonEnglish,
  kSpam,
  kClean,
};

const char* OutcomeName(Outcome outcome);

// What the judging consults. The settings are read at each use.
struct JudgeContext {
  BayesFilter& filter;
  const SenderLists& lists;
  const FilterSettings& settings;
};

// The verdict on one message and what follows from it.
struct Judgement {
  Outcome outcome = Outcome::kUntouched;
  VerdictHeaders headers;  // to be written, in order; none for whitelisted mail
  bool spam = false;       // to be moved into the spam folder
  bool learn = false;      // a sender list decided and the settings ask to learn from it
  bool learnAsSpam = false;
};

// Judges a message from its header text, body and "From" value: the
// whitelist, then the blacklist (each by address before domain), then the
// Bayesian score with its non-English test. Scoring takes the filter's lock;
// nothing is learnt here. The body is taken over, so a large message is held
// once.
Judgement JudgeMessage(const JudgeContext& context, const std::string& headerText, std::string body,
                       const std::string& from);

}  // namespace tarvex

#endif  // TARVEX_CLASSIFY_CLASSIFIER_H_
