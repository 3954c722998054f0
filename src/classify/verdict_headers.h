// The "X-TVX-" headers through which each message carries its own verdict.
// This is the one place that knows their names, their values and which set of
// them each outcome writes.
#ifndef TARVEX_CLASSIFY_VERDICT_HEADERS_H_
#define TARVEX_CLASSIFY_VERDICT_HEADERS_H_

#include <string>
#include <vector>

#include "bayes/message_score.h"

namespace tarvex {

namespace header {
inline constexpr char kResult[] = "X-TVX-RESULT";
inline constexpr char kReason[] = "X-TVX-REASON";
inline constexpr char kNonEnglish[] = "X-TVX-NONENGLISH";
inline constexpr char kScore[] = "X-TVX-SCORE";
inline constexpr char kTopWords[] = "X-TVX-TOP-WORDS";
// Marks a message the user has judged; such a message is never classified again.
inline constexpr char kLearn[] = "X-TVX-LEARN";
inline constexpr char kLearnSpam[] = "Spam";
inline constexpr char kLearnNotSpam[] = "Not Spam";
}  // namespace header

// The headers that say a message was judged, by the filter or by the user;
// a store is given them to tell judged mail from mail still to be judged.
inline std::vector<std::string> JudgedMarks() { return {header::kResult, header::kLearn}; }

struct HeaderValue {
  std::string name, value;
  bool operator==(const HeaderValue& o) const { return name == o.name && value == o.value; }
  // The value as one header line shows it: without the line end the word
  // list's value carries.
  std::string LineValue() const {
    size_t end = value.size();
    while (end > 0 && (value[end - 1] == '\n' || value[end - 1] == '\r')) --end;
    return value.substr(0, end);
  }
};

// Headers of one verdict, in the order they are written.
using VerdictHeaders = std::vector<HeaderValue>;

// A blacklisted sender, by whole address or by domain.
VerdictHeaders BlacklistedAddressHeaders(const std::string& address);
VerdictHeaders BlacklistedDomainHeaders(const std::string& domain);
// What the Bayesian step found: the non-English set when that test fired,
// else the verdict, the score and the top words.
VerdictHeaders BayesianHeaders(const MessageScore& score);

}  // namespace tarvex

#endif  // TARVEX_CLASSIFY_VERDICT_HEADERS_H_
