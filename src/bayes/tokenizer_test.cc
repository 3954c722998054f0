#include "bayes/tokenizer.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TokenTable Tokens(std::string_view text, const IgnoreWords& ignore = {}) {
  TokenTable table;
  const uint32_t n = Tokenize(text, ignore, {}, &table);
  EXPECT_EQ(n, table.size());
  return table;
}

TEST(Tokenizer, SplitsTextIntoCountedLowerCaseWords) {
  const struct {
    std::string text;
    TokenTable tokens;
  } cases[] = {
      {"FREE free Free!!", {{"free", 2}, {"free!!", 1}}},
      {"$1,000.50 now", {{"$1,000.50", 1}, {"now", 1}}},
      {"U.S.A", {}},
      {"abcdef= abc+def", {}},
      {"-offer", {{"offer", 1}}},
      {"ab abc abcdefghijklmno abcdefghijklmnop", {{"abc", 1}, {"abcdefghijklmno", 1}}},
      {"hello. world,", {{"hello", 1}, {"world", 1}}},
      {"it's don't!", {{"don't!", 1}, {"it's", 1}}},
      {"<font color=red>FREE</font>", {{"font", 2}, {"free", 1}}},
      {"end.Next 5.xyz", {{"end", 1}, {"next", 1}, {"xyz", 1}}},
      // After "12." a separator is pending: the letter after "+" blanks the
      // byte just before it, whatever that byte is, and "12." ends badly.
      {"12.+abc", {{"abc", 1}}},
      {"1,,234", {{"234", 1}}},
      {"caf\xC9 na\xEFve \xC0 propos", {{"caf\xE9", 1}, {"na\xEFve", 1}, {"propos", 1}}},
      {std::string("abc\0def", 7), {{"abc", 1}, {"def", 1}}},  // NUL is an ordinary byte
      {"x_y__z word_", {{"x_y__z", 1}}},                       // "_" may not end a word
      {"", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Tokens(c.text), c.tokens) << c.text;
  }
}

TEST(Tokenizer, OrdersWordsByUnsignedBytes) {
  TokenTable table = Tokens("zebra \xE9t\xE9s apple apples");
  ASSERT_EQ(table.size(), 4u);
  EXPECT_EQ(table[0].word, "apple");
  EXPECT_EQ(table[1].word, "apples");
  EXPECT_EQ(table[2].word, "zebra");
  EXPECT_EQ(table[3].word, "\xE9t\xE9s");
}

TEST(Tokenizer, DropsIgnoredWordsAfterLowerCasing) {
  IgnoreWords ignore;
  ignore.AddIgnoreWord("hello");
  ignore.AddIgnoreWord("World");
  EXPECT_EQ(Tokens("Hello HELLO World there", ignore), (TokenTable{{"there", 1}, {"world", 1}}));
}

}  // namespace
}  // namespace tarvex
