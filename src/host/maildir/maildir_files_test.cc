#include "host/maildir/maildir_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "testing/maildir_files.h"

namespace tarvex::maildir {
namespace {

using maildir_test::ReadAll;
using maildir_test::TempMaildir;

// What sits in a message's place may be anything; only a regular file is
// read, and nothing waits (a FIFO without a writer would block an open).
TEST(MaildirFilesTest, OnlyRegularFilesAreReadAsMessages) {
  TempMaildir md;
  md.Write("message", "Subject: a\n\nbody\n");
  const std::string message = md.Path("message");
  ASSERT_EQ(symlink(message.c_str(), md.Path("new/link").c_str()), 0);
  ASSERT_EQ(mkfifo(md.Path("new/fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(md.Path("new/folder").c_str(), 0700), 0);
  const struct {
    const char* name;
    const char* kind;
  } others[] = {
      {"new/link", "a symbolic link"}, {"new/fifo", "a FIFO"}, {"new/folder", "a folder"}};
  for (const auto& other : others) {
    const std::string path = md.Path(other.name);
    std::string text;
    EXPECT_EQ(ReadFile(path, &text), kNotRegularFile) << other.name;
    EXPECT_EQ(ReadHead(path, &text), kNotRegularFile) << other.name;
    EXPECT_EQ(NonMessageKind(path), other.kind);
  }
  EXPECT_EQ(NonMessageKind(message), "");
  EXPECT_EQ(NonMessageKind(md.Path("new/missing")), "");
  EXPECT_EQ(ErrorText(kNotRegularFile), "not a regular file");
  std::string head;
  FileIdentity identity;
  EXPECT_EQ(ReadHead(message, &head, &identity), 0);
  EXPECT_EQ(head, "Subject: a\n\n");
  EXPECT_EQ(identity.size, 17u);
}

// A rewrite holds only the new head: the rest is copied from the file, whose
// mode the new one takes.
TEST(MaildirFilesTest, WriteNewFileFromCopiesTheRestAndKeepsTheMode) {
  TempMaildir md;
  const std::string body(200000, 'b');  // more than one buffer's worth
  md.Write("cur/old", "Subject: a\n\n" + body);
  ASSERT_EQ(chmod(md.Path("cur/old").c_str(), 0640), 0);
  std::string head;
  FileIdentity identity;
  ASSERT_EQ(ReadHead(md.Path("cur/old"), &head, &identity), 0);
  EXPECT_EQ(identity.mode, 0640u);

  ASSERT_EQ(WriteNewFileFrom(md.Path("tmp/new"), "Subject: b\nX: y\n\n", md.Path("cur/old"),
                             head.size(), identity),
            0);
  EXPECT_EQ(ReadAll(md.Path("tmp/new")), "Subject: b\nX: y\n\n" + body);
  struct stat st;
  ASSERT_EQ(stat(md.Path("tmp/new").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  // The file changed since its head was read: nothing is written.
  md.Write("cur/old", "Subject: c\n\nother");
  EXPECT_EQ(WriteNewFileFrom(md.Path("tmp/again"), "Subject: b\n\n", md.Path("cur/old"),
                             head.size(), identity),
            ESTALE);
  EXPECT_FALSE(Exists(md.Path("tmp/again")));
}

}  // namespace
}  // namespace tarvex::maildir
