// Runs the real program against a profile in a temporary home folder.
#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "bayes/database_file.h"
#include "settings/filter_settings.h"
#include "testing/program.h"

namespace tarvex {
namespace {

using testing::ReadFile;
using testing::Result;

class CommandLine : public testing::ProgramTest {
 protected:
  static std::string Read(const std::string& path) { return ReadFile(path); }
  std::string Database() {
    std::string text = Read(home_ + "/.local/share/tarvex/words.db");
    Scramble(text.data(), text.size());
    return text;
  }
};

TEST_F(CommandLine, InitCreatesAProfileOnceAndForceReplacesIt) {
  Result r = Run("init");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string data = home_ + "/.local/share/tarvex";
  const std::string settings = Read(home_ + "/.config/tarvex/settings.reg");
  EXPECT_NE(settings.find("\"WordFilePath\"=\"" + data + "/words.db\""), std::string::npos);
  EXPECT_NE(settings.find("\"ConsiderNonEnglishSpam\"=dword:00000001"), std::string::npos);
  EXPECT_NE(settings.find("\"LearnFromNotSpam\"=dword:00000001"), std::string::npos);
  EXPECT_NE(settings.find("\"BeepAtSpam\"=dword:00000000"), std::string::npos);
  EXPECT_NE(settings.find("\"NotSpamFolderName\"=\"\""), std::string::npos);
  EXPECT_EQ(Database(), "Version = 1.01\nSpam = 0\nClean = 0\n");
  EXPECT_EQ(Read(data + "/ignore.txt"), "");
  EXPECT_TRUE(std::filesystem::exists(data + "/blacklist.xml") &&
              std::filesystem::exists(data + "/whitelist.xml"));
  // The Maildir, with the spam folder that delivery agents file spam into.
  EXPECT_TRUE(std::filesystem::exists(home_ + "/Maildir/cur") &&
              std::filesystem::exists(home_ + "/Maildir/.DedoZarozo/maildirfolder"));

  r = Run("init");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "tarvex: " + home_ +
                       "/.config/tarvex/settings.reg: a profile exists already "
                       "(use --force to replace it)\n");
  // Forced, it rewrites the settings (the old file kept beside) but never
  // throws away learnt words or list entries.
  Run("learn --spam " + Message("m", "Subject: cheap pills\n\ncheap"));
  Run("blacklist add --domain spam.example");
  std::ofstream(home_ + "/.config/tarvex/settings.reg", std::ios::app)
      << "\"BeepAtSpam\"=dword:1\n";
  const std::string before = Read(home_ + "/.config/tarvex/settings.reg");
  r = Run("init --force");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("Kept " + data + "/words.db\n"), std::string::npos) << r.out;
  EXPECT_EQ(Read(home_ + "/.config/tarvex/settings.reg.bak"), before);
  EXPECT_NE(Read(home_ + "/.config/tarvex/settings.reg").find("\"BeepAtSpam\"=dword:00000000"),
            std::string::npos);
  EXPECT_EQ(Run("stats").out, "Words: 3\nSpam messages: 1\nClean messages: 0\n");
  EXPECT_EQ(Run("blacklist list").out, "domain spam.example\n");
}

// Every setting of the table is written by init, and each one the user
// changes is shown, settable and explained on the command line.
TEST_F(CommandLine, InitSettingsAndTheirHelpCoverEverySetting) {
  ASSERT_EQ(Run("init").exit_code, 0);
  const std::string file = Read(home_ + "/.config/tarvex/settings.reg");
  const std::string shown = Run("settings").out;
  const std::string help = Run("settings set --help").out;
  size_t last = 0;
  for (const SettingInfo* s : setting::kAll) {
    const std::string name = s->name;
    EXPECT_NE(file.find("\"" + name + "\"="), std::string::npos) << name;
    const size_t at = shown.find(name + ": ");
    EXPECT_EQ(at != std::string::npos, s->ChangedByUser()) << name << " in\n" << shown;
    if (!s->ChangedByUser()) continue;
    EXPECT_GE(at, last) << name << " out of order in\n" << shown;
    last = at + 1;
    EXPECT_NE(help.find(name + ": " + s->help), std::string::npos) << name << " in\n" << help;
    if (s->kind == SettingKind::kOption) {
      const std::string value = s->initNumber ? "off" : "on";
      const Result r = Run("settings set " + name + " " + value);
      EXPECT_EQ(r.out, name + ": " + value + "\n") << r.err;
    }
  }
}

// The JSON form of each command that prints parses, and carries what the
// text form shows: a reader rebuilds the text from the parsed JSON alone.
TEST_F(CommandLine, EveryPrintingCommandsJsonParsesAndMatchesItsText) {
  ASSERT_EQ(Run("init").exit_code, 0);
  const std::string spam = Message("spam", "From: x@spam.example\nSubject: cheap pills\n\nbuy now");
  const std::string ham = Message("ham", "Subject: lunch \"today\"\n\n\tsee you \\ there");
  ASSERT_EQ(Run("learn --spam " + spam).exit_code, 0);
  ASSERT_EQ(Run("blacklist add --domain spam.example").exit_code, 0);
  ASSERT_EQ(Run("whitelist add mum@home.example").exit_code, 0);
  Deliver("m1", ReadFile(ham));
  Deliver("m2", ReadFile(spam));
  ASSERT_EQ(Run("mark-spam m2").exit_code, 0);
  const std::string reader = home_ + "/reader.py";
  std::ofstream(reader)
      << "import json, sys\n"
         "text = eval('lambda o: ' + sys.argv[1])\n"
         "sys.stdout.write(''.join(text(json.loads(line)) for line in sys.stdin))\n";
  const std::string headers =
      "''.join('  %s: %s\\n' % (h['name'], h['value'].rstrip('\\r\\n')) "
      "for h in o['headers'])";
  const struct {
    std::string command;
    std::string text;  // a Python expression over one parsed line o
  } cases[] = {
      {"stats",
       "'Words: %d\\nSpam messages: %d\\nClean messages: %d\\n' % "
       "(o['words'], o['spamMessages'], o['cleanMessages'])"},
      {"settings",
       "''.join('%s: %s\\n' % (k, 'on' if v else 'off') for k, v in o.items() if v in (True, "
       "False) and type(v) is bool) + ('NotSpamFolderName: %s\\n' % o['NotSpamFolderName'] if "
       "o['NotSpamFolderName'] else 'NotSpamFolderName: (none: not-spam asks each time, "
       "answered by --to, else the Inbox)\\n') + 'Words: %d\\n' % o['words']"},
      {"settings set BeepAtSpam on", "'BeepAtSpam: %s\\n' % ('on' if o['BeepAtSpam'] else 'off')"},
      {"blacklist list", "'%s %s\\n' % (o['kind'], o['name'])"},
      {"whitelist list", "'%s %s\\n' % (o['kind'], o['name'])"},
      {"score " + spam + " " + ham,
       "o['file'] + '\\n  X-TVX-RESULT: %s\\n  X-TVX-SCORE: Bayesian Score = %d\\n"
       "  X-TVX-TOP-WORDS: %s\\n' % (o['verdict'], o['score'], o['topWords'].rstrip('\\r\\n'))"},
      {"classify " + spam + " " + ham,
       "'%s: %s, %s, %s\\n' % (o['file'], o['outcome'], 'moved to DedoZarozo' if o['moved'] "
       "else 'stamped' if o['headers'] else 'left alone', 'learnt' if o['learnt'] else "
       "'not learnt') + " +
           headers},
      {"tokens " + spam + " " + ham, "o['file'] + ':\\n' + ''.join(w + '\\n' for w in o['words'])"},
      {"mark-spam m2", "'%s: %s\\n' % (o['message'], o.get('file', 'gone'))"},
      {"not-spam m1", "'%s: %s\\n' % (o['message'], o.get('file', 'gone'))"},
  };
  for (const auto& c : cases) {
    const Result text = Run(c.command);
    ASSERT_EQ(text.exit_code, 0) << c.command << ": " << text.err;
    ASSERT_FALSE(text.out.empty()) << c.command;
    const Result json = Run(c.command + " --json");
    ASSERT_EQ(json.exit_code, 0) << c.command << ": " << json.err;
    std::ofstream(home_ + "/json", std::ios::binary) << json.out;
    const std::string rebuilt = home_ + "/rebuilt";
    const std::string python =
        "python3 " + reader + " \"$(cat " + home_ + "/expr)\" <" + home_ + "/json >" + rebuilt;
    std::ofstream(home_ + "/expr", std::ios::binary) << c.text;
    ASSERT_EQ(std::system(python.c_str()), 0) << c.command << ": " << json.out;
    EXPECT_EQ(ReadFile(rebuilt), text.out) << c.command << " gave\n" << json.out;
  }
}

TEST_F(CommandLine, LearnsScoresAndCorrects) {
  ASSERT_EQ(Run("init").exit_code, 0);
  std::string spam, clean;
  for (int i = 0; i < 3; ++i) {
    spam +=
        " " + Message("spam" + std::to_string(i), "Subject: cheap pills\n\nbuy cheap pills now");
    clean += " " + Message("ham" + std::to_string(i), "Subject: meeting\r\n\r\nagenda for monday");
  }
  Result r = Run("learn --spam --raw" + spam);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Learnt 3 messages as spam\n");
  EXPECT_EQ(Run("learn --clean" + clean).exit_code, 0);
  // Nine words were learnt, but "buy", "now" and "for" are too short to survive a reload.
  EXPECT_EQ(Run("stats").out, "Words: 6\nSpam messages: 3\nClean messages: 3\n");
  EXPECT_NE(Database().find("cheap = 6,0,1.00000000,1700000000\n"), std::string::npos);

  const std::string probe = Message("probe", "Subject: cheap\n\npills \"now\"\n");
  r = Run("score --json " + probe);
  EXPECT_EQ(r.out, "{\"file\":\"" + probe +
                       "\",\"nonEnglish\":0,\"score\":99,\"verdict\":\"Spam\","
                       "\"topWords\":\" cheap 99 now 50 pills 99 subject 33\\r\\n\"}\n");
  r = Run("score " + probe);
  EXPECT_EQ(r.out, probe +
                       "\n  X-TVX-RESULT: Spam\n  X-TVX-SCORE: Bayesian Score = 99\n"
                       "  X-TVX-TOP-WORDS:  cheap 99 now 50 pills 99 subject 33\n");
  const std::string foreign = Message("foreign", "Subject: \xC3\xA9\xC3\xA9\n\nhello");
  EXPECT_EQ(Run("score --raw --json " + foreign).out,
            "{\"file\":\"" + foreign +
                "\",\"nonEnglish\":1,\"score\":0,\"verdict\":\"Spam\","
                "\"topWords\":\"\"}\n");

  r = Run("relearn --was-spam " + probe);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.rfind(probe + ": ", 0), 0u);
  EXPECT_EQ(Run("empty-db").out, "Removed 6 words\n");
  EXPECT_EQ(Database().substr(0, 15), "Version = 1.01\n");
}

// The words scoring counts, in the order it meets them: header, then body,
// repeats kept, lower-cased; words under three letters, ignored words and
// pieces of base64 are not there. Decoded, a MIME body gives the words of its
// text; raw, its bytes as they stand.
TEST_F(CommandLine, TokensPrintsTheWordsTheFilterCountsInOrder) {
  ASSERT_EQ(Run("init").exit_code, 0);
  std::ofstream(home_ + "/.local/share/tarvex/ignore.txt") << "shop\n";
  const std::string plain =
      Message("plain",
              "From: Ann <ann@example.com>\nSubject: Cheap pills, $1,000.50 offer!\n\n"
              "Buy cheap PILLS now at the shop; it is a deal!!\n");
  Result r = Run("tokens " + plain);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "from\nann\nann\nexample\ncom\nsubject\ncheap\npills\n$1,000.50\noffer!\n"
            "buy\ncheap\npills\nnow\nthe\ndeal!!\n");

  const std::string header =
      "Subject: hi\nMIME-Version: 1.0\nContent-Type: text/plain\n"
      "Content-Transfer-Encoding: base64\n";
  const std::string mime = Message("mime", header + "\nY2hlYXAgbWVldGluZw==\n");  // "cheap meeting"
  const std::string header_words = "subject\nmime-version\n1.0\ncontent-type\nbase64\n";
  EXPECT_EQ(Run("tokens --raw " + mime).out, header_words);
  r = Run("tokens " + mime + " " + home_ + "/missing " + plain);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "tarvex: " + home_ + "/missing: No such file or directory\n");
  EXPECT_EQ(r.out.substr(0, r.out.find(plain)), mime + ":\n" + header_words + "cheap\nmeeting\n");
}

// Real mail in scripts that Windows-1252 lacks: a Cyrillic newsletter in
// KOI8-R and quoted-printable, a Chinese advertisement in GB2312 and base64.
// Their letters reach the filter as bytes above 127, so the mail is
// non-English as mail with runs of accented letters is; with the test turned
// off it is scored like any other.
TEST_F(CommandLine, JudgesCyrillicAndChineseMailNonEnglishAndScoresItWhenThatIsOff) {
  ASSERT_EQ(Run("init").exit_code, 0);
  const char* source = std::getenv("TARVEX_SOURCE_DIR");
  ASSERT_NE(source, nullptr) << "TARVEX_SOURCE_DIR names no source tree";
  const std::string testdata = std::string(source) + "/src/cli/testdata/";
  const std::vector<std::string> mails = {testdata + "cyrillic.eml", testdata + "chinese.eml"};
  for (const std::string& mail : mails) {
    const std::string text = ReadFile(mail);
    ASSERT_FALSE(text.empty()) << mail;
    Result r = Run("score --json " + mail);
    EXPECT_EQ(r.out,
              "{\"file\":\"" + mail +
                  "\",\"nonEnglish\":1,\"score\":0,\"verdict\":\"Spam\",\"topWords\":\"\"}\n");
    r = Run("classify " + mail);
    EXPECT_EQ(r.out, mail +
                         ": nonenglish, moved to DedoZarozo, not learnt\n  X-TVX-RESULT: Spam\n"
                         "  X-TVX-NONENGLISH: True\n");
    r = Run("filter", text);
    EXPECT_EQ(r.exit_code, 0) << r.err;  // spam
    const size_t body = text.find("\n\n");
    EXPECT_EQ(r.out, text.substr(0, body) + "\nX-TVX-RESULT: Spam\nX-TVX-NONENGLISH: True\n" +
                         text.substr(body + 1));
  }
  ASSERT_EQ(Run("settings set ConsiderNonEnglishSpam off").exit_code, 0);
  for (const std::string& mail : mails) {
    // None of the words is known yet: each is neutral.
    const std::string scored = "{\"file\":\"" + mail +
                               "\",\"nonEnglish\":0,\"score\":50,\"verdict\":\"Clean\","
                               "\"topWords\":\" ";
    EXPECT_EQ(Run("score --json " + mail).out.substr(0, scored.size()), scored);
  }
}

TEST_F(CommandLine, ClassifiesWithoutChangingTheProfile) {
  ASSERT_EQ(Run("init").exit_code, 0);
  const std::string data = home_ + "/.local/share/tarvex";
  std::ofstream(data + "/blacklist.xml") << "<BlackList>\n    <Domain Name=\"spam.example\" />\n"
                                            "</BlackList>\n";
  std::ofstream(data + "/whitelist.xml") << "<WhiteList>\n    <MailID Name=\"mum@home.example\" "
                                            "/>\n</WhiteList>\n";
  const std::string settings = home_ + "/.config/tarvex/settings.reg";
  std::string text = Read(settings);
  const std::string off = "\"LearnFromBlackListed\"=dword:00000000";
  text.replace(text.find(off), off.size(), "\"LearnFromBlackListed\"=dword:00000001");
  std::ofstream(settings, std::ios::binary) << text;
  const std::string database = Database();

  const std::string bad =
      Message("bad", "From: Offers <deals@Spam.Example>\r\nSubject: hi\r\n\r\nbuy");
  const std::string mum = Message("mum", "From: Mum <mum@home.example>\n\nSunday lunch?");
  const std::string plain = Message("plain", "From: x@y.example\nSubject:\n  folded\n\nhello");
  Result r = Run("classify --json " + bad + " " + mum);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"file\":\"" + bad +
                "\",\"outcome\":\"blacklisted\",\"headers\":["
                "{\"name\":\"X-TVX-RESULT\",\"value\":\"Spam\"},{\"name\":\"X-TVX-REASON\","
                "\"value\":\"Spam.Example domain in blacklist\"}],\"moved\":true,\"learnt\":true}\n"
                "{\"file\":\"" +
                mum +
                "\",\"outcome\":\"whitelisted\",\"headers\":[],"
                "\"moved\":false,\"learnt\":false}\n");
  r = Run("classify " + plain);
  EXPECT_EQ(r.out, plain +
                       ": clean, stamped, not learnt\n  X-TVX-RESULT: Clean\n"
                       "  X-TVX-SCORE: Bayesian Score = 50\n"
                       "  X-TVX-TOP-WORDS:  example 50 folded 50 from 50 hello 50 subject 50\n");
  EXPECT_EQ(Database(), database);  // the learnt spam stayed in the dry run
}

TEST_F(CommandLine, ReportsBadInputWithExitCodes) {
  Result r = Run("stats");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("no profile here; run 'tarvex init' first"), std::string::npos);
  ASSERT_EQ(Run("init").exit_code, 0);

  r = Run("learn --spam " + home_ + "/missing " + Message("m", "Subject: words\n\nhello"));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "tarvex: " + home_ + "/missing: No such file or directory\n");
  EXPECT_EQ(r.out, "Learnt 1 message as spam\n");  // the readable file was still learnt

  EXPECT_EQ(Run("").exit_code, 2);
  EXPECT_EQ(Run("learn " + home_ + "/m").exit_code, 2);
  EXPECT_EQ(Run("learn --spam --clean " + home_ + "/m").exit_code, 2);
  EXPECT_EQ(Run("score").exit_code, 2);
  EXPECT_EQ(Run("--now soon stats").exit_code, 2);
  EXPECT_EQ(Run("frobnicate").exit_code, 2);
}

TEST_F(CommandLine, TakesGlobalOptionsBeforeOrAfterTheCommand) {
  const std::vector<std::string> forms = {
      "--config {}/a.reg --maildir {}/MailA init",
      "init --config {}/b.reg --maildir {}/MailB",
      "--maildir {}/MailC init --config {}/c.reg",
  };
  for (std::string form : forms) {
    for (size_t at; (at = form.find("{}")) != std::string::npos;) form.replace(at, 2, home_);
    const Result r = Run(form);
    EXPECT_EQ(r.exit_code, 0) << form << ": " << r.err;
  }
  for (const char* profile : {"a", "b", "c"}) {
    const std::string upper(1, static_cast<char>(profile[0] - 'a' + 'A'));
    EXPECT_TRUE(std::filesystem::exists(home_ + "/" + profile + ".reg")) << profile;
    EXPECT_TRUE(std::filesystem::exists(home_ + "/Mail" + upper + "/cur")) << profile;
  }
  // Within a command's own subcommand too, and for the daemon.
  Result r = Run("whitelist add --config " + home_ + "/a.reg --maildir " + home_ +
                 "/MailA mum@home.example");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Run("whitelist list --maildir " + home_ + "/MailA --config " + home_ + "/a.reg").out,
            "address mum@home.example\n");
  r = Run("run --maildir " + home_ + "/MailA --config " + home_ + "/none.reg");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "tarvex: " + home_ + "/none.reg: no profile here; run 'tarvex init' first\n");
}

TEST_F(CommandLine, PrintsItsVersionAndNamesAnUnknownCommand) {
  for (const char* args : {"--version", "stats --version"}) {
    const Result r = Run(args);
    EXPECT_EQ(r.exit_code, 0) << args << ": " << r.err;
    EXPECT_EQ(r.out, std::string("tarvex ") + TARVEX_VERSION + "\n") << args;
  }
  Result r = Run("frobnicate");
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "tarvex: 'frobnicate' is not a command of 'tarvex'");
  r = Run("blacklist frob");
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
            "tarvex: 'frob' is not a command of 'tarvex blacklist'");
}

// A settings file that cannot be used is named with what is wrong in it,
// and "init --force" mends it without losing what was learnt.
TEST_F(CommandLine, NamesTheSettingsFileThatCannotBeUsedAndWhy) {
  ASSERT_EQ(Run("init").exit_code, 0);
  Run("learn --spam " + Message("m", "Subject: cheap pills\n\ncheap"));
  const std::string settings = home_ + "/.config/tarvex/settings.reg";
  const std::string mend =
      "; mend the file, or run 'tarvex init --force', which keeps the learnt words and the "
      "sender lists\n";
  const std::pair<std::string, std::string> cases[] = {
      {"\x01garbage\n", ": line 1 does not parse: \"?garbage\""},
      {"", ": the file is empty"},
      {"REGEDIT4\n", ": no [HKEY_CURRENT_USER\\Software\\Tarvex] section in the file"},
  };
  for (const auto& [contents, why] : cases) {
    std::ofstream(settings, std::ios::binary | std::ios::trunc) << contents;
    Result r = Run("stats");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "tarvex: " + settings + why + mend);
    r = Run("run");  // the daemon refuses to start the same way
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "tarvex: " + settings + why + mend);
  }
  std::filesystem::remove(settings);
  std::filesystem::create_directory(settings);  // unreadable whoever runs the test
  Result r = Run("stats");
  EXPECT_EQ(r.err, "tarvex: " + settings + ": cannot read: Is a directory" + mend);
  std::filesystem::remove(settings);

  std::ofstream(settings, std::ios::binary) << "garbage\n";
  r = Run("init --force");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Read(settings + ".bak"), "garbage\n");
  EXPECT_EQ(Run("stats").out, "Words: 3\nSpam messages: 1\nClean messages: 0\n");
}

// A word database that is there but cannot be read stops every command and
// the daemon, and is never replaced by an empty one.
TEST_F(CommandLine, NeverReplacesAWordDatabaseItCannotRead) {
  ASSERT_EQ(Run("init").exit_code, 0);
  Run("learn --spam " + Message("m", "Subject: cheap pills\n\ncheap"));
  const std::string path = home_ + "/.local/share/tarvex/words.db";
  const std::string learnt = Read(path);
  // The superuser reads any file: a folder in the file's place is unreadable to all.
  const bool root = ::geteuid() == 0;
  if (root) {
    std::filesystem::rename(path, home_ + "/learnt");
    std::filesystem::create_directory(path);
    std::filesystem::rename(home_ + "/learnt", path + "/learnt");
  } else {
    std::filesystem::permissions(path, std::filesystem::perms::none);
  }
  const std::string why =
      path + (root ? ": cannot read: Is a directory" : ": cannot read: Permission denied") +
      "; the word database is left as it is, not replaced by an empty one\n";
  const std::string message = home_ + "/m";
  for (const std::string& command :
       std::vector<std::string>{"stats", "learn --clean " + message, "classify " + message,
                                "empty-db", "blacklist list"}) {
    SCOPED_TRACE(command);
    const Result r = Run(command);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "tarvex: " + why);
  }
  const Result filtered = Run("filter", "Subject: hello\n\nhello\n");
  EXPECT_EQ(filtered.exit_code, 3);  // not judged: the delivery agent keeps the message
  EXPECT_EQ(filtered.err, "tarvex: " + why);
  const std::string run = Environment() + "timeout 20 " + Program() + "run 2>" + home_ + "/err";
  const int status = std::system(run.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(Read(home_ + "/err"), "tarvex: " + why);

  if (root) {
    EXPECT_EQ(Read(path + "/learnt"), learnt);
  } else {
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    EXPECT_EQ(Read(path), learnt);
  }
}

// Saving the word database keeps what users set up around the file: a link
// to it, its mode, a read-only file left alone, and the previous file as a
// backup.
TEST_F(CommandLine, SavesTheDatabaseAsTheUserSetItUp) {
  ASSERT_EQ(Run("init").exit_code, 0);
  const std::string data = home_ + "/.local/share/tarvex";
  std::filesystem::create_directory(home_ + "/synced");
  std::filesystem::rename(data + "/words.db", home_ + "/synced/words.db");
  std::filesystem::create_symlink(home_ + "/synced/words.db", data + "/words.db");
  ::chmod((home_ + "/synced/words.db").c_str(), 0640);

  ASSERT_EQ(Run("learn --spam " + Message("m", "Subject: cheap pills\n\ncheap")).exit_code, 0);
  const std::string once = Read(home_ + "/synced/words.db");
  ASSERT_EQ(Run("learn --clean " + Message("c", "Subject: lunch monday\n\nagenda")).exit_code, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(data + "/words.db"));
  struct stat st;
  ASSERT_EQ(::stat((home_ + "/synced/words.db").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Read(home_ + "/synced/words.db.bak"), once);
  EXPECT_NE(Database().find("agenda = 0,1,"), std::string::npos);

  ::chmod((home_ + "/synced/words.db").c_str(), 0444);
  const std::string kept = Read(home_ + "/synced/words.db");
  const Result r = Run("learn --spam " + home_ + "/m");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Bayesian Plugin Error: Cannot save database (" + data + "/words.db)\n");
  EXPECT_EQ(Read(home_ + "/synced/words.db"), kept);
}

// After a one-off run as the superuser, the profile's files belong to root:
// the user's next run must leave them alone, not swap in files of its own.
TEST_F(CommandLine, LeavesFilesOfAnotherUserAlone) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser to act as two users";
  ASSERT_EQ(Run("init").exit_code, 0);
  const std::string data = home_ + "/.local/share/tarvex";
  for (const auto& entry : std::filesystem::recursive_directory_iterator(home_)) {
    ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(::chown(home_.c_str(), 65534, 65534), 0);
  for (const char* name : {"/words.db", "/blacklist.xml"}) {
    ASSERT_EQ(::chown((data + name).c_str(), 0, 0), 0);
    ::chmod((data + name).c_str(), 0644);
  }
  const std::string database = Read(data + "/words.db");
  const std::string blacklist = Read(data + "/blacklist.xml");
  const auto as_nobody = [&](const std::string& args) {
    const std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups " +
                                Environment() + Program() + args + " >" + home_ + "/out 2>" +
                                home_ + "/err </dev/null";
    const int status = std::system(command.c_str());
    return Result{WEXITSTATUS(status), Read(home_ + "/out"), Read(home_ + "/err")};
  };
  Message("m", "Subject: cheap pills\n\ncheap");
  const Result r = as_nobody("learn --spam " + home_ + "/m");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Bayesian Plugin Error: Cannot save database (" + data + "/words.db)\n");
  as_nobody("blacklist add --domain spam.example");
  for (const auto& [name, contents] :
       {std::pair{"/words.db", database}, std::pair{"/blacklist.xml", blacklist}}) {
    struct stat st;
    ASSERT_EQ(::stat((data + name).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u) << name;
    EXPECT_EQ(Read(data + name), contents) << name;
  }
}

// A sender list that does not parse acts as empty, as before, but the
// daemon and the list commands say which file, where and why.
TEST_F(CommandLine, WarnsOfASenderListThatDoesNotParse) {
  ASSERT_EQ(Run("init").exit_code, 0);
  const std::string list = home_ + "/.local/share/tarvex/blacklist.xml";
  std::ofstream(list) << "<BlackList>\n    <Domain Name=\"spam.example />\n</BlackList>\n";
  const std::string warning = "tarvex: warning: " + list +
                              ": line 2, column 13: Error parsing Element; the blacklist counts as "
                              "empty until the file is mended\n";
  Result r = Run("blacklist list");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, warning);
  EXPECT_EQ(Run("whitelist list").err, "");
  StartDaemon();
  EXPECT_NE(DaemonLog().find(warning), std::string::npos) << DaemonLog();
  EXPECT_EQ(Run("blacklist list").err, warning);  // through the daemon too
}

// The About box shows the product's line twice: beside the icon and framed.
TEST_F(CommandLine, AboutPrintsWhatTheAboutBoxShows) {
  ASSERT_EQ(Run("init").exit_code, 0);
  const Result r = Run("about");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "Tarvex v1.2\nTarvex v1.2\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(CommandLine, ShowsASaveErrorAndFails) {
  ASSERT_EQ(Run("init").exit_code, 0);
  const std::string settings = home_ + "/.config/tarvex/settings.reg";
  std::string text = Read(settings);
  const std::string unwritable = home_ + "/no/such/folder/words.db";
  text.replace(text.find(home_ + "/.local/share/tarvex/words.db"),
               (home_ + "/.local/share/tarvex/words.db").size(), unwritable);
  std::ofstream(settings, std::ios::binary) << text;
  const Result r = Run("stats");
  EXPECT_EQ(r.exit_code, 1);
  const std::string failed = "Bayesian Plugin Error: Cannot save database (" + unwritable + ")\n";
  EXPECT_EQ(r.err, failed);

  // Emptying saves at once, and again at the end; the settings dialog's
  // question and answer come around the first failure.
  const std::string asked = "Tarvex: Are you sure you want to empty the Database?\n";
  const std::string emptied = "Tarvex: Database Empty\n";
  const struct {
    const char* command;
    std::string out, err;
  } emptying[] = {
      {"settings empty-db", asked + emptied, failed + failed},
      {"settings empty-db --json", "", asked + failed + emptied + failed},
      {"empty-db", "", failed + failed},
  };
  for (const auto& c : emptying) {
    const Result e = Run(c.command);
    EXPECT_EQ(e.exit_code, 1) << c.command;
    EXPECT_EQ(e.out, c.out) << c.command;
    EXPECT_EQ(e.err, c.err) << c.command;
  }
}

}  // namespace
}  // namespace tarvex
