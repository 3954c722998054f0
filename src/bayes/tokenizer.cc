#include "bayes/tokenizer.h"

#include <algorithm>
#include <array>

#include "bayes/word_order.h"
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

// Counts the occurrences of each word of one text. Open addressing over views
// into the text, so candidates are not copied until the table is built.
class WordCounter {
 public:
  explicit WordCounter(size_t expected) {
    size_t capacity = 16;
    while (capacity < expected * 2) capacity *= 2;
    slots_.resize(capacity);
  }

  void Add(std::string_view word) {
    if (used_ * 2 >= slots_.size()) Grow();
    Slot& slot = Find(word);
    if (slot.count == 0) {
      slot.word = word;
      ++used_;
    }
    ++slot.count;
  }

  // The distinct words with their counts, in word order.
  void MoveTo(TokenTable* table) {
    std::vector<WordKey<int32_t>> distinct;
    distinct.reserve(used_);
    for (const Slot& slot : slots_) {
      if (slot.count) distinct.emplace_back(slot.word, slot.count);
    }
    SortWordKeys(distinct);
    table->reserve(table->size() + distinct.size());
    for (const auto& key : distinct) table->push_back({std::string(key.word), key.value});
  }

 private:
  struct Slot {
    std::string_view word;
    int32_t count = 0;
  };

  static size_t Hash(std::string_view word) {
    uint64_t h = 0xcbf29ce484222325u;
    for (char c : word) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    return static_cast<size_t>(h ^ (h >> 29));
  }

  Slot& Find(std::string_view word) {
    const size_t mask = slots_.size() - 1;
    for (size_t i = Hash(word) & mask;; i = (i + 1) & mask) {
      if (slots_[i].count == 0 || slots_[i].word == word) return slots_[i];
    }
  }

  void Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.count) Find(slot.word) = slot;
    }
  }

  std::vector<Slot> slots_;
  size_t used_ = 0;
};

}  // namespace

uint32_t TokenizeInPlace(std::string& work, const IgnoreWords& ignore,
                         const TokenizerLimits& limits, TokenTable* table) {
  if (work.empty()) return 0;
  BlankNonWordBytes(work);

  WordCounter counter(work.size() / 16);
  const size_t size = work.size();
  for (size_t i = 0; i < size;) {
    if (work[i] == ' ') {
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < size && work[i] != ' ') ++i;
    const std::string_view word = WordOfPiece(&work[start], i - start, limits);
    if (!word.empty() && !ignore.IsIgnored(word)) counter.Add(word);
  }
  counter.MoveTo(table);
  return static_cast<uint32_t>(table->size());
}

}  // namespace tarvex
