#include "bayes/word_table.h"

#include <algorithm>

namespace tarvex {

WordEntry* WordTable::Find(std::string_view word) {
  auto it = map_.find(std::string(word));
  return it == map_.end() ? nullptr : &it->second;
}

const WordEntry* WordTable::Find(std::string_view word) const {
  auto it = map_.find(std::string(word));
  return it == map_.end() ? nullptr : &it->second;
}

WordEntry& WordTable::FindOrInsert(std::string_view word) { return map_[std::string(word)]; }

std::vector<WordTable::Map::value_type*> WordTable::Sorted() {
  std::vector<Map::value_type*> entries;
  entries.reserve(map_.size());
  for (auto& entry : map_) entries.push_back(&entry);
  // std::string compares bytes as unsigned char, shorter first on a common prefix.
  std::sort(entries.begin(), entries.end(),
            [](const auto* a, const auto* b) { return a->first < b->first; });
  return entries;
}

}  // namespace tarvex
