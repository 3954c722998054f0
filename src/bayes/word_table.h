// The word table: per word, how often it was seen in spam and in clean mail.
#ifndef TARVEX_BAYES_WORD_TABLE_H_
#define TARVEX_BAYES_WORD_TABLE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

struct WordRecord {
  int32_t spamCount = 0;   // occurrences counted in spam messages
  int32_t cleanCount = 0;  // occurrences counted in clean messages
  float probability = 0;   // stored spam probability
  int32_t lastSeen = 0;    // seconds since 1970
};

// Adds to a count, stopping at the largest 32-bit number instead of wrapping.
inline int32_t AddCount(int32_t count, int32_t add) {
  const int64_t sum = static_cast<int64_t>(count) + add;
  return sum > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sum);
}

// A word's record plus the bookkeeping that lets probabilities be recomputed
// lazily: `pinnedAt` names the recompute generation in which `probability` was
// last set explicitly. When a recompute has happened since, the stored value is
// whatever the probability rule gives for the current counts (see BayesEngine).
struct WordEntry {
  WordRecord record;
  uint32_t pinnedAt = 0;
};

// Words are byte strings. Entries live in one dense array indexed by an
// open-addressing hash, so a lookup touches two cache lines; walks in word
// order (unsigned byte order, shorter first on a common prefix) sort on demand.
//
// Pointers to entries stay valid until the next insertion or erasure.
class WordTable {
 public:
  struct Item {
    std::string word;
    WordEntry entry;
  };

  WordEntry* Find(std::string_view word);
  const WordEntry* Find(std::string_view word) const;
  // Starts loading what a later Find of word touches, so that lookups of many
  // words overlap their memory latency.
  void Prefetch(std::string_view word) const;
  // The entry of word, inserted with a zero record when missing; *inserted
  // tells which.
  WordEntry& FindOrInsert(std::string_view word, bool* inserted = nullptr);
  void Erase(std::string_view word);
  void Clear();
  // Makes room for n words without rehashing.
  void Reserve(size_t n);
  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }

  // Every item, in no particular order.
  std::vector<Item>& items() { return items_; }
  const std::vector<Item>& items() const { return items_; }
  // Every item, in word order.
  std::vector<Item*> Sorted();

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  struct Slot {
    uint32_t item = kEmpty;  // index into items_
    uint32_t hash = 0;
  };

  static uint32_t Hash(std::string_view word);
  // The slot holding word, or the empty slot where it would go.
  size_t Probe(std::string_view word, uint32_t hash) const;
  void Rehash(size_t capacity);

  std::vector<Item> items_;
  std::vector<Slot> slots_;  // size is a power of two, at most half full
};

}  // namespace tarvex

#endif  // TARVEX_BAYES_WORD_TABLE_H_
