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

}  // namespace
}  // namespace tarvex::cp1252
