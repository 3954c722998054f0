// The toolbar's commands run from the command line, end to end: the real
// program on a real Maildir.
#include "testing/program.h"

namespace tarvex {
namespace {

using testing::ReadFile;
using testing::Result;
namespace fs = std::filesystem;

std::string Mail(const std::string& subject, const std::string& body) {
  return "From: Someone <a@b.example>\nSubject: " + subject + "\n\n" + body + "\n";
}

class MailCommands : public testing::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ASSERT_EQ(Run("init").exit_code, 0);
  }

  // A Maildir++ folder "name" of the Maildir.
  std::string Folder(const std::string& name) {
    const std::string path = Maildir() + "/." + name;
    for (const char* sub : {"/cur", "/new", "/tmp"}) fs::create_directories(path + sub);
    std::ofstream(path + "/maildirfolder").close();
    return path;
  }

  std::string Settings() { return ReadFile(home_ + "/.config/tarvex/settings.reg"); }

  // The line of `tarvex settings` for one setting.
  std::string Shown(const std::string& name) {
    const std::string out = Run("settings").out;
    const size_t at = out.find(name + ": ");
    return at == std::string::npos ? "" : out.substr(at, out.find('\n', at) - at);
  }
};

TEST_F(MailCommands, FolderNamesMatchByteForByte) {
  const std::string upper = Folder("Work"), lower = Folder("work");
  Deliver("u1", Mail("quarterly figures", "the quarterly figures"), upper);
  Deliver("l1", Mail("cheap pills", "buy cheap pills"), lower);
  Deliver("l2", Mail("cheap watches", "buy cheap watches"), lower);
  Result r = Run("train --spam work");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find(';')), "Learnt 2 spam and 0 good messages");
  r = Run("train --good Work");
  EXPECT_EQ(r.out.substr(0, r.out.find(';')), "Learnt 0 spam and 1 good messages");

  Deliver("back", Mail("hello", "a note"), SpamFolder());
  r = Run("not-spam --to work --remember back");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "back: " + lower + "/new/back\n");
  EXPECT_NE(Settings().find("\"NotSpamFolderName\"=\"work\""), std::string::npos) << Settings();
}

// --to answers the question of the destination, which comes only when the
// messages leave the spam folder and no folder was chosen for good.
TEST_F(MailCommands, NotSpamSaysWhenItsDestinationWasNotNeeded) {
  const std::string upper = Folder("Work"), lower = Folder("work");
  const std::string unneeded =
      "tarvex: --to and --remember were not needed: the messages stayed where they were, or went "
      "to the folder chosen for good (settings)\n";
  Deliver("in", Mail("hello", "a note"));
  Result r = Run("not-spam --to work in");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, unneeded);
  EXPECT_EQ(r.out, "in: " + Maildir() + "/new/in\n");

  Deliver("one", Mail("hi", "one note"), SpamFolder());
  Deliver("two", Mail("hey", "two notes"), SpamFolder());
  r = Run("not-spam --to Work --remember one");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "one: " + upper + "/new/one\n");
  r = Run("not-spam --to work two");
  EXPECT_EQ(r.err, unneeded);
  EXPECT_EQ(r.out, "two: " + upper + "/new/two\n");
  EXPECT_EQ(Shown("NotSpamFolderName"), "NotSpamFolderName: Work");
  EXPECT_TRUE(fs::is_empty(lower + "/new"));
}

// As in the training dialog, a folder is ticked once however often it is
// named.
TEST_F(MailCommands, TrainsOnEachFolderNamedOnce) {
  const std::string upper = Folder("Work"), lower = Folder("work");
  Deliver("u1", Mail("quarterly figures", "the quarterly figures"), upper);
  Deliver("l1", Mail("cheap pills", "buy cheap pills"), lower);
  Deliver("l2", Mail("cheap watches", "buy cheap watches"), lower);
  const Result r = Run("train --spam work work --good Work Work");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find(';')), "Learnt 2 spam and 1 good messages");
  const std::string stats = Run("stats").out;
  EXPECT_EQ(stats.substr(stats.find('\n') + 1), "Spam messages: 2\nClean messages: 1\n");
}

TEST_F(MailCommands, SettingsChangeOneValueAndShowTheNotSpamFolder) {
  const std::string work = Folder("Work");
  Folder("work");
  const std::string asks =
      "NotSpamFolderName: (none: not-spam asks each time, answered by --to, else the Inbox)";
  EXPECT_EQ(Shown("NotSpamFolderName"), asks);
  Deliver("one", Mail("hello", "a note"), SpamFolder());
  ASSERT_EQ(Run("not-spam --to Work --remember one").exit_code, 0);
  EXPECT_EQ(Shown("NotSpamFolderName"), "NotSpamFolderName: Work");

  // An option changes alone: the remembered folder stays.
  Result r = Run("settings set BeepAtSpam on");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "BeepAtSpam: on\n");
  EXPECT_EQ(Shown("BeepAtSpam"), "BeepAtSpam: on");
  EXPECT_EQ(Shown("NotSpamFolderName"), "NotSpamFolderName: Work");
  Deliver("two", Mail("hi", "another note"), SpamFolder());
  ASSERT_EQ(Run("not-spam two").exit_code, 0);
  EXPECT_TRUE(fs::exists(work + "/new/two"));

  // The folder is set by its exact name, and only when it exists.
  r = Run("settings set NotSpamFolderName work");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "NotSpamFolderName: work\n");
  r = Run("settings set NotSpamFolderName Nowhere");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "tarvex: Nowhere: no such folder in " + Maildir() + "\n");
  EXPECT_EQ(Shown("NotSpamFolderName"), "NotSpamFolderName: work");
  EXPECT_EQ(Run("settings set BeepAtSpam maybe").exit_code, 2);
  EXPECT_EQ(Run("settings clear BeepAtSpam").exit_code, 2);

  r = Run("settings clear NotSpamFolderName");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, asks + "\n");
  EXPECT_NE(Settings().find("\"NotSpamFolderName\"=\"\""), std::string::npos);
  EXPECT_EQ(Shown("BeepAtSpam"), "BeepAtSpam: on");
}

TEST_F(MailCommands, RefusedListEditsFailWithTheDialogsText) {
  ASSERT_EQ(Run("blacklist add a@b.example").exit_code, 0);
  ASSERT_EQ(Run("blacklist add --domain spam.example").exit_code, 0);
  const std::string listed = "domain spam.example\naddress a@b.example\n";
  ASSERT_EQ(Run("blacklist list").out, listed);
  const struct {
    const char* args;
    std::string err;
  } refused[] = {
      {"rename a@b.example a@b.example", "Tarvex: This MailId Already Exists in BlackList\n"},
      {"rename a@b.example A@B.example", "Tarvex: This MailId Already Exists in BlackList\n"},
      {"add --domain Spam.Example", "Tarvex: This Domain Already Exists in BlackList\n"},
      {"add a@b.example c@b.example", "Tarvex: This MailId Already Exists in BlackList\n"},
      {"add ''", "Tarvex: Please Enter an Item Name\n"},
      {"remove nobody@b.example", "tarvex: nobody@b.example: no such address in the blacklist\n"},
      {"rename --domain other.example x.example",
       "tarvex: other.example: no such domain in the blacklist\n"},
      {"add other.example",
       "tarvex: other.example: not an e-mail address (for a domain name, give --domain)\n"},
      {"add --domain x@other.example",
       "tarvex: x@other.example: not a domain name (for an address, leave out --domain)\n"},
  };
  for (const auto& c : refused) {
    const Result r = Run(std::string("blacklist ") + c.args);
    EXPECT_EQ(r.exit_code, 1) << c.args;
    EXPECT_EQ(r.err, c.err) << c.args;
    EXPECT_EQ(r.out.find(c.err), std::string::npos) << c.args;
  }
  // Of the two added together, the new one went in.
  EXPECT_EQ(Run("blacklist list").out, listed + "address c@b.example\n");
  const Result r = Run("blacklist rename a@b.example d@b.example");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Tarvex: Item Updated in Blacklist\n");
}

TEST_F(MailCommands, SaysWhyAJudgedMessageIsLeftAlone) {
  Deliver("one", Mail("hello", "a note"));
  Deliver("two", Mail("cheap pills", "buy cheap pills"));
  ASSERT_EQ(Run("not-spam one").exit_code, 0);
  const std::string marked = ReadFile(Maildir() + "/new/one");
  const std::string why =
      "tarvex: one: left alone: it already carries \"X-TVX-LEARN: Not Spam\"; to change the "
      "verdict, remove that header or use 'tarvex relearn'\n";
  for (const char* command : {"mark-spam one two", "not-spam one"}) {
    const Result r = Run(command);
    EXPECT_EQ(r.exit_code, 0) << command << ": " << r.err;
    EXPECT_EQ(r.err, why) << command;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "one: " + Maildir() + "/new/one") << command;
    EXPECT_EQ(ReadFile(Maildir() + "/new/one"), marked) << command;
  }
  // A message marked as spam is corrected, and that is not worth a word.
  ASSERT_NE(ReadFile(SpamFolder() + "/new/two").find("X-TVX-LEARN: Spam"), std::string::npos);
  const Result r = Run("not-spam two");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "two: " + Maildir() + "/new/two\n");
}

}  // namespace
}  // namespace tarvex
