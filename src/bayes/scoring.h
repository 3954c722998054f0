// Pure parts of scoring: the non-English test, the combination of the selected
// words' probabilities into a score, and the top-words text.
#ifndef TARVEX_BAYES_SCORING_H_
#define TARVEX_BAYES_SCORING_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bayes/word_table.h"

namespace tarvex {

struct SelectedWord {
  std::string word;
  WordRecord record;  // counts and the probability that took part in the score
};

// The words that take part in one score, in word order.
using SelectedWords = std::vector<SelectedWord>;

// True when the text holds three consecutive bytes above 127.
bool IsNonEnglish(std::string_view text);

// Combines the selected probabilities into 0..100 (50 with no word at all).
uint32_t CombineProbabilities(const SelectedWords& selected);

// " word percent" for each selected word, then CR LF; empty with no word.
std::string TopWordsText(const SelectedWords& selected);

// Offers word with its probability and counts to the selection of at most
// `limit` words farthest from neutral. Words must be offered in word order.
void OfferWord(SelectedWords& selected, std::string_view word, const WordRecord& record,
               uint32_t limit);

}  // namespace tarvex

#endif  // TARVEX_BAYES_SCORING_H_
