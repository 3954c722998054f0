#include "classify/verdict_headers.h"

namespace tarvex {

VerdictHeaders BlacklistedAddressHeaders(const std::string& address) {
  return {{header::kResult, "Spam"}, {header::kReason, address + " in blacklist"}};
}

VerdictHeaders BlacklistedDomainHeaders(const std::string& domain) {
  return {{header::kResult, "Spam"}, {header::kReason, domain + " domain in blacklist"}};
}

VerdictHeaders BayesianHeaders(const MessageScore& score) {
  if (score.nonEnglish) return {{header::kResult, "Spam"}, {header::kNonEnglish, "True"}};
  return {{header::kResult, score.verdictText},
          {header::kScore, "Bayesian Score = " + std::to_string(score.score)},
          {header::kTopWords, score.topWords}};
}

}  // namespace tarvex
