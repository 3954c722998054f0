#include "classify/classifier.h"

#include <utility>

namespace tarvex {
namespace {

// The sender as the lists see it: the bracketed address of the From text,
// without its brackets. False when the From text has none, so a bare address
// is never tested against the lists.
bool SenderAddress(const std::string& from, std::string* address) {
  if (!ExtractAddress(from, address)) return false;
  const size_t start = address->find_first_not_of('<');
  if (start == std::string::npos) {
    address->clear();
    return true;
  }
  const size_t end = address->find_last_not_of('>');
  *address = address->substr(start, end - start + 1);
  return true;
}

// Whitelist before blacklist, and within each list the address before the
// domain. True when a list decided.
bool DecidedBySender(const JudgeContext& c, const std::string& from, Judgement* j) {
  std::string address, domain;
  if (!SenderAddress(from, &address)) return false;
  const bool hasDomain = ExtractDomain(address, &domain);
  if (c.lists.IsWhitelistedAddress(address) || (hasDomain && c.lists.IsWhitelistedDomain(domain))) {
    j->outcome = Outcome::kWhitelisted;
    j->learn = c.settings.GetLearnFromWhiteListed() != 0;
    return true;
  }
  if (c.lists.IsBlacklistedAddress(address)) {
    j->headers = BlacklistedAddressHeaders(address);
  } else if (hasDomain && c.lists.IsBlacklistedDomain(domain)) {
    j->headers = BlacklistedDomainHeaders(domain);
  } else {
    return false;
  }
  j->outcome = Outcome::kBlacklisted;
  j->spam = true;
  j->learn = c.settings.GetLearnFromBlackListed() != 0;
  j->learnAsSpam = true;
  return true;
}

}  // namespace

Judgement JudgeMessage(const JudgeContext& context, const std::string& headerText, std::string body,
                       const std::string& from) {
  Judgement j;
  if (DecidedBySender(context, from, &j)) return j;
  MessageScore score;
  score.headerText = headerText;
  j.spam = context.filter.ScoreMessage(std::move(body), score,
                                       context.settings.GetConsiderNonEnglishSpam() != 0);
  j.outcome = score.nonEnglish ? Outcome::kNonEnglish : j.spam ? Outcome::kSpam : Outcome::kClean;
  j.headers = BayesianHeaders(score);
  return j;
}

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kUntouched:
      return "untouched";
    case Outcome::kWhitelisted:
      return "whitelisted";
    case Outcome::kBlacklisted:
      return "blacklisted";
    case Outcome::kNonEnglish:
      return "nonenglish";
    case Outcome::kSpam:
      return "spam";
    case Outcome::kClean:
      return "clean";
  }
  return "untouched";
}

}  // namespace tarvex
