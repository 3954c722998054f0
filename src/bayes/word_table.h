// The word table: per word, how often it was seen in spam and in clean mail.
#ifndef TARVEX_BAYES_WORD_TABLE_H_
#define TARVEX_BAYES_WORD_TABLE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tarvex {

struct WordRecord {
  int32_t spamCount = 0;   // occurrences counted in spam messages
  int32_t cleanCount = 0;  // occurrences counted in clean messages
  float probability = 0;   // stored spam probability
  int32_t lastSeen = 0;    // seconds since 1970
};

// A word's record plus the bookkeeping that lets probabilities be recomputed
// lazily: `pinnedAt` names the recompute generation in which `probability` was
// last set explicitly. When a recompute has happened since, the stored value is
// whatever the probability rule gives for the current counts (see BayesEngine).
struct WordEntry {
  WordRecord record;
  uint32_t pinnedAt = 0;
};

// Words are byte strings. Lookups are hashed; walks in word order (unsigned
// byte order, shorter first on a common prefix) sort on demand.
class WordTable {
 public:
  using Map = std::unordered_map<std::string, WordEntry>;

  WordEntry* Find(std::string_view word);
  const WordEntry* Find(std::string_view word) const;
  // The entry of word, inserted with a zero record when missing.
  WordEntry& FindOrInsert(std::string_view word);
  void Erase(std::string word) { map_.erase(word); }
  void Clear() { map_.clear(); }
  size_t size() const { return map_.size(); }
  bool empty() const { return map_.empty(); }

  // Every entry, in word order. Pointers stay valid until the table changes.
  std::vector<Map::value_type*> Sorted();

  Map& map() { return map_; }

 private:
  Map map_;
};

}  // namespace tarvex

#endif  // TARVEX_BAYES_WORD_TABLE_H_
