#include "bayes/tokenizer.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

#include "platform/codepage.h"

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
      // Characters the code page lacks reach the filter as 0x81, which
      // separates words as "?" did.
      {"\x81\x81\x81 Caf\x81"
       "abc \x81"
       "xyz! 123\x81"
       "456",
       {{"123", 1}, {"456", 1}, {"abc", 1}, {"caf", 1}, {"xyz!", 1}}},
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

// The rules as plainly as they can be written: blank every byte that cannot be
// part of a word, split at spaces, check each piece. The tokenizer does the
// same in one pass and must agree on every text.
TokenTable PlainTokens(std::string text) {
  auto is_word_char = [](char c) { return cp1252::IsLetterOrDigit(static_cast<unsigned char>(c)); };
  auto is_kept = [](char c) {
    return std::string_view("+/=$!'-_").find(c) != std::string_view::npos;
  };
  bool after_digit = false, separator_pending = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (is_word_char(c)) {
      const bool letter = cp1252::IsLetter(static_cast<unsigned char>(c));
      if (separator_pending && letter) text[i - 1] = ' ';
      separator_pending = false;
      after_digit = !letter;
    } else if ((c == ',' || c == '.') && after_digit) {
      separator_pending = true;
      after_digit = false;
    } else if (!is_kept(c)) {
      text[i] = ' ';
    }
  }
  std::map<std::string, int32_t> counts;
  std::istringstream pieces(text);
  for (std::string piece; pieces >> piece;) {
    if (piece.size() < 3 || piece.size() > 15) continue;
    if (!is_word_char(piece.back()) && piece.back() != '!') continue;
    size_t start = 0;
    while (start < piece.size() && !is_word_char(piece[start]) && piece[start] != '$') ++start;
    piece.erase(0, start);
    if (piece.empty() || piece.find_first_of("+/=") != std::string::npos) continue;
    for (char& c : piece) c = static_cast<char>(cp1252::ToLower(static_cast<unsigned char>(c)));
    ++counts[piece];
  }
  TokenTable table;
  for (const auto& [word, count] : counts) table.push_back({word, count});
  return table;
}

// The table made by counting what the visitor meets.
TokenTable VisitedTokens(std::string text) {
  std::map<std::string, int32_t> counts;
  VisitWordsInPlace(text, {}, {}, [&](std::string_view word) { ++counts[std::string(word)]; });
  TokenTable table;
  for (const auto& [word, count] : counts) table.push_back({word, count});
  return table;
}

// The visitor meets the very words the table counts, in the order of the text.
TEST(Tokenizer, AgreesWithThePlainRulesOnRandomText) {
  const std::string alphabet = std::string("aZx9 0.,+/=$!'-_\n<>:;\xE9\xC9\x81\xB2") + '\0';
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const size_t length = rng() % 80;
    for (size_t i = 0; i < length; ++i) text.push_back(alphabet[rng() % alphabet.size()]);
    const TokenTable plain = PlainTokens(text);
    ASSERT_EQ(Tokens(text), plain) << text;
    ASSERT_EQ(VisitedTokens(text), plain) << text;
  }
}

TEST(Tokenizer, VisitsTheCountedWordsInTextOrder) {
  IgnoreWords ignore;
  ignore.AddIgnoreWord("the");
  std::vector<std::string> seen;
  std::string text = "Cheap PILLS, the $1,000.50 deal!! at a cheap price: abc+def";
  VisitWordsInPlace(text, ignore, {}, [&](std::string_view word) { seen.emplace_back(word); });
  EXPECT_EQ(seen,
            (std::vector<std::string>{"cheap", "pills", "$1,000.50", "deal!!", "cheap", "price"}));
}

}  // namespace
}  // namespace tarvex
