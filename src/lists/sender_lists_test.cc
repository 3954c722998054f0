#include "lists/sender_lists.h"
#include "testing/status_matchers.h"

#include <gtest/gtest.h>
#include <tinyxml.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace tarvex {
namespace {

using Entries = std::vector<std::string>;
using Lists = std::pair<Entries, Entries>;  // addresses, domains
using Pairs = std::vector<std::pair<std::string, std::string>>;
constexpr ListId kBlack = ListId::Blacklist, kWhite = ListId::Whitelist;
constexpr EntryKind kAddress = EntryKind::Address, kDomain = EntryKind::Domain;

// What extract makes of text, or "<none>" when it fails (which must leave the result empty).
std::string Extracted(bool (*extract)(std::string_view, std::string*), std::string_view text) {
  std::string out = "stale";
  if (extract(text, &out)) return out;
  EXPECT_EQ(out, "") << text;
  return "<none>";
}

TEST(ExtractionTest, AddressRunsFromTheFirstOpeningToTheFirstClosingBracket) {
  EXPECT_EQ(Extracted(ExtractAddress, "\"Doe, J\" <J.Doe@Example.com> (work) <x@y>"),
            "<J.Doe@Example.com>");
  EXPECT_EQ(Extracted(ExtractAddress, "\"Doe <Sales>\" <j@x.example>"), "<Sales>");
  EXPECT_EQ(Extracted(ExtractAddress, "smiley :-> <a@b.example>"), "");
  EXPECT_EQ(Extracted(ExtractAddress, std::string("\0\xFF<\x80@\0x>\0", 9)),
            std::string("<\x80@\0x>", 6));
  for (const char* from : {"a@b.example", "a@b.example>", "<a@b.example", ""}) {
    EXPECT_EQ(Extracted(ExtractAddress, from), "<none>");
  }
}

TEST(ExtractionTest, DomainIsAllAfterTheFirstAtWithoutLeadingAts) {
  EXPECT_EQ(Extracted(ExtractDomain, "john@Example.COM"), "Example.COM");
  EXPECT_EQ(Extracted(ExtractDomain, "john@@@example.com"), "example.com");
  EXPECT_EQ(Extracted(ExtractDomain, "a@b@c"), "b@c");
  EXPECT_EQ(Extracted(ExtractDomain, "<a@b.example>"), "b.example>");
  EXPECT_EQ(Extracted(ExtractDomain, "@@"), "");
  EXPECT_EQ(Extracted(ExtractDomain, "postmaster"), "<none>");
}

TEST(MatchingTest, FoldsAsciiLettersOnlyStripsBracketsAndMatchesWholeEntriesAsStored) {
  EXPECT_TRUE(EqualIgnoringCase("John.Doe@EXAMPLE.com", "john.doe@example.COM"));
  EXPECT_TRUE(EqualIgnoringCase("J\xF6RG", "j\xF6rg"));
  EXPECT_FALSE(EqualIgnoringCase("J\xD6RG", "j\xF6rg"));  // Windows-1252 letters are not folded
  EXPECT_FALSE(EqualIgnoringCase("@", "`"));              // 32 apart, but not letters
  EXPECT_FALSE(EqualIgnoringCase("[", "{"));
  EXPECT_FALSE(EqualIgnoringCase("example.com", "example.co"));
  EXPECT_FALSE(EqualIgnoringCase(std::string("a\0", 2), "a"));

  SenderLists lists;
  lists.blacklistAddresses = {"<spam@x.example>", " spam@y.example", "Spam@W.example", "boss"};
  lists.blacklistDomains = {"Example.com", "@spam.example"};
  lists.whitelistAddresses = {"wa"};
  lists.whitelistDomains = {"wd"};
  EXPECT_TRUE(lists.IsBlacklistedAddress("<<<spam@w.EXAMPLE>>"));
  EXPECT_TRUE(lists.IsBlacklistedAddress("<BOSS>"));  // no "@" needed
  for (const char* address :
       {"<spam@x.example>", "<spam@y.example>", "< spam@w.example>", "spam@w.example>x", "wa"}) {
    EXPECT_FALSE(lists.IsBlacklistedAddress(address)) << address;
  }
  EXPECT_TRUE(lists.IsBlacklistedDomain("EXAMPLE.COM"));
  for (const char* domain : {"mail.example.com", "xample.com", "spam.example", "wd"}) {
    EXPECT_FALSE(lists.IsBlacklistedDomain(domain)) << domain;
  }
  EXPECT_TRUE(lists.IsWhitelistedAddress("<WA>"));
  EXPECT_TRUE(lists.IsWhitelistedDomain("WD"));
  EXPECT_FALSE(lists.IsWhitelistedAddress("wd"));
  EXPECT_FALSE(lists.IsWhitelistedDomain("wa"));
}

constexpr char kBlackPath[] = "C:\\Tarvex\\BlackList.xml";
constexpr char kWhitePath[] = "C:\\Tarvex\\WhiteList.xml";

class ListFileTest : public ::testing::Test {
 protected:
  ListFileTest() {
    WriteStringValue(store_, "BlackListPath", kBlackPath);
    WriteStringValue(store_, "WhiteListPath", kWhitePath);
  }

  std::string& Black() { return fs_.files()[kBlackPath]; }
  std::string& White() { return fs_.files()[kWhitePath]; }
  Lists Load(ListId list = kBlack) {
    Lists lists;
    EXPECT_TRUE((list == kBlack ? LoadBlacklist : LoadWhitelist)(fs_, settings_, &lists.first,
                                                                 &lists.second));
    return lists;
  }
  bool Add(EntryKind kind, std::string_view text, ListId list = kBlack) {
    return AddEntry(fs_, settings_, list, kind, text);
  }
  bool Rename(EntryKind kind, std::string_view to, std::string_view from) {
    return RenameEntry(fs_, settings_, kBlack, kind, to, from);
  }
  void Remove(EntryKind kind, std::string_view text, ListId list = kBlack) {
    RemoveEntry(fs_, settings_, list, kind, text);
  }
  bool Contains(EntryKind kind, std::string_view text, ListId list = kBlack) {
    return ContainsEntry(fs_, settings_, list, kind, text);
  }

  MemoryFileSystem fs_;
  MemorySettingsStore store_;
  FilterSettings settings_{store_};
};

TEST_F(ListFileTest, LoadsTheDirectChildEntriesOfEachKindInDocumentOrder) {
  Black() =
      "<AnyName>\n"
      "  <MailID Name=\"one@x.example\"/>\n"
      "  <Domain Name=\"first.example\"/>\n"
      "  <MailID/>\n"                           // no Name: an empty entry
      "  <MailID name=\"lower@x.example\"/>\n"  // Name is case-sensitive too
      "  <mailid Name=\"a@x.example\"/>\n"
      "  <DOMAIN Name=\"b.example\"/>\n"
      "  <Group><MailID Name=\"nested@x.example\"/><Domain Name=\"nested.example\"/></Group>\n"
      "  <MailID Name=\"two@x.example\">text<Domain Name=\"inner.example\"/></MailID>\n"
      "  <!-- <MailID Name=\"commented@x.example\"/> -->\n"
      "  <Domain Name='second.example'/>\n"
      "</AnyName>\n"
      "<Second><MailID Name=\"second-root@x.example\"/></Second>\n";
  Entries addresses = {"old"}, domains = {"old"};  // loading appends
  ASSERT_TRUE(LoadBlacklist(fs_, settings_, &addresses, &domains));
  EXPECT_EQ(addresses, (Entries{"old", "one@x.example", "", "", "two@x.example"}));
  EXPECT_EQ(domains, (Entries{"old", "first.example", "second.example"}));
  EXPECT_TRUE(LoadBlacklist(fs_, settings_, nullptr, nullptr));  // null arrays are skipped
}

TEST_F(ListFileTest, ThePathIsReadAtEveryCall) {
  fs_.files()["other.xml"] = "<L><Domain Name=\"other.example\"/></L>";
  Black() = "<L><Domain Name=\"first.example\"/></L>";
  EXPECT_TRUE(Contains(kDomain, "first.example"));
  WriteStringValue(store_, "BlackListPath", "other.xml");
  EXPECT_TRUE(Add(kDomain, "added.example"));
  EXPECT_EQ(Load().second, (Entries{"other.example", "added.example"}));
  EXPECT_EQ(Black(), "<L><Domain Name=\"first.example\"/></L>");
}

TEST_F(ListFileTest, EditsKeepEverythingElseInTheFile) {
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"windows-1252\" ?>\n"
      "<!-- Tarvex black list -->\n"
      "<BlackList Version=\"2\">\n"
      "    <!-- added by hand -->\n"
      "    <Note Author=\"me\">\n"
      "        <Line>keep &amp; this</Line>\n"
      "    </Note>\n";
  Black() = head +
            "    <MailID Name=\"a@x.example\" />\n"
            "    <Domain Name=\"d.example\" />\n"
            "</BlackList>\n";
  EXPECT_TRUE(Add(kAddress, "A@x.example"));  // even when it is there already
  EXPECT_TRUE(Rename(kDomain, "e.example", "d.example"));
  Remove(kAddress, "a@x.example");  // the first of the two
  EXPECT_EQ(Black(), head +
                         "    <Domain Name=\"e.example\" />\n"
                         "    <MailID Name=\"A@x.example\" />\n"
                         "</BlackList>\n");
}

TEST_F(ListFileTest, EntriesMatchCaseInsensitivelyByKindAndEditsTakeTheFirstMatchOnly) {
  const std::string dups =
      "<L><Domain Name=\"Dup@x.example\"/><MailID Name=\"Dup@x.example\"/>"
      "<MailID Name=\"dup@X.EXAMPLE\"/><MailID/></L>";
  Black() = dups;
  EXPECT_TRUE(Contains(kAddress, "DUP@x.example"));
  EXPECT_TRUE(Contains(kAddress, ""));  // an entry without a Name
  EXPECT_FALSE(Contains(kDomain, ""));  // the entry without a Name is an address
  EXPECT_FALSE(Contains(kAddress, "dup@x.exampl"));
  EXPECT_FALSE(Contains(kAddress, "dup@x.example", kWhite));
  EXPECT_EQ(fs_.commits(), 0);
  EXPECT_TRUE(Rename(kAddress, "New@x.example", "DUP@x.example"));
  EXPECT_EQ(Load(), Lists({"New@x.example", "dup@X.EXAMPLE", ""}, {"Dup@x.example"}));
  Black() = dups;
  Remove(kAddress, "DUP@x.example");
  EXPECT_EQ(Load(), Lists({"dup@X.EXAMPLE", ""}, {"Dup@x.example"}));
  Remove(kDomain, "dup@X.EXAMPLE");
  EXPECT_EQ(Load(), Lists({"dup@X.EXAMPLE", ""}, {}));
}

TEST_F(ListFileTest, EditsWithoutAMatchStillRewriteTheFileAndIgnoreAFailedWrite) {
  Black() = "<L>  <MailID   Name='a@x.example'/></L>";
  EXPECT_TRUE(Rename(kAddress, "b@x.example", "missing@x.example"));
  EXPECT_EQ(fs_.commits(), 1);
  const std::string rewritten = "<L>\n    <MailID Name=\"a@x.example\" />\n</L>\n";
  EXPECT_EQ(Black(), rewritten);
  fs_.FailCommits(kBlackPath);
  EXPECT_TRUE(Add(kAddress, "c@x.example"));
  EXPECT_EQ(Black(), rewritten);
}

TEST_F(ListFileTest, MissingPathSettingOrFileMeansNoList) {
  store_.values().clear();
  fs_.files()[""] = "<L><MailID Name=\"a@x.example\"/></L>";  // never read
  Entries addresses = {"kept"}, domains;
  EXPECT_FALSE(LoadWhitelist(fs_, settings_, &addresses, &domains));
  EXPECT_EQ(addresses, (Entries{"kept"}));
  EXPECT_FALSE(Rename(kAddress, "b", "a@x.example"));
  Remove(kAddress, "a@x.example", kWhite);
  EXPECT_FALSE(Contains(kAddress, "a@x.example"));
  WriteStringValue(store_, "BlackListPath", "missing.xml");
  EXPECT_FALSE(Add(kAddress, "a@x.example"));  // a file is never created
  EXPECT_EQ(fs_.commits(), 0);
  EXPECT_EQ(fs_.files().size(), 1u);
}

TEST_F(ListFileTest, UnusableFilesFailAndAreLeftAlone) {
  std::string deep;  // far deeper than TinyXML's recursion survives
  for (int i = 0; i < 200000; ++i) deep += "<a><!--</a>-->";
  const std::vector<std::string> unusable = {
      "",
      "not xml at all",
      "<L>",
      "<L><MailID Name=\"a@x.example\"></L>",
      "<L><MailID Name=\"a@x.example\" Name=\"b@x.example\"/></L>",
      "<?xml version=\"1.0\"?><!-- no element -->",
      std::string("\0<L/>", 5),
      deep};
  for (const std::string& text : unusable) {
    Black() = text;
    Entries addresses = {"kept"}, domains;
    EXPECT_FALSE(LoadBlacklist(fs_, settings_, &addresses, &domains)) << text.substr(0, 40);
    EXPECT_EQ(addresses, (Entries{"kept"}));
    EXPECT_FALSE(Add(kDomain, "x.example"));
    EXPECT_FALSE(Rename(kDomain, "y", "x"));
    Remove(kDomain, "x.example");
    EXPECT_FALSE(Contains(kDomain, ""));
    EXPECT_EQ(Black(), text);
  }
  EXPECT_EQ(fs_.commits(), 0);
}

// The list operations stay silent; CheckList says what a warning needs: the
// file, the line and column, and the parser's own words.
TEST_F(ListFileTest, CheckTellsWhyAListLoadsAsEmpty) {
  const std::string note = "; the blacklist counts as empty until the file is mended";
  const struct {
    std::string text;
    std::string why;  // after the path; empty when the list loads
  } cases[] = {
      {"<L>\n  <MailID Name=\"a@x.example\" />\n</L>\n", ""},
      {"<L>\n  <MailID Name=\"a@x.example\" />\n  <MailID Name=\"b@x.example />\n</L>\n",
       ": line 3, column 11: Error parsing Element"},  // a stray quote
      {"<L>\n  <MailID Name=\"a@x.example\" />\n  <Dom",
       ": line 3, column 4: Failed to read Element name"},  // cut off
      {"<L>\n  <MailID Name=\"a@x.example\" />\n", ": line 3, column 1: Error reading end tag"},
      {"", ": Error document empty"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Black() = c.text;
    const Status status = CheckList(fs_, settings_, kBlack);
    EXPECT_EQ(status.message(), c.why.empty() ? "" : kBlackPath + c.why + note);
  }
  fs_.files().erase(kBlackPath);
  EXPECT_EQ(CheckList(fs_, settings_, kBlack).message(),
            std::string(kBlackPath) + ": cannot read: No such file or directory" + note);
  store_.values().clear();
  EXPECT_EQ(CheckList(fs_, settings_, kWhite).message(),
            "whitelist: no file is set for it in the settings; the whitelist counts as empty "
            "until the file is mended");
}

TEST_F(ListFileTest, KeepsTheByteOrderMarkOfAFileSavedByAnEditor) {
  Black() = "\xEF\xBB\xBF<L><Domain Name=\"x.example\"/></L>";
  EXPECT_EQ(Load().second, (Entries{"x.example"}));
  EXPECT_TRUE(Add(kDomain, "y.example"));
  EXPECT_EQ(Black(),
            "\xEF\xBB\xBF<L>\n    <Domain Name=\"x.example\" />\n"
            "    <Domain Name=\"y.example\" />\n</L>\n");
}

TEST_F(ListFileTest, QuotesAndMarkupCharactersRoundTrip) {
  White() = "<WhiteList/>";
  const std::string quoted = "\"Doe\" <j&d@x.example>";
  EXPECT_TRUE(Add(kAddress, quoted, kWhite));
  EXPECT_TRUE(Add(kAddress, "it's<me>", kWhite));
  EXPECT_TRUE(Add(kDomain, "J\xF6rg.example", kWhite));
  EXPECT_EQ(White(),
            "<WhiteList>\n"
            "    <MailID Name='&quot;Doe&quot; &lt;j&amp;d@x.example&gt;' />\n"
            "    <MailID Name=\"it&apos;s&lt;me&gt;\" />\n"
            "    <Domain Name=\"J\xF6rg.example\" />\n"
            "</WhiteList>\n");
  EXPECT_EQ(Load(kWhite), Lists({quoted, "it's<me>"}, {"J\xF6rg.example"}));
  EXPECT_TRUE(Contains(kAddress, quoted, kWhite));
}

// TinyXML, told by the declaration to read UTF-8, takes the four bytes a lead
// byte announces even when the file ends after it. What lies past the end
// must not decide whether the file loads: here the freed memory the file's
// copy is likely to reuse holds the end tag the file lacks.
TEST_F(ListFileTest, AFileEndingInsideACharacterIsNotCompletedByMemoryPastItsEnd) {
  std::string text = "<?xml version=\"1.0\"?><L><Domain Name=\"x.example\"/>";
  text.resize(199, ' ');
  text += "\xF0";  // 200 bytes: its copy takes the same heap chunk as the 207 below
  Black() = text;
  for (int round = 0; round < 3; ++round) {
    {
      std::string past(text.size() + 7, 'x');
      past.replace(text.size() + 3, 4, "</L>");
    }
    Entries addresses, domains;
    EXPECT_FALSE(LoadBlacklist(fs_, settings_, &addresses, &domains));
    EXPECT_EQ(domains, Entries{});
  }
}

// TinyXML prints some mangled declarations back as text that it then reads
// differently (the declaration below comes out as '<?xml version=" ?>', whose
// value runs to the next quote of the file). An edit must never turn a list
// that loads into one that does not: then it leaves the file as it was.
TEST_F(ListFileTest, AnEditTheLibraryCannotReadBackLeavesTheFileAsItWas) {
  const std::string declaration =
      "<?xmL 5emL 6ers0i\"on=.4\" encoding=\"&&amp;quot;s-1252&-xmL versionM=\"0.0\"&lt;B\""
      "win=\"windows-1251\"?>\n<!-e Kp-t";
  const std::string list =
      " -->\n<List a=>\n  <Domain Name=\"caf\xe9.exampxample\"/>\nailID/n/>\n</List>\no<[-D";
  Black() = declaration +
            "5emL 6ers0i\"on=.4\" encoding=\"&&amp;quot;s-1252&-xmL versionM=\"0.0\"" +
            "&lt;B\"win=\"windows-1251\"?>\n<!-e Kp-t" + list + list + "AT";
  const auto load = [this] {
    Entries addresses, domains;
    EXPECT_TRUE(LoadBlacklist(fs_, settings_, &addresses, &domains)) << Black();
    return domains;
  };
  const Entries loaded = load();
  for (int i = 0; i < 3; ++i)
    RemoveEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "none");
  EXPECT_EQ(load(), loaded);
  AddEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "*-idO/O^*\\Ol*45^*0\\{Mdat");
  EXPECT_EQ(load(), loaded);
}

// The written file must be what TiXmlDocument::SaveFile makes of the same
// document, including where TinyXML's two printers disagree (text beside
// elements, CDATA).
TEST(ListFileOnDiskTest, WritesWhatSaveFileWrites) {
  const std::string path = ::testing::TempDir() + "tarvex-list-" + std::to_string(getpid());
  const std::string expected = path + "-saved";
  PosixFileSystem fs;
  MemorySettingsStore store;
  FilterSettings settings(store);
  WriteStringValue(store, "BlackListPath", path);
  const std::string original =
      "<?xml version=\"1.0\"?>\n"
      "<!-- black list -->\n"
      "<BlackList>\n"
      "  <MailID Name=\"a@x.example\"/>\n"
      "  <Note>before<b/>after<![CDATA[ raw <stuff> ]]></Note>\n"
      "  <Only><![CDATA[x]]></Only>\n"
      "  <Domain Name=\"d.example\" Extra='1 \"2\"'/>\n"
      "</BlackList>\n";
  ASSERT_OK(WriteWholeFile(fs, path, original));
  EXPECT_TRUE(AddEntry(fs, settings, kBlack, kAddress, "n\xE9w@x.example"));

  TiXmlDocument document;
  document.Parse(original.c_str(), nullptr, TIXML_ENCODING_LEGACY);
  TiXmlElement entry("MailID");
  entry.SetAttribute("Name", "n\xE9w@x.example");
  document.RootElement()->InsertEndChild(entry);
  ASSERT_TRUE(document.SaveFile(expected));
  std::string written, saved;
  EXPECT_TRUE(fs.ReadFile(path, &written));
  EXPECT_TRUE(fs.ReadFile(expected, &saved));
  EXPECT_EQ(written, saved);
  std::remove(path.c_str());
  std::remove(expected.c_str());
}

}  // namespace
}  // namespace tarvex
