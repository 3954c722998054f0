#include "bayes/word_table.h"

#include <algorithm>

#include "bayes/word_order.h"

namespace tarvex {

uint32_t WordTable::Hash(std::string_view word) {
  uint64_t h = 0xcbf29ce484222325u;  // FNV-1a: words are short
  for (char c : word) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
  return static_cast<uint32_t>(h ^ (h >> 32));
}

size_t WordTable::Probe(std::string_view word, uint32_t hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.item == kEmpty || (slot.hash == hash && items_[slot.item].word == word)) return i;
  }
}

void WordTable::Prefetch(std::string_view word) const {
  if (slots_.empty()) return;
  const Slot& home = slots_[Hash(word) & (slots_.size() - 1)];
  __builtin_prefetch(&home);
  // The slot may not be loaded yet; when it is, start on its item too.
  if (home.item != kEmpty) __builtin_prefetch(&items_[home.item]);
}

WordEntry* WordTable::Find(std::string_view word) {
  return const_cast<WordEntry*>(static_cast<const WordTable*>(this)->Find(word));
}

const WordEntry* WordTable::Find(std::string_view word) const {
  if (items_.empty()) return nullptr;
  const Slot& slot = slots_[Probe(word, Hash(word))];
  return slot.item == kEmpty ? nullptr : &items_[slot.item].entry;
}

WordEntry& WordTable::FindOrInsert(std::string_view word, bool* inserted) {
  if ((items_.size() + 1) * 2 > slots_.size()) Rehash(std::max<size_t>(16, slots_.size() * 2));
  const uint32_t hash = Hash(word);
  Slot& slot = slots_[Probe(word, hash)];
  if (inserted) *inserted = slot.item == kEmpty;
  if (slot.item == kEmpty) {
    slot = {static_cast<uint32_t>(items_.size()), hash};
    items_.push_back({std::string(word), WordEntry{}});
  }
  return items_[slot.item].entry;
}

void WordTable::Erase(std::string_view word) {
  if (items_.empty()) return;
  size_t hole = Probe(word, Hash(word));
  const uint32_t removed = slots_[hole].item;
  if (removed == kEmpty) return;

  // Keep the items dense: the last item takes the removed one's place.
  const uint32_t last = static_cast<uint32_t>(items_.size() - 1);
  if (removed != last) {
    slots_[Probe(items_[last].word, Hash(items_[last].word))].item = removed;
    items_[removed] = std::move(items_[last]);
  }
  items_.pop_back();

  // Close the gap in the probe sequence by shifting later entries back.
  const size_t mask = slots_.size() - 1;
  for (size_t next = (hole + 1) & mask; slots_[next].item != kEmpty; next = (next + 1) & mask) {
    const size_t home = slots_[next].hash & mask;
    // Move the entry into the hole unless its home lies cyclically in (hole, next].
    if (((next - home) & mask) >= ((next - hole) & mask)) {
      slots_[hole] = slots_[next];
      hole = next;
    }
  }
  slots_[hole] = Slot{};
}

void WordTable::Clear() {
  items_.clear();
  slots_.clear();
}

void WordTable::Reserve(size_t n) {
  items_.reserve(n);
  size_t capacity = 16;
  while (capacity < n * 2) capacity *= 2;
  if (capacity > slots_.size()) Rehash(capacity);
}

void WordTable::Rehash(size_t capacity) {
  slots_.assign(capacity, Slot{});
  const size_t mask = capacity - 1;
  for (uint32_t i = 0; i < items_.size(); ++i) {
    const uint32_t hash = Hash(items_[i].word);
    size_t s = hash & mask;
    while (slots_[s].item != kEmpty) s = (s + 1) & mask;
    slots_[s] = {i, hash};
  }
}

std::vector<WordTable::Item*> WordTable::Sorted() {
  std::vector<WordKey<Item*>> keys;
  keys.reserve(items_.size());
  for (Item& item : items_) keys.emplace_back(item.word, &item);
  SortWordKeys(keys);
  std::vector<Item*> sorted;
  sorted.reserve(keys.size());
  for (const auto& key : keys) sorted.push_back(key.value);
  return sorted;
}

}  // namespace tarvex
