#include "bayes/word_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace tarvex {
namespace {

TEST(WordTable, WalksInUnsignedByteOrderShorterFirst) {
  WordTable table;
  for (const char* w : {"\xE9t\xE9", "abc", "ab", "Zed", "abd", "$100"}) {
    table.FindOrInsert(w).record.spamCount = 1;
  }
  table.FindOrInsert("abc").record.spamCount += 1;  // found, not inserted twice
  std::vector<std::string> order;
  for (auto* item : table.Sorted()) order.push_back(item->word);
  EXPECT_EQ(order, (std::vector<std::string>{"$100", "Zed", "ab", "abc", "abd", "\xE9t\xE9"}));
  EXPECT_EQ(table.Find("abc")->record.spamCount, 2);
  table.Erase("abc");
  EXPECT_EQ(table.Find("abc"), nullptr);
  EXPECT_EQ(table.size(), 5u);
}

// Insertions and erasures in any order must keep every word findable: erasing
// shifts later entries of a probe run back and moves the last item into the
// hole, both easy to get subtly wrong.
TEST(WordTable, AgreesWithAnOrderedMapUnderRandomChurn) {
  std::mt19937 rng(42);
  WordTable table;
  std::map<std::string, int32_t> reference;
  for (int step = 0; step < 20000; ++step) {
    const std::string word = "w" + std::to_string(rng() % 700);
    if (rng() % 3 == 0) {
      table.Erase(word);
      reference.erase(word);
    } else {
      table.FindOrInsert(word).record.spamCount += 1;
      reference[word] += 1;
    }
    if (step % 997 == 0) table.Reserve(reference.size() + rng() % 2000);
  }
  ASSERT_EQ(table.size(), reference.size());
  for (int i = 0; i < 700; ++i) {
    const std::string word = "w" + std::to_string(i);
    const WordEntry* entry = table.Find(word);
    auto it = reference.find(word);
    ASSERT_EQ(entry != nullptr, it != reference.end()) << word;
    if (entry) {
      EXPECT_EQ(entry->record.spamCount, it->second) << word;
    }
  }
  std::vector<std::string> order;
  for (auto* item : table.Sorted()) order.push_back(item->word);
  std::vector<std::string> expected;
  for (const auto& [word, count] : reference) expected.push_back(word);
  EXPECT_EQ(order, expected);
  table.Clear();
  EXPECT_EQ(table.Find("w1"), nullptr);
}

}  // namespace
}  // namespace tarvex
