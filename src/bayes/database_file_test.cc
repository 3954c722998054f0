#include "bayes/database_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace tarvex {
namespace {

constexpr int32_t kNow = 1'000'000;

struct Parsed {
  WordTable table;
  DatabaseHeader header;
  bool repaired;
  const WordRecord* Word(std::string_view w) const {
    const WordEntry* e = table.Find(w);
    return e ? &e->record : nullptr;
  }
};

Parsed Parse(std::string_view text) {
  Parsed p;
  p.repaired = ParseDatabaseText(text, kNow, 7, &p.table, &p.header);
  return p;
}

TEST(DatabaseFile, ReadsHeaderLinesLeniently) {
  Parsed p = Parse("Version = 1.05\nSpam = -5\n Cl ean=12.7\n");
  EXPECT_FLOAT_EQ(p.header.databaseVersion, 1.05f);
  EXPECT_EQ(p.header.spamMessageCount, 5);  // the minus sign is dropped
  EXPECT_EQ(p.header.cleanMessageCount, 12);
  EXPECT_FALSE(p.repaired);
  EXPECT_EQ(Parse("Spam = 99999999999\n").header.spamMessageCount, 2147483647);
  EXPECT_EQ(Parse("spam = 3\n").header.spamMessageCount, 0);  // keys are case-sensitive
  EXPECT_EQ(Parse("").table.size(), 0u);
}

TEST(DatabaseFile, ReadsWordLinesRepairingWhatItCan) {
  Parsed p = Parse(
      "free = 3,0,0.5,0\n"
      "'tis = 1,1,0.5,1000\n"
      "!offer = 2,0,0.9,1000\n"
      "offer = 2,0,0.8,100\n"
      "-offer = 4,1,0.4,200\n"
      "zero = 0,0,0.5,100\n"
      "tiny = 1,0,0,100\n"
      "huge = 1,0,1.7,100\n"
      "noeq 1,2,0.5,100\n"
      "empty =\n"
      "twoeq = 3 = 1,1,0.5,5\n"
      "short = 1,,0.5\n"
      "last = 9,9,0.25,1234");  // no final line feed
  EXPECT_TRUE(p.repaired);
  ASSERT_TRUE(p.Word("free"));
  EXPECT_EQ(p.Word("free")->lastSeen, kNow);
  EXPECT_FALSE(p.Word("tis"));
  const WordRecord* offer = p.Word("offer");
  ASSERT_TRUE(offer);
  EXPECT_EQ(offer->spamCount, 8);
  EXPECT_EQ(offer->cleanCount, 1);
  EXPECT_FLOAT_EQ(offer->probability, ((0.9f + 0.8f) * 0.5f + 0.4f) * 0.5f);
  EXPECT_EQ(offer->lastSeen, 1000);
  EXPECT_FALSE(p.Word("zero"));
  EXPECT_EQ(p.Word("tiny")->probability, 0.0001f);
  EXPECT_EQ(p.Word("huge")->probability, 1.0f);
  EXPECT_FALSE(p.Word("noeq"));
  EXPECT_FALSE(p.Word("empty"));
  ASSERT_TRUE(p.Word("twoeq"));  // the value ends at the second "="
  EXPECT_EQ(p.Word("twoeq")->spamCount, 3);
  EXPECT_EQ(p.Word("twoeq")->cleanCount, 0);
  ASSERT_TRUE(p.Word("short"));
  EXPECT_EQ(p.Word("short")->cleanCount, 0);
  EXPECT_EQ(p.Word("short")->lastSeen, kNow);
  EXPECT_EQ(p.Word("last")->lastSeen, 1234);
  EXPECT_EQ(p.table.Find("last")->pinnedAt, 7u);
}

TEST(DatabaseFile, MarksRepairsOnlyForWordsThatStay) {
  // A missing stamp marks a repair even when the word is then dropped...
  EXPECT_TRUE(Parse("'tis = 1,1,0.5,0\n").repaired);
  // ...but stripping leading characters of a dropped word does not.
  EXPECT_FALSE(Parse("'tis = 1,1,0.5,10\n").repaired);
  EXPECT_FALSE(Parse("$$$$ = 1,1,0.5,10\n").repaired);
  EXPECT_TRUE(Parse("$money = 1,1,0.5,10\n").repaired);
  EXPECT_TRUE(Parse("$money = 1,1,0.5,10\n").Word("money"));
}

TEST(DatabaseFile, SkipsOverlongLinesAndSurvivesGarbage) {
  const std::string fits = std::string(240, 'w') + " = 1,0,0.5,10";  // 253 bytes
  const std::string too_long = std::string(250, 'v') + " = 1,0,0.5,10";
  Parsed p = Parse(fits + "\n" + too_long + "\nokay = 1,0,0.5,10\n");
  EXPECT_TRUE(p.Word(std::string(240, 'w')));
  EXPECT_FALSE(p.Word(std::string(250, 'v')));
  EXPECT_TRUE(p.Word("okay"));
  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
  Parse(garbage);  // must not read or write out of bounds (run under the sanitizers)
  Parsed big = Parse("abcd = 2147483647,1\nabcd = 1,2147483647\n");  // counts stop, not wrap
  EXPECT_EQ(big.Word("abcd")->spamCount, 2147483647);
  EXPECT_EQ(big.Word("abcd")->cleanCount, 2147483647);
  Parsed nul = Parse(std::string("wo\0rd = 1,0,0.5,10\n", 19));
  EXPECT_TRUE(nul.Word("word"));
}

TEST(DatabaseFile, WritesLinesInTheFileFormat) {
  std::string text;
  AppendHeaderLines({12, 40, 1.01f}, &text);
  AppendWordLine("cheap", {14, 0, 0.9999f, 86400}, &text);
  AppendWordLine("meeting", {0, 9, 0.0001f, 90000}, &text);
  EXPECT_EQ(text,
            "Version = 1.01\nSpam = 12\nClean = 40\n"
            "cheap = 14,0,0.99989998,86400\nmeeting = 0,9,0.00010000,90000\n");
  text.clear();
  AppendHeaderLines({0, 0, 0.0f}, &text);
  EXPECT_EQ(text, "Version = 1.01\nSpam = 0\nClean = 0\n");
  Scramble(text.data(), text.size());
  EXPECT_EQ(text.find('\n'), std::string::npos);
  Scramble(text.data(), text.size());
  EXPECT_EQ(text.substr(0, 8), "Version ");
}

TEST(DatabaseFile, FormatsProbabilitiesExactlyAsPrintfDoes) {
  std::vector<float> values = {1.0f,
                               0.0001f,
                               0.5f,
                               0.99989998f,
                               0.3333333f,
                               1e-9f,
                               3.5f,
                               0.0f,
                               std::nextafter(0.0001f, 1.0f),
                               0.00000762939453125f};
  for (uint32_t bits = 0x38d1b717u; bits <= 0x3f800000u; bits += 4099) {  // 0.0001 .. 1.0
    float value;
    std::memcpy(&value, &bits, sizeof value);
    values.push_back(value);
  }
  for (float value : values) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.8f", static_cast<double>(value));
    std::string text;
    AppendFixed8(value, &text);
    ASSERT_EQ(text, expected) << value;
  }
}

}  // namespace
}  // namespace tarvex
