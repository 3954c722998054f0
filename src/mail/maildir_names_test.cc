#include "mail/maildir_names.h"

#include <gtest/gtest.h>

namespace tarvex::mail {
namespace {

using Levels = std::vector<std::string>;

TEST(FolderNameTest, ModifiedUtf7RoundTripsAndMatchesTheImapSpelling) {
  // "台北", "日本語", "Entwürfe", "Tom & Jerry", an emoji (a surrogate pair).
  const std::pair<const char*, const char*> cases[] = {
      {"\xE5\x8F\xB0\xE5\x8C\x97", "&U,BTFw-"},
      {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "&ZeVnLIqe-"},
      {"Entw\xC3\xBCrfe", "Entw&APw-rfe"},
      {"Tom & Jerry", "Tom &- Jerry"},
      {"\xF0\x9F\x93\xA7 mail", "&2D3c5w- mail"},
      {"plain", "plain"},
  };
  for (const auto& [utf8, spelled] : cases) {
    EXPECT_EQ(EncodeFolderName(utf8), spelled) << utf8;
    EXPECT_EQ(DecodeFolderName(spelled), std::optional<std::string>(utf8)) << spelled;
  }
  // Malformed UTF-8 is taken as Windows-1252: "é" alone.
  EXPECT_EQ(EncodeFolderName("caf\xE9"), "caf&AOk-");
}

TEST(FolderNameTest, SpellingsThatAreNotModifiedUtf7AreShownAsTheyAre) {
  for (const char* bad : {"a&b", "&AOk", "&A-", "&2D3-", "caf\xC3\xA9", "&,,,,-"}) {
    EXPECT_FALSE(DecodeFolderName(bad).has_value()) << bad;
  }
  EXPECT_EQ(FolderLevelName("caf\xC3\xA9"), "caf\xC3\xA9");  // raw UTF-8 directory names
  EXPECT_EQ(FolderLevelName("caf\xE9"), "caf\xC3\xA9");      // raw Latin-1
  EXPECT_EQ(FolderLevelName("a&b"), "a&b");
}

TEST(FolderNameTest, LevelsOfDirectoriesAndValidNames) {
  EXPECT_EQ(FolderDirLevels(".Sent"), Levels{"Sent"});
  EXPECT_EQ(FolderDirLevels(".A.B.C"), (Levels{"A", "B", "C"}));
  for (const char* not_folder : {"Sent", ".", "..", ".A..B", ".A.", ""}) {
    EXPECT_TRUE(FolderDirLevels(not_folder).empty()) << not_folder;
  }
  EXPECT_TRUE(IsValidFolderName("Old spam"));
  EXPECT_TRUE(IsValidFolderName("Courrier ind\xC3\xA9sirable"));
  for (const char* bad : {"", "a.b", "a/b", "tab\there"}) EXPECT_FALSE(IsValidFolderName(bad));
  EXPECT_TRUE(IsInboxLevel("INBOX"));
  EXPECT_TRUE(IsInboxLevel("inbox"));
  EXPECT_FALSE(IsInboxLevel("Inboxes"));
}

TEST(MessageFileNameTest, UniqueNameFlagsAndNewNames) {
  const MessageFileName cur = ParseMessageFileName("1700.M1P2.host:2,FS");
  EXPECT_EQ(cur.unique, "1700.M1P2.host");
  EXPECT_EQ(cur.flags, "FS");
  EXPECT_TRUE(cur.has_info);
  const MessageFileName fresh = ParseMessageFileName("1700.M1P2.host");
  EXPECT_EQ(fresh.unique, "1700.M1P2.host");
  EXPECT_FALSE(fresh.has_info);

  EXPECT_EQ(AddFlag("RF", 'S'), "FRS");  // sorted, as Maildir requires
  EXPECT_EQ(AddFlag("FS", 'S'), "FS");   // once
  EXPECT_EQ(AddFlag("", 'S'), "S");
  EXPECT_TRUE(HasFlag("FRS", 'S'));
  EXPECT_FALSE(HasFlag("FR", 'S'));
  EXPECT_EQ(CurFileName("u", "S"), "u:2,S");

  const std::string a = NewUniqueName(), b = NewUniqueName();
  EXPECT_NE(a, b);
  EXPECT_EQ(a.find_first_of(":/"), std::string::npos);
  EXPECT_FALSE(IsMessageFileName(".hidden"));
  EXPECT_TRUE(IsMessageFileName(a));
}

}  // namespace
}  // namespace tarvex::mail
