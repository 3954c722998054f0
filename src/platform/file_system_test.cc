#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "testing/temp_folder.h"

namespace tarvex {
namespace {

class PosixFileSystemTest : public ::testing::Test {
 protected:
  testing::TempFolder temp_{"tarvex-fs"};
  const std::string dir_ = temp_.path();
  PosixFileSystem fs_;
};

TEST_F(PosixFileSystemTest, ReplacesFilesWholeAndLeavesNoTemporaryBehind) {
  const std::string path = dir_ + "/a.txt";
  std::string contents;
  EXPECT_FALSE(fs_.ReadFile(path, &contents));
  ASSERT_TRUE(WriteWholeFile(fs_, path, std::string("one\0two", 7)));
  ASSERT_TRUE(fs_.ReadFile(path, &contents));
  EXPECT_EQ(contents, std::string("one\0two", 7));

  {
    auto file = fs_.NewWritableFile(path);
    ASSERT_TRUE(file);
    file->Append("abandoned");
  }  // dropped without Commit: the old content stays
  ASSERT_TRUE(fs_.ReadFile(path, &contents));
  EXPECT_EQ(contents.size(), 7u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(PosixFileSystemTest, ReportsWhatCannotBeDone) {
  std::string contents;
  EXPECT_FALSE(fs_.ReadFile(dir_, &contents));  // a folder is not a file
  EXPECT_EQ(fs_.NewWritableFile(dir_ + "/missing/a.txt"), nullptr);
  EXPECT_EQ(fs_.NewWritableFile(""), nullptr);
  ASSERT_TRUE(fs_.CreateDirectories(dir_ + "/x/y/z"));
  EXPECT_TRUE(fs_.FileExists(dir_ + "/x/y"));
  EXPECT_TRUE(WriteWholeFile(fs_, dir_ + "/x/y/z/f", "data"));
  EXPECT_FALSE(fs_.CreateDirectories(dir_ + "/x/y/z/f/g"));  // a file stands in the way
}

TEST_F(PosixFileSystemTest, ConvertsSystemPathsToUtf8) {
  ASSERT_TRUE(WriteWholeFile(fs_, dir_ + "/caf\xE9", "x"));
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/caf\xC3\xA9"));
}

TEST(MemoryFileSystem, InjectsFailures) {
  MemoryFileSystem fs;
  ASSERT_TRUE(WriteWholeFile(fs, "f", "old"));
  fs.FailCommits("f");
  EXPECT_FALSE(WriteWholeFile(fs, "f", "new"));
  fs.FailWrites("g");
  EXPECT_FALSE(WriteWholeFile(fs, "g", "new"));
  fs.FailReads("f");
  std::string contents;
  EXPECT_FALSE(fs.ReadFile("f", &contents));
  fs.Heal();
  ASSERT_TRUE(fs.ReadFile("f", &contents));
  EXPECT_EQ(contents, "old");
  EXPECT_EQ(fs.commits(), 1);
}

TEST(OverlayFileSystem, ReadsThroughAndKeepsWritesToItself) {
  MemoryFileSystem base;
  ASSERT_TRUE(WriteWholeFile(base, "a", "real"));
  OverlayFileSystem overlay(base);
  std::string contents;
  ASSERT_TRUE(overlay.ReadFile("a", &contents));
  EXPECT_EQ(contents, "real");
  ASSERT_TRUE(WriteWholeFile(overlay, "a", "changed"));
  ASSERT_TRUE(overlay.ReadFile("a", &contents));
  EXPECT_EQ(contents, "changed");
  ASSERT_TRUE(base.ReadFile("a", &contents));
  EXPECT_EQ(contents, "real");
  EXPECT_FALSE(overlay.ReadFile("b", &contents));
  EXPECT_EQ(base.commits(), 1);
}

}  // namespace
}  // namespace tarvex
