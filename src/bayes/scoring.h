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

// Keeps the at most `limit` words whose probabilities lie farthest from 0.5.
// Words must be offered in word order. When the selection is full, a word
// replaces the one nearest to 0.5 (the first in word order among equals) only
// when it lies strictly farther.
class WordSelection {
 public:
  WordSelection(SelectedWords* selected, uint32_t limit) : selected_(*selected), limit_(limit) {
    selected_.clear();
  }
  void Offer(std::string_view word, const WordRecord& record);

 private:
  void FindNearest();

  SelectedWords& selected_;
  const uint32_t limit_;
  size_t nearest_ = 0;  // valid while the selection is full
};

}  // namespace tarvex

#endif  // TARVEX_BAYES_SCORING_H_
