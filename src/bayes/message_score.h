// The per-message record of one classification: the classifier fills in the
// header text, scoring fills in the rest.
#ifndef TARVEX_BAYES_MESSAGE_SCORE_H_
#define TARVEX_BAYES_MESSAGE_SCORE_H_

#include <cstdint>
#include <string>

#include "bayes/scoring.h"

namespace tarvex {

struct MessageScore {
  std::string headerText;   // read ahead of the body
  std::string verdictText;  // "Spam" or "Clean"
  std::string topWords;     // " word percent" per selected word, then CR LF
  int32_t score = 0;        // 0..100
  int32_t isSpam = 0;
  int32_t scored = 0;      // 1 once a score was computed
  int32_t nonEnglish = 0;  // 1 when the non-English test fired; nothing else is then filled
  SelectedWords selectedWords;
};

}  // namespace tarvex

#endif  // TARVEX_BAYES_MESSAGE_SCORE_H_
