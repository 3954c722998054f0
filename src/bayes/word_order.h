// Word order: unsigned bytes, shorter first on a common prefix. Sorting on a
// 16-byte prefix key decides nearly every comparison without touching the
// words themselves; tokens are at most 15 bytes, so for them it decides all.
#ifndef TARVEX_BAYES_WORD_ORDER_H_
#define TARVEX_BAYES_WORD_ORDER_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace tarvex {

// The first 16 bytes of a word, big-endian and zero-padded, and what it keys.
// Equal prefixes fall back to comparing the words, so words holding zero
// bytes or longer than 16 bytes still sort correctly.
template <typename T>
struct WordKey {
  uint64_t high, low;
  std::string_view word;
  T value;

  WordKey(std::string_view w, T v) : word(w), value(v) {
    unsigned char bytes[16] = {};
    std::memcpy(bytes, w.data(), std::min<size_t>(w.size(), 16));
    std::memcpy(&high, bytes, 8);
    std::memcpy(&low, bytes + 8, 8);
    high = __builtin_bswap64(high);
    low = __builtin_bswap64(low);
  }
  bool operator<(const WordKey& o) const {
    if (high != o.high) return high < o.high;
    if (low != o.low) return low < o.low;
    return word < o.word;
  }
};

// Sorts keys in word order.
template <typename T>
void SortWordKeys(std::vector<WordKey<T>>& keys) {
  std::sort(keys.begin(), keys.end());
}

}  // namespace tarvex

#endif  // TARVEX_BAYES_WORD_ORDER_H_
