#include "bayes/ignore_words.h"

namespace tarvex {
namespace {

// Words are read into a 256-byte buffer; a longer word could never match a
// token (at most 15 bytes), so it is passed over.
constexpr size_t kMaxIgnoreWordLength = 255;

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

void IgnoreWords::AddIgnoreWord(std::string_view word) {
  if (!word.empty() && words_.find(word) == words_.end()) words_.emplace(word);
}

void IgnoreWords::AddWordsOf(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    const size_t start = pos;
    while (pos < text.size() && !IsSpace(text[pos])) ++pos;
    const std::string_view word = text.substr(start, pos - start);
    if (!word.empty() && word.size() <= kMaxIgnoreWordLength && word[0] != ';') {
      AddIgnoreWord(word);
    }
  }
}

std::string IgnoreWords::FileText() const {
  std::string text;
  for (const std::string& word : words_) text.append(word).push_back('\n');
  return text;
}

}  // namespace tarvex
