#include "settings/filter_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tarvex {
namespace {

TEST(FilterSettingsTest, MissingKeyReadsNothingAndDropsWrites) {
  MemorySettingsStore store(/*key_exists=*/false);
  FilterSettings settings(store);
  settings.SetBeepAtSpam(1);
  settings.SetNotSpamFolderName("Inbox");
  EXPECT_TRUE(store.values().empty());

  EXPECT_EQ(settings.GetMarkReadBeforeMoving(), 0u);
  EXPECT_EQ(settings.GetConsiderNonEnglishSpam(), 0u);
  EXPECT_EQ(settings.GetBeepAtSpam(), 0u);
  EXPECT_EQ(settings.GetLearnFromMarkSpam(), 0u);
  EXPECT_EQ(settings.GetLearnFromNotSpam(), 0u);
  EXPECT_EQ(settings.GetLearnFromBlackListed(), 0u);
  EXPECT_EQ(settings.GetLearnFromWhiteListed(), 0u);
  char buffer[260];
  EXPECT_FALSE(settings.GetWordFilePath(buffer, sizeof buffer));
  EXPECT_FALSE(settings.GetIgnoreFilePath(buffer, sizeof buffer));
  EXPECT_EQ(settings.GetNotSpamFolderName(), "");
  EXPECT_EQ(settings.GetBlackListPath(), "");
  EXPECT_EQ(settings.GetWhiteListPath(), "");
}

TEST(FilterSettingsTest, OptionsAreStoredUnderTheirOwnNamesAsLittleEndianDwords) {
  MemorySettingsStore store;
  FilterSettings settings(store);
  // Each option gets a distinct number so that a mixed-up name shows.
  settings.SetMarkReadBeforeMoving(1);
  settings.SetConsiderNonEnglishSpam(2);
  settings.SetBeepAtSpam(3);
  settings.SetLearnFromMarkSpam(4);
  settings.SetLearnFromNotSpam(5);
  settings.SetLearnFromBlackListed(6);
  settings.SetLearnFromWhiteListed(0x80000000u);
  EXPECT_EQ(settings.GetMarkReadBeforeMoving(), 1u);
  EXPECT_EQ(settings.GetConsiderNonEnglishSpam(), 2u);
  EXPECT_EQ(settings.GetBeepAtSpam(), 3u);
  EXPECT_EQ(settings.GetLearnFromMarkSpam(), 4u);
  EXPECT_EQ(settings.GetLearnFromNotSpam(), 5u);
  EXPECT_EQ(settings.GetLearnFromBlackListed(), 6u);
  EXPECT_EQ(settings.GetLearnFromWhiteListed(), 0x80000000u);  // any non-zero number is on
  EXPECT_EQ(store.values()["LearnFromWhiteListed"],
            (StoredValue{ValueType::kDword, std::string("\0\0\0\x80", 4)}));

  // Reading asks for at most 4 bytes and ignores the type.
  store.values()["BeepAtSpam"] = {ValueType::kBinary, "\x34\x12"};
  EXPECT_EQ(settings.GetBeepAtSpam(), 0x1234u);
  store.values()["BeepAtSpam"] = {ValueType::kDword, std::string("\x01\0\0\0\0", 5)};
  EXPECT_EQ(settings.GetBeepAtSpam(), 0u);
  store.values().erase("BeepAtSpam");
  EXPECT_EQ(settings.GetBeepAtSpam(), 0u);
}

TEST(FilterSettingsTest, TextsMustFitTheBufferWithTheirTerminatorAndEndAtAZeroByte) {
  MemorySettingsStore store;
  FilterSettings settings(store);
  settings.SetNotSpamFolderName(std::string(255, 'a'));
  EXPECT_EQ(settings.GetNotSpamFolderName(), std::string(255, 'a'));
  EXPECT_EQ(store.values()["NotSpamFolderName"].type, ValueType::kString);
  EXPECT_EQ(store.values()["NotSpamFolderName"].data.size(), 255u);  // no terminator stored
  settings.SetNotSpamFolderName(std::string(256, 'a'));
  EXPECT_EQ(settings.GetNotSpamFolderName(), "");

  WriteStringValue(store, "BlackListPath", std::string(259, 'b'));
  WriteStringValue(store, "WhiteListPath", std::string(260, 'w'));
  EXPECT_EQ(settings.GetBlackListPath(), std::string(259, 'b'));
  EXPECT_EQ(settings.GetWhiteListPath(), "");

  // The caller's buffer bounds the file paths; the buffer past the terminator
  // is left alone.
  WriteStringValue(store, "WordFilePath", "/words.db");
  WriteStringValue(store, "IgnoreFilePath", "/ignore.txt");
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  ASSERT_TRUE(settings.GetWordFilePath(buffer, 10));
  EXPECT_STREQ(buffer, "/words.db");
  EXPECT_EQ(buffer[10], 'x');
  EXPECT_FALSE(settings.GetWordFilePath(buffer, 9));
  EXPECT_FALSE(settings.GetWordFilePath(buffer, 0));
  ASSERT_TRUE(settings.GetIgnoreFilePath(buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "/ignore.txt");

  // A writer that stores the terminator too is read the same as one that does not.
  store.values()["NotSpamFolderName"] = {ValueType::kString, std::string("Ham\0", 4)};
  EXPECT_EQ(settings.GetNotSpamFolderName(), "Ham");
  store.values()["BlackListPath"] = {ValueType::kString, std::string("/a\0/b", 5)};
  EXPECT_EQ(settings.GetBlackListPath(), "/a");
  // ... though the terminator counts against the buffer.
  store.values()["WordFilePath"] = {ValueType::kString, std::string("abc\0", 4)};
  EXPECT_FALSE(ReadStringValue(store, "WordFilePath", buffer, 4));
  ASSERT_TRUE(ReadStringValue(store, "WordFilePath", buffer, 5));
  EXPECT_STREQ(buffer, "abc");
  // The type is not checked.
  store.values()["WhiteListPath"] = {ValueType::kBinary, "/bin"};
  EXPECT_EQ(settings.GetWhiteListPath(), "/bin");
  // Absent and empty are the same to the caller.
  store.values().erase("NotSpamFolderName");
  EXPECT_EQ(settings.GetNotSpamFolderName(), "");
  settings.SetNotSpamFolderName("");
  EXPECT_EQ(settings.GetNotSpamFolderName(), "");
  EXPECT_EQ(store.values().count("NotSpamFolderName"), 1u);
}

}  // namespace
}  // namespace tarvex
