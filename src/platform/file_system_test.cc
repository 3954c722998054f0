#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "testing/status_matchers.h"
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
  ASSERT_OK(WriteWholeFile(fs_, path, std::string("one\0two", 7)));
  ASSERT_TRUE(fs_.ReadFile(path, &contents));
  EXPECT_EQ(contents, std::string("one\0two", 7));

  {
    std::unique_ptr<WritableFile> file;
    ASSERT_OK(fs_.NewWritableFile(path, Backup::kNone, &file));
    ASSERT_OK(file->Append("abandoned"));
  }  // dropped without Commit: the old content stays
  ASSERT_TRUE(fs_.ReadFile(path, &contents));
  EXPECT_EQ(contents.size(), 7u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(PosixFileSystemTest, ReportsWhatCannotBeDoneWithTheFileAndTheReason) {
  std::string contents;
  Status status = fs_.Read(dir_ + "/missing", &contents);
  EXPECT_TRUE(status.IsNotFound());
  EXPECT_EQ(status.message(), dir_ + "/missing: cannot read: No such file or directory");
  status = fs_.Read(dir_, &contents);  // a folder is there, but is not a file
  EXPECT_FALSE(status.ok() || status.IsNotFound());
  EXPECT_EQ(status.message(), dir_ + ": cannot read: Is a directory");

  std::unique_ptr<WritableFile> file;
  status = fs_.NewWritableFile(dir_ + "/missing/a.txt", Backup::kNone, &file);
  EXPECT_EQ(file, nullptr);
  EXPECT_NE(status.message().find(dir_ + "/missing/a.txt: "), std::string::npos);
  EXPECT_NE(status.message().find("No such file or directory"), std::string::npos);
  EXPECT_FALSE(fs_.NewWritableFile("", Backup::kNone, &file).ok());
  ASSERT_TRUE(fs_.CreateDirectories(dir_ + "/x/y/z"));
  EXPECT_TRUE(fs_.FileExists(dir_ + "/x/y"));
  EXPECT_OK(WriteWholeFile(fs_, dir_ + "/x/y/z/f", "data"));
  EXPECT_FALSE(fs_.CreateDirectories(dir_ + "/x/y/z/f/g"));  // a file stands in the way
}

TEST_F(PosixFileSystemTest, ConvertsSystemPathsToUtf8) {
  ASSERT_OK(WriteWholeFile(fs_, dir_ + "/caf\xE9", "x"));
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/caf\xC3\xA9"));
}

// A link keeps pointing at its target, and the target is what is replaced,
// also through a chain of relative links and when the target is yet to be made.
TEST_F(PosixFileSystemTest, WritesThroughSymbolicLinks) {
  ASSERT_TRUE(fs_.CreateDirectories(dir_ + "/real"));
  ASSERT_OK(WriteWholeFile(fs_, dir_ + "/real/words.db", "old"));
  ASSERT_EQ(::symlink("real/words.db", (dir_ + "/hop").c_str()), 0);
  ASSERT_EQ(::symlink("hop", (dir_ + "/words.db").c_str()), 0);
  ASSERT_EQ(::symlink("real/later.db", (dir_ + "/later.db").c_str()), 0);

  ASSERT_OK(WriteWholeFile(fs_, dir_ + "/words.db", "new"));
  ASSERT_OK(WriteWholeFile(fs_, dir_ + "/later.db", "made"));
  for (const char* link : {"/words.db", "/hop", "/later.db"}) {
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ + link)) << link;
  }
  std::string contents;
  ASSERT_TRUE(fs_.ReadFile(dir_ + "/real/words.db", &contents));
  EXPECT_EQ(contents, "new");
  ASSERT_TRUE(fs_.ReadFile(dir_ + "/real/later.db", &contents));
  EXPECT_EQ(contents, "made");

  ASSERT_EQ(::symlink("loop", (dir_ + "/loop").c_str()), 0);
  const Status status = WriteWholeFile(fs_, dir_ + "/loop", "x");
  EXPECT_EQ(status.message(),
            dir_ + "/loop: cannot follow the link: Too many levels of symbolic links");
}

TEST_F(PosixFileSystemTest, KeepsTheReplacedFilesModeAndOwner) {
  const std::string path = dir_ + "/settings.reg";
  ASSERT_OK(WriteWholeFile(fs_, path, "old"));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  // Only the superuser can give a file away; anyone else keeps the mode part.
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(path.c_str(), 4321, 4321), 0);
  }
  ASSERT_OK(WriteWholeFile(fs_, path, "new"));
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4321u);
  }
}

// A file that is there but must not be replaced is refused with its name and
// the reason, and stays as it was.
TEST_F(PosixFileSystemTest, RefusesToReplaceWhatTheUserCannotWrite) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* reason;
  };
  const auto plain = [](mode_t mode) {
    return [mode](const std::string& path) {
      std::ofstream(path) << "kept";
      ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    };
  };
  const Case cases[] = {
      {"read-only", plain(0444), ": cannot write: Permission denied"},
      {"no rights at all", plain(0000), ": cannot write: Permission denied"},
      {"fifo", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
       ": not a plain file; not replacing it"},
      {"folder",
       [](const std::string& path) { ASSERT_TRUE(std::filesystem::create_directory(path)); },
       ": not a plain file; not replacing it"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_ + "/" + c.name;
    c.make(path);
    std::unique_ptr<WritableFile> file;
    const Status status = fs_.NewWritableFile(path, Backup::kKeepPrevious, &file);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(status.message(), path + c.reason);
    EXPECT_EQ(std::filesystem::symlink_status(path).type(),
              std::filesystem::status(path).type());  // nothing swapped in
  }
  std::string contents;
  ::chmod((dir_ + "/read-only").c_str(), 0644);
  ASSERT_TRUE(fs_.ReadFile(dir_ + "/read-only", &contents));
  EXPECT_EQ(contents, "kept");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 4);
}

TEST_F(PosixFileSystemTest, KeepsThePreviousFileAsBackupWhenAsked) {
  const std::string path = dir_ + "/words.db";
  ASSERT_OK(WriteWholeFile(fs_, path, "first", Backup::kKeepPrevious));
  EXPECT_FALSE(std::filesystem::exists(path + ".bak"));  // nothing was replaced
  ASSERT_OK(WriteWholeFile(fs_, path, "second", Backup::kKeepPrevious));
  ASSERT_OK(WriteWholeFile(fs_, path, "third", Backup::kKeepPrevious));
  std::string contents;
  ASSERT_TRUE(fs_.ReadFile(path + ".bak", &contents));
  EXPECT_EQ(contents, "second");
  ASSERT_OK(WriteWholeFile(fs_, path, "fourth"));  // no backup asked: the old one stays
  ASSERT_TRUE(fs_.ReadFile(path + ".bak", &contents));
  EXPECT_EQ(contents, "second");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2);
}

TEST(MemoryFileSystem, InjectsFailuresAtEachStep) {
  MemoryFileSystem fs;
  ASSERT_OK(WriteWholeFile(fs, "f", "old"));
  fs.FailCommits("f");
  EXPECT_FALSE(WriteWholeFile(fs, "f", "new").ok());
  fs.FailWrites("g");
  EXPECT_FALSE(WriteWholeFile(fs, "g", "new").ok());
  fs.FailAppends("h");
  EXPECT_EQ(WriteWholeFile(fs, "h", "new").message(), "h: cannot write: No space left on device");
  fs.FailReads("f");
  std::string contents;
  EXPECT_FALSE(fs.ReadFile("f", &contents));
  EXPECT_FALSE(fs.Read("f", &contents).IsNotFound());
  EXPECT_TRUE(fs.Read("nothing", &contents).IsNotFound());
  fs.Heal();
  ASSERT_TRUE(fs.ReadFile("f", &contents));
  EXPECT_EQ(contents, "old");
  EXPECT_EQ(fs.commits(), 1);
  EXPECT_FALSE(fs.FileExists("h"));
  ASSERT_OK(WriteWholeFile(fs, "f", "new", Backup::kKeepPrevious));
  EXPECT_EQ(fs.files()["f.bak"], "old");
}

TEST(OverlayFileSystem, ReadsThroughAndKeepsWritesToItself) {
  MemoryFileSystem base;
  ASSERT_OK(WriteWholeFile(base, "a", "real"));
  OverlayFileSystem overlay(base);
  std::string contents;
  ASSERT_TRUE(overlay.ReadFile("a", &contents));
  EXPECT_EQ(contents, "real");
  ASSERT_OK(WriteWholeFile(overlay, "a", "changed"));
  ASSERT_TRUE(overlay.ReadFile("a", &contents));
  EXPECT_EQ(contents, "changed");
  ASSERT_TRUE(base.ReadFile("a", &contents));
  EXPECT_EQ(contents, "real");
  EXPECT_FALSE(overlay.ReadFile("b", &contents));
  EXPECT_EQ(base.commits(), 1);
}

}  // namespace
}  // namespace tarvex
