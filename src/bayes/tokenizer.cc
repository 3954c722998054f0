#include "bayes/tokenizer.h"

#include <array>

#include "bayes/word_order.h"
#include "platform/codepage.h"

namespace tarvex {
namespace {

enum CharKind : uint8_t {
  kOther,  // never part of a word
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

constexpr size_t kNoPiece = SIZE_MAX;

// Cuts text into pieces: runs of bytes that can be part of a word. A "," or
// "." belongs to a piece only right after a digit (the last letter or digit
// seen), and a letter after such a separator cuts the piece just before
// itself ("5.x" gives "5." and "x"), so numbers keep their separators while
// sentences do not. Calls piece(start, end) for each, in text order.
template <typename PieceFn>
void CutPieces(const std::string& text, PieceFn&& piece) {
  const char* const p = text.data();
  const size_t size = text.size();
  bool after_digit = false;
  bool separator_pending = false;
  size_t start = kNoPiece;
  const auto end_piece = [&](size_t end) {
    if (start != kNoPiece) piece(start, end);
    start = kNoPiece;
  };
  // Letters and non-word bytes come in runs; each run is taken in one tight
  // loop, the rarer kinds one byte at a time.
  for (size_t i = 0; i < size;) {
    switch (KindOf(p[i])) {
      case kOther:
        end_piece(i);
        do ++i;
        while (i < size && KindOf(p[i]) == kOther);
        continue;
      case kLetter:
        if (separator_pending) {
          // The byte before this letter no longer belongs to any piece.
          if (start != kNoPiece && i - 1 > start) piece(start, i - 1);
          start = i;
          separator_pending = false;
        } else if (start == kNoPiece) {
          start = i;
        }
        after_digit = false;
        do ++i;
        while (i < size && KindOf(p[i]) == kLetter);
        continue;
      case kDigit:
        if (start == kNoPiece) start = i;
        separator_pending = false;
        after_digit = true;
        break;
      case kSeparator:
        if (!after_digit) {
          end_piece(i);
          break;
        }
        separator_pending = true;
        after_digit = false;
        if (start == kNoPiece) start = i;
        break;
      case kBase64:
      case kKept:
        if (start == kNoPiece) start = i;
        break;
    }
    ++i;
  }
  end_piece(size);
}

// Counts the occurrences of each word of one text. Open addressing over views
// into the text, so candidates are not copied until the table is built.
class WordCounter {
 public:
  WordCounter() : slots_(256) {}

  void Add(std::string_view word, uint64_t hash) {
    if (used_ * 2 >= slots_.size()) Grow();
    Slot& slot = Find(word, hash);
    if (slot.count == 0) {
      slot.word = word;
      slot.hash = hash;
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
    uint64_t hash = 0;
    int32_t count = 0;
  };

  Slot& Find(std::string_view word, uint64_t hash) {
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      Slot& slot = slots_[i];
      if (slot.count == 0 || (slot.hash == hash && slot.word == word)) return slot;
    }
  }

  void Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.count) Find(slot.word, slot.hash) = slot;
    }
  }

  std::vector<Slot> slots_;
  size_t used_ = 0;
};

// The word a piece yields, lower-cased in place, or an empty view when the
// piece is dropped: too short or too long (measured before leading
// punctuation is stripped), ending in anything but a letter, digit or "!",
// or holding a base64 character after the strip. Also hashes the word.
std::string_view WordOfPiece(char* piece, size_t length, const TokenizerLimits& limits,
                             uint64_t* hash) {
  if (length < limits.minWordLength || length > limits.maxWordLength) return {};
  const char last = piece[length - 1];
  if (!IsWordChar(last) && last != '!') return {};
  size_t start = 0;
  while (start < length && !IsWordChar(piece[start]) && piece[start] != '$') ++start;
  if (start == length) return {};
  uint64_t h = 0xcbf29ce484222325u;  // FNV-1a
  for (size_t i = start; i < length; ++i) {
    if (KindOf(piece[i]) == kBase64) return {};
    const unsigned char lower = cp1252::ToLower(static_cast<unsigned char>(piece[i]));
    piece[i] = static_cast<char>(lower);
    h = (h ^ lower) * 0x100000001b3u;
  }
  *hash = h ^ (h >> 29);
  return std::string_view(piece + start, length - start);
}

// Calls each(word, hash) for every word of work that is kept, in text order.
template <typename WordFn>
void ForEachWord(std::string& work, const IgnoreWords& ignore, const TokenizerLimits& limits,
                 WordFn&& each) {
  CutPieces(work, [&](size_t start, size_t end) {
    uint64_t hash;
    const std::string_view word = WordOfPiece(&work[start], end - start, limits, &hash);
    if (!word.empty() && !ignore.IsIgnored(word)) each(word, hash);
  });
}

}  // namespace

uint32_t TokenizeInPlace(std::string& work, const IgnoreWords& ignore,
                         const TokenizerLimits& limits, TokenTable* table) {
  if (work.empty()) return 0;
  WordCounter counter;
  ForEachWord(work, ignore, limits,
              [&](std::string_view word, uint64_t hash) { counter.Add(word, hash); });
  counter.MoveTo(table);
  return static_cast<uint32_t>(table->size());
}

void VisitWordsInPlace(std::string& work, const IgnoreWords& ignore, const TokenizerLimits& limits,
                       const std::function<void(std::string_view)>& visit) {
  ForEachWord(work, ignore, limits, [&](std::string_view word, uint64_t) { visit(word); });
}

}  // namespace tarvex
