#include "bayes/tokenizer.h"

#include <algorithm>
#include <array>

#include "platform/codepage.h"

namespace tarvex {
namespace {

enum CharKind : uint8_t {
  kOther,  // becomes a space
  kLetter,
  kDigit,
  kBase64,     // "+/=": kept, marks a piece as base64
  kKept,       // "$!'-_": kept inside words
  kSeparator,  // ",.": kept only right after a digit
};

constexpr std::array<CharKind, 256> MakeKinds() {
  std::array<CharKind, 256> kinds{};
  for (int c = 0; c < 256; ++c) {
    const auto byte = static_cast<unsigned char>(c);
    if (cp1252::IsLetter(byte)) {
      kinds[c] = kLetter;
    } else if (cp1252::IsDigit(byte)) {
      kinds[c] = kDigit;
    }
  }
  for (unsigned char c : {'+', '/', '='}) kinds[c] = kBase64;
  for (unsigned char c : {'$', '!', '\'', '-', '_'}) kinds[c] = kKept;
  for (unsigned char c : {',', '.'}) kinds[c] = kSeparator;
  return kinds;
}

constexpr std::array<CharKind, 256> kKinds = MakeKinds();

CharKind KindOf(char c) { return kKinds[static_cast<unsigned char>(c)]; }
bool IsWordChar(char c) { return KindOf(c) == kLetter || KindOf(c) == kDigit; }

// Pass 1: every byte that cannot be part of a word becomes a space. A "," or
// "." survives only after a digit, and a letter right after such a separator
// splits it off again ("5.x" -> "5 x"), so numbers keep their separators.
void BlankNonWordBytes(std::string& text) {
  bool after_digit = false;
  bool separator_pending = false;
  for (size_t i = 0; i < text.size(); ++i) {
    switch (KindOf(text[i])) {
      case kLetter:
        if (separator_pending) text[i - 1] = ' ';
        separator_pending = after_digit = false;
        break;
      case kDigit:
        separator_pending = false;
        after_digit = true;
        break;
      case kBase64:
      case kKept:
        break;
      case kSeparator:
        if (after_digit) {
          separator_pending = true;
          after_digit = false;
        } else {
          text[i] = ' ';
        }
        break;
      case kOther:
        text[i] = ' ';
        break;
    }
  }
}

// Pass 2 for one piece between spaces: the word it yields, lower-cased in
// place, or an empty view when it is dropped.
std::string_view WordOfPiece(char* piece, size_t length, const TokenizerLimits& limits) {
  if (length < limits.minWordLength || length > limits.maxWordLength) return {};
  const char last = piece[length - 1];
  if (!IsWordChar(last) && last != '!') return {};
  size_t start = 0;
  while (start < length && !IsWordChar(piece[start]) && piece[start] != '$') ++start;
  if (start == length) return {};
  for (size_t i = start; i < length; ++i) {
    if (KindOf(piece[i]) == kBase64) return {};
    piece[i] = static_cast<char>(cp1252::ToLower(static_cast<unsigned char>(piece[i])));
  }
  return std::string_view(piece + start, length - start);
}

}  // namespace

uint32_t Tokenize(std::string_view text, const IgnoreWords& ignore, const TokenizerLimits& limits,
                  TokenTable* table) {
  if (text.empty()) return 0;
  std::string work(text);
  BlankNonWordBytes(work);

  std::vector<std::string_view> words;
  words.reserve(work.size() / 8);
  const size_t size = work.size();
  for (size_t i = 0; i < size;) {
    if (work[i] == ' ') {
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < size && work[i] != ' ') ++i;
    const std::string_view word = WordOfPiece(&work[start], i - start, limits);
    if (!word.empty() && !ignore.IsIgnored(word)) words.push_back(word);
  }

  std::sort(words.begin(), words.end());
  for (size_t i = 0; i < words.size();) {
    size_t run = i + 1;
    while (run < words.size() && words[run] == words[i]) ++run;
    table->push_back({std::string(words[i]), static_cast<int32_t>(run - i)});
    i = run;
  }
  return static_cast<uint32_t>(table->size());
}

}  // namespace tarvex
