// Turns a message text into its distinct words with their number of
// occurrences. The rules act on raw bytes of the single-byte code page: money
// amounts and numbers with separators stay whole ("$1,000.50"), the characters
// "$!'-_" are kept inside words, leading punctuation is stripped, a word still
// holding "+", "/" or "=" is taken for a fragment of base64 and dropped, and
// words are lower-cased.
#ifndef TARVEX_BAYES_TOKENIZER_H_
#define TARVEX_BAYES_TOKENIZER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "bayes/ignore_words.h"

namespace tarvex {

struct Token {
  std::string word;
  int32_t count;  // occurrences in the text
  bool operator==(const Token& o) const { return word == o.word && count == o.count; }
};

// Distinct words in word order (unsigned byte order).
using TokenTable = std::vector<Token>;

struct TokenizerLimits {
  uint32_t minWordLength = 3;
  uint32_t maxWordLength = 15;
};

// Fills the caller's empty table and returns the number of distinct words.
// `text` serves as the working copy and is left edited.
uint32_t TokenizeInPlace(std::string& text, const IgnoreWords& ignore,
                         const TokenizerLimits& limits, TokenTable* table);

// Calls visit with every word the table would count, in the order of the text
// and once per occurrence, so that a reader can follow what the filter saw.
// `text` serves as the working copy, as above.
void VisitWordsInPlace(std::string& text, const IgnoreWords& ignore, const TokenizerLimits& limits,
                       const std::function<void(std::string_view)>& visit);

// The same on a copy of text.
inline uint32_t Tokenize(std::string_view text, const IgnoreWords& ignore,
                         const TokenizerLimits& limits, TokenTable* table) {
  std::string work(text);
  return TokenizeInPlace(work, ignore, limits, table);
}

}  // namespace tarvex

#endif  // TARVEX_BAYES_TOKENIZER_H_
