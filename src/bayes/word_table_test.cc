#include "bayes/word_table.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tarvex
