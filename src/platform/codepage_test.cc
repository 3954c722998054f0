#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace tarvex::cp1252 {
namespace {

TEST(CodePage, ClassifiesAndLowersTheBytesTheTokenizerDependsOn) {
  EXPECT_TRUE(IsLetter('a') && IsLetter('Z') && IsLetter(0xE9) && IsLetter(0x8A));
  EXPECT_TRUE(IsLetter(0xAA) && IsLetter(0x83));  // feminine ordinal and florin are letters
  EXPECT_TRUE(IsDigit('0') && IsDigit('9') && IsDigit(0xB2) && IsDigit(0xB9));
  EXPECT_FALSE(IsDigit(0xBD));  // one half is a number, but not a digit
  for (int c :
       {int{'$'}, int{'!'}, int{' '}, 0, int{'_'}, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0xD7, 0xF7}) {
    EXPECT_FALSE(IsLetterOrDigit(static_cast<unsigned char>(c))) << c;
  }
  EXPECT_EQ(ToLower('A'), 'a');
  EXPECT_EQ(ToLower(0xC9), 0xE9);  // E acute
  EXPECT_EQ(ToLower(0x8A), 0x9A);  // S caron
  EXPECT_EQ(ToLower(0x9F), 0xFF);  // Y diaeresis
  EXPECT_EQ(ToLower(0xDF), 0xDF);  // sharp s has no single lower-case form to change to
  EXPECT_EQ(ToLower(0x81), 0x81);
}

TEST(CodePage, ConvertsToAndFromUtf8) {
  EXPECT_EQ(ToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(FromUtf8("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
  // ASCII runs around, between and after the converted characters.
  EXPECT_EQ(ToUtf8("\xE9t\xE9, \x80\x80 ok"), "\xC3\xA9t\xC3\xA9, \xE2\x82\xAC\xE2\x82\xAC ok");
  EXPECT_EQ(FromUtf8("\xC3\xA9t\xC3\xA9, \xD0\x96\xE2\x82\xAC ok"), "\xE9t\xE9, ?\x80 ok");
  EXPECT_EQ(FromUtf8("\xD0\x96"), "?");          // Cyrillic is not in the code page
  EXPECT_EQ(FromUtf8("a\xC3"), "a?");            // truncated sequence
  EXPECT_EQ(FromUtf8("\xC0\xAF"), "??");         // overlong encoding
  EXPECT_EQ(FromUtf8("\xF0\x9F\x98\x80"), "?");  // outside the basic plane
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(FromUtf8(ToUtf8(all)), all);  // every byte survives a round trip
}

TEST(CodePage, FilterTextMarksEachCharacterTheCodePageLacksWithAByteAbove127) {
  const struct {
    const char* utf8;
    std::string filter_text, text;
  } cases[] = {
      // Cyrillic and Greek
      {"\xD0\x9F\xD1\x80\xD0\xB8 \xCE\xB1\xCE\xB2", "\x81\x81\x81 \x81\x81", "??? ??"},
      // Chinese, then an emoji beyond the basic plane
      {"\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80", "\x81\x81\x81", "???"},
      // Characters of the code page, the one at 0x81 included, are themselves.
      {"caf\xC3\xA9 \xE2\x82\xAC\xC2\x81", "caf\xE9 \x80\x81", "caf\xE9 \x80\x81"},
      // Malformed UTF-8 is no character at all.
      {"a\xC3 \xC0\xAF", "a? ??", "a? ??"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FilterTextFromUtf8(c.utf8), c.filter_text) << c.utf8;
    EXPECT_EQ(FromUtf8(c.utf8), c.text) << c.utf8;
  }
  const auto lacked = static_cast<unsigned char>(kLackedCharacter);
  EXPECT_GT(lacked, 127);
  EXPECT_FALSE(IsLetterOrDigit(lacked));  // so it separates words
  EXPECT_EQ(ToLower(lacked), lacked);
}

}  // namespace
}  // namespace tarvex::cp1252
