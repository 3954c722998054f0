#include "lists/sender_lists.h"

#include <gtest/gtest.h>
#include <tinyxml.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace tarvex {
namespace {

using Entries = std::vector<std::string>;

// ---------------------------------------------------------------- extraction

TEST(ExtractionTest, AddressRunsFromTheFirstOpeningToTheFirstClosingBracket) {
  std::string address;
  ASSERT_TRUE(ExtractAddress("\"Doe, John\" <John.Doe@Example.com> (work) <x@y>", &address));
  EXPECT_EQ(address, "<John.Doe@Example.com>");
  SenderLists lists;
  lists.whitelistAddresses = {"john.doe@example.com"};
  EXPECT_TRUE(lists.IsWhitelistedAddress(address));

  ASSERT_TRUE(ExtractAddress("\"Doe <Sales>\" <j@x.example>", &address));
  EXPECT_EQ(address, "<Sales>");  // the first "<" may sit inside the display name
  ASSERT_TRUE(ExtractAddress("smiley :-> <a@b.example>", &address));
  EXPECT_EQ(address, "");
  ASSERT_TRUE(ExtractAddress(std::string("\0\xFF<\x80@\0x>\0", 9), &address));
  EXPECT_EQ(address, std::string("<\x80@\0x>", 6));
  for (const char* from : {"a@b.example", "a@b.example>", "<a@b.example", ""}) {
    address = "stale";
    EXPECT_FALSE(ExtractAddress(from, &address)) << from;
    EXPECT_EQ(address, "");
  }
}

TEST(ExtractionTest, DomainIsAllAfterTheFirstAtWithoutLeadingAts) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"john@Example.COM", "Example.COM"},
      {"john@@@example.com", "example.com"},
      {"a@b@c", "b@c"},
      {"<a@b.example>", "b.example>"},
      {"john@", ""},
      {"@@", ""}};
  std::string domain;
  for (const auto& [address, expected] : cases) {
    ASSERT_TRUE(ExtractDomain(address, &domain)) << address;
    EXPECT_EQ(domain, expected) << address;
  }
  EXPECT_FALSE(ExtractDomain("postmaster", &domain));
  EXPECT_EQ(domain, "");
  EXPECT_FALSE(ExtractDomain("", &domain));
}

// ------------------------------------------------------------------ matching

TEST(MatchingTest, EqualFoldsAsciiLettersOnlyAndComparesWholeTexts) {
  EXPECT_TRUE(EqualIgnoringCase("John.Doe@EXAMPLE.com", "john.doe@example.COM"));
  EXPECT_TRUE(EqualIgnoringCase("", ""));
  // Pairs 32 apart that are not letters must stay different.
  EXPECT_FALSE(EqualIgnoringCase("@", "`"));
  EXPECT_FALSE(EqualIgnoringCase("[", "{"));
  // Windows-1252 letters are compared exactly.
  EXPECT_FALSE(EqualIgnoringCase("J\xD6RG", "j\xF6rg"));
  EXPECT_TRUE(EqualIgnoringCase("J\xF6RG", "j\xF6rg"));
  EXPECT_FALSE(EqualIgnoringCase("example.com", "example.co"));
  EXPECT_FALSE(EqualIgnoringCase("example.com", "example.com "));
  EXPECT_FALSE(EqualIgnoringCase(std::string("a\0", 2), "a"));
}

TEST(MatchingTest, EachPredicateLooksAtItsOwnArray) {
  SenderLists lists;
  lists.blacklistAddresses = {"ba"};
  lists.blacklistDomains = {"bd"};
  lists.whitelistAddresses = {"wa"};
  lists.whitelistDomains = {"wd"};
  for (const char* text : {"ba", "bd", "wa", "wd"}) {
    EXPECT_EQ(lists.IsBlacklistedAddress(text), text == std::string("ba"));
    EXPECT_EQ(lists.IsBlacklistedDomain(text), text == std::string("bd"));
    EXPECT_EQ(lists.IsWhitelistedAddress(text), text == std::string("wa"));
    EXPECT_EQ(lists.IsWhitelistedDomain(text), text == std::string("wd"));
  }
}

TEST(MatchingTest, AddressesLoseTheirBracketsButEntriesAreTakenAsStored) {
  SenderLists lists;
  lists.blacklistAddresses = {"<spam@x.example>", " spam@y.example", "Spam@W.example",
                              "postmaster"};
  std::string address;
  for (const char* from : {"<spam@x.example>", "X <spam@y.example>"}) {
    ASSERT_TRUE(ExtractAddress(from, &address));
    EXPECT_FALSE(lists.IsBlacklistedAddress(address)) << from;
  }
  EXPECT_TRUE(lists.IsBlacklistedAddress("<<<spam@w.EXAMPLE>>"));
  EXPECT_FALSE(lists.IsBlacklistedAddress("< spam@w.example>"));  // only brackets go
  EXPECT_FALSE(lists.IsBlacklistedAddress("spam@w.example>x"));
  EXPECT_TRUE(lists.IsBlacklistedAddress("<POSTMASTER>"));  // no "@" needed
  EXPECT_EQ(lists.blacklistAddresses[2], "Spam@W.example");
}

TEST(MatchingTest, DomainsMatchWholeOnly) {
  SenderLists lists;
  lists.blacklistDomains = {"Example.com", "@spam.example"};
  EXPECT_TRUE(lists.IsBlacklistedDomain("EXAMPLE.COM"));
  for (const char* other : {"mail.example.com", "xample.com", "example.com.evil"}) {
    EXPECT_FALSE(lists.IsBlacklistedDomain(other)) << other;
  }
  // A domain taken from an address never starts with "@", so such an entry
  // cannot match a sender.
  std::string domain;
  ASSERT_TRUE(ExtractDomain("a@@spam.example", &domain));
  EXPECT_FALSE(lists.IsBlacklistedDomain(domain));
}

// ---------------------------------------------------------------- list files

constexpr char kBlackPath[] = "C:\\Tarvex\\BlackList.xml";
constexpr char kWhitePath[] = "C:\\Tarvex\\WhiteList.xml";

class ListFileTest : public ::testing::Test {
 protected:
  ListFileTest() : settings_(store_) {
    WriteStringValue(store_, "BlackListPath", kBlackPath);
    WriteStringValue(store_, "WhiteListPath", kWhitePath);
  }

  std::string& Black() { return fs_.files()[kBlackPath]; }
  std::string& White() { return fs_.files()[kWhitePath]; }

  Entries BlackAddresses() {
    Entries addresses, domains;
    EXPECT_TRUE(LoadBlacklist(fs_, settings_, &addresses, &domains));
    return addresses;
  }
  Entries BlackDomains() {
    Entries addresses, domains;
    EXPECT_TRUE(LoadBlacklist(fs_, settings_, &addresses, &domains));
    return domains;
  }

  MemoryFileSystem fs_;
  MemorySettingsStore store_;
  FilterSettings settings_;
};

TEST_F(ListFileTest, LoadsEachKindInDocumentOrder) {
  Black() =
      "<BlackList>\n"
      "  <MailID Name=\"one@x.example\"/>\n"
      "  <Domain Name=\"first.example\"/>\n"
      "  <MailID Name=\"two@x.example\"/>\n"
      "  <Domain Name=\"second.example\"/>\n"
      "  <MailID Name=\"three@x.example\"/>\n"
      "</BlackList>\n";
  White() = "<WhiteList><Domain Name='friend.example'/></WhiteList>";
  Entries addresses, domains;
  ASSERT_TRUE(LoadBlacklist(fs_, settings_, &addresses, &domains));
  EXPECT_EQ(addresses, (Entries{"one@x.example", "two@x.example", "three@x.example"}));
  EXPECT_EQ(domains, (Entries{"first.example", "second.example"}));

  SenderLists lists;
  ASSERT_TRUE(LoadWhitelist(fs_, settings_, &lists.whitelistAddresses, &lists.whitelistDomains));
  EXPECT_TRUE(lists.whitelistAddresses.empty());
  EXPECT_EQ(lists.whitelistDomains, (Entries{"friend.example"}));
}

TEST_F(ListFileTest, OnlyDirectChildrenNamedExactlyAreEntries) {
  Black() =
      "<?xml version=\"1.0\"?>\n"
      "<!-- comments and declarations come before the list -->\n"
      "<AnyName>\n"
      "  <MailID/>\n"                           // no Name: an empty entry
      "  <MailID name=\"lower@x.example\"/>\n"  // Name is case-sensitive too
      "  <mailid Name=\"a@x.example\"/>\n"
      "  <DOMAIN Name=\"b.example\"/>\n"
      "  <Group><MailID Name=\"nested@x.example\"/><Domain Name=\"nested.example\"/></Group>\n"
      "  <MailID Name=\"real@x.example\" Note=\"x\">text<Domain Name=\"inner.example\"/></MailID>\n"
      "  <!-- <MailID Name=\"commented@x.example\"/> -->\n"
      "</AnyName>\n"
      "<Second><MailID Name=\"second-root@x.example\"/></Second>\n";
  EXPECT_EQ(BlackAddresses(), (Entries{"", "", "real@x.example"}));
  EXPECT_TRUE(BlackDomains().empty());

  SenderLists lists;
  lists.blacklistAddresses = BlackAddresses();
  EXPECT_TRUE(lists.IsBlacklistedAddress("<>"));  // the empty entry matches an empty address
}

TEST_F(ListFileTest, LoadAppendsAndAFailedLoadLeavesTheArrays) {
  Black() = "<L><MailID Name=\"new@x.example\"/><Domain Name=\"new.example\"/></L>";
  Entries addresses = {"old@x.example"}, domains = {"old.example"};
  ASSERT_TRUE(LoadBlacklist(fs_, settings_, &addresses, &domains));
  ASSERT_TRUE(LoadBlacklist(fs_, settings_, &addresses, &domains));
  EXPECT_EQ(addresses, (Entries{"old@x.example", "new@x.example", "new@x.example"}));
  EXPECT_EQ(domains, (Entries{"old.example", "new.example", "new.example"}));

  Black() = "<L><MailID Name=\"broken@x.example\"/>";
  EXPECT_FALSE(LoadBlacklist(fs_, settings_, &addresses, &domains));
  EXPECT_EQ(addresses.size(), 3u);
  EXPECT_EQ(domains.size(), 3u);
}

TEST_F(ListFileTest, ThePathIsReadAtEveryCall) {
  fs_.files()["other.xml"] = "<L><Domain Name=\"other.example\"/></L>";
  Black() = "<L><Domain Name=\"first.example\"/></L>";
  EXPECT_TRUE(ContainsEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "first.example"));
  WriteStringValue(store_, "BlackListPath", "other.xml");
  EXPECT_EQ(BlackDomains(), (Entries{"other.example"}));
  EXPECT_TRUE(AddEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "added.example"));
  EXPECT_EQ(Black(), "<L><Domain Name=\"first.example\"/></L>");
  EXPECT_TRUE(ContainsEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "added.example"));
}

TEST_F(ListFileTest, AddAppendsTheEntryAsLastChildInTinyXmlLayout) {
  Black() = "<BlackList><MailID Name=\"a@x.example\"/></BlackList>";
  White() = "<WhiteList/>";
  EXPECT_TRUE(AddEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "Spam.Example"));
  EXPECT_TRUE(AddEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "a@x.example"));
  EXPECT_TRUE(AddEntry(fs_, settings_, ListId::Whitelist, EntryKind::Address, "me@home.example"));
  EXPECT_EQ(Black(),
            "<BlackList>\n"
            "    <MailID Name=\"a@x.example\" />\n"
            "    <Domain Name=\"Spam.Example\" />\n"
            "    <MailID Name=\"a@x.example\" />\n"  // no duplicate check
            "</BlackList>\n");
  EXPECT_EQ(White(),
            "<WhiteList>\n"
            "    <MailID Name=\"me@home.example\" />\n"
            "</WhiteList>\n");
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
  EXPECT_TRUE(AddEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "b@x.example"));
  EXPECT_EQ(Black(), head +
                         "    <MailID Name=\"a@x.example\" />\n"
                         "    <Domain Name=\"d.example\" />\n"
                         "    <MailID Name=\"b@x.example\" />\n"
                         "</BlackList>\n");

  EXPECT_TRUE(
      RenameEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "e.example", "d.example"));
  RemoveEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "a@x.example");
  EXPECT_EQ(Black(), head +
                         "    <Domain Name=\"e.example\" />\n"
                         "    <MailID Name=\"b@x.example\" />\n"
                         "</BlackList>\n");
}

TEST_F(ListFileTest, RenameAndRemoveActOnTheFirstMatchOfTheKindOnly) {
  Black() =
      "<L>"
      "<Domain Name=\"Dup@x.example\"/>"  // right name, wrong kind
      "<MailID Name=\"Dup@x.example\"/>"
      "<MailID Name=\"dup@X.EXAMPLE\"/>"
      "</L>";
  EXPECT_TRUE(RenameEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "New@x.example",
                          "DUP@x.example"));
  EXPECT_EQ(BlackAddresses(), (Entries{"New@x.example", "dup@X.EXAMPLE"}));
  EXPECT_EQ(BlackDomains(), (Entries{"Dup@x.example"}));

  RemoveEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "new@X.example");
  EXPECT_EQ(BlackAddresses(), (Entries{"dup@X.EXAMPLE"}));
  RemoveEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "DUP@X.EXAMPLE");
  EXPECT_TRUE(BlackDomains().empty());
  EXPECT_EQ(BlackAddresses(), (Entries{"dup@X.EXAMPLE"}));
}

TEST_F(ListFileTest, EditsWithoutAMatchStillRewriteTheFile) {
  Black() = "<L>  <MailID   Name='a@x.example'/></L>";
  EXPECT_TRUE(RenameEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "b@x.example",
                          "missing@x.example"));
  EXPECT_EQ(fs_.commits(), 1);
  EXPECT_EQ(Black(), "<L>\n    <MailID Name=\"a@x.example\" />\n</L>\n");

  Black() = "<L><Domain Name='d.example'/></L>";
  RemoveEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "d.exampl");
  EXPECT_EQ(fs_.commits(), 2);
  EXPECT_EQ(Black(), "<L>\n    <Domain Name=\"d.example\" />\n</L>\n");

  fs_.FailCommits(kBlackPath);  // a failed write is not reported
  EXPECT_TRUE(AddEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "a@x.example"));
  EXPECT_EQ(Black(), "<L>\n    <Domain Name=\"d.example\" />\n</L>\n");
}

TEST_F(ListFileTest, ContainsMatchesCaseInsensitivelyByKindAndNeverWrites) {
  Black() = "<L><MailID Name=\"Boss@Work.example\"/><Domain/></L>";
  EXPECT_TRUE(
      ContainsEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "boss@work.EXAMPLE"));
  EXPECT_FALSE(
      ContainsEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "boss@work.example"));
  EXPECT_FALSE(
      ContainsEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "boss@work.exampl"));
  EXPECT_TRUE(ContainsEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, ""));
  EXPECT_FALSE(
      ContainsEntry(fs_, settings_, ListId::Whitelist, EntryKind::Address, "boss@work.example"));
  EXPECT_EQ(fs_.commits(), 0);
}

TEST_F(ListFileTest, MissingPathSettingMeansNoFile) {
  store_.values().clear();
  fs_.files()[""] = "<L><MailID Name=\"a@x.example\"/></L>";  // never read
  Entries addresses = {"kept"}, domains;
  EXPECT_FALSE(LoadBlacklist(fs_, settings_, &addresses, &domains));
  EXPECT_FALSE(LoadWhitelist(fs_, settings_, &addresses, &domains));
  EXPECT_EQ(addresses, (Entries{"kept"}));
  EXPECT_FALSE(AddEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "a@x.example"));
  EXPECT_FALSE(
      RenameEntry(fs_, settings_, ListId::Whitelist, EntryKind::Address, "b", "a@x.example"));
  RemoveEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "a@x.example");
  EXPECT_FALSE(ContainsEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "a@x.example"));
  EXPECT_EQ(fs_.commits(), 0);
  EXPECT_EQ(fs_.files().size(), 1u);
}

TEST_F(ListFileTest, UnusableFilesFailAndAreLeftAlone) {
  std::string deep;  // far deeper than TinyXML's recursion survives
  for (int i = 0; i < 200000; ++i) deep += "<a><!--</a>-->";
  const std::vector<std::string> unusable = {
      "",
      "   \n",
      "not xml at all",
      "<L>",
      "<L><MailID Name=\"a@x.example\"></L>",
      "<L><MailID Name=\"a@x.example\" Name=\"b@x.example\"/></L>",
      "<!-- only a comment -->",
      "<?xml version=\"1.0\"?>",
      std::string("\0<L/>", 5),
      deep,
  };
  for (const std::string& text : unusable) {
    Black() = text;
    Entries addresses = {"kept"}, domains;
    EXPECT_FALSE(LoadBlacklist(fs_, settings_, &addresses, &domains)) << text.substr(0, 40);
    EXPECT_EQ(addresses, (Entries{"kept"}));
    EXPECT_FALSE(AddEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "x.example"));
    EXPECT_FALSE(RenameEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "y", "x"));
    RemoveEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "x.example");
    EXPECT_FALSE(ContainsEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, ""));
    EXPECT_EQ(Black(), text);
  }
  EXPECT_EQ(fs_.commits(), 0);

  Black() = "<L><Domain Name=\"x.example\"/></L>";
  fs_.FailReads(kBlackPath);
  EXPECT_FALSE(ContainsEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "x.example"));
  EXPECT_FALSE(AddEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "y.example"));
  EXPECT_EQ(fs_.commits(), 0);
}

TEST_F(ListFileTest, KeepsTheByteOrderMarkOfAFileSavedByAnEditor) {
  Black() = "\xEF\xBB\xBF<L><Domain Name=\"x.example\"/></L>";
  Entries addresses, domains;
  EXPECT_TRUE(LoadBlacklist(fs_, settings_, &addresses, &domains));
  EXPECT_EQ(domains, (Entries{"x.example"}));
  EXPECT_TRUE(AddEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "y.example"));
  EXPECT_EQ(Black(),
            "\xEF\xBB\xBF<L>\n    <Domain Name=\"x.example\" />\n    <Domain Name=\"y.example\" "
            "/>\n</L>\n");
}

TEST_F(ListFileTest, QuotesAndMarkupCharactersRoundTrip) {
  White() = "<WhiteList/>";
  const std::string quoted = "\"Doe\" <j&d@x.example>";
  EXPECT_TRUE(AddEntry(fs_, settings_, ListId::Whitelist, EntryKind::Address, quoted));
  EXPECT_TRUE(AddEntry(fs_, settings_, ListId::Whitelist, EntryKind::Address, "it's<me>"));
  EXPECT_TRUE(AddEntry(fs_, settings_, ListId::Whitelist, EntryKind::Domain, "J\xF6rg.example"));
  EXPECT_EQ(White(),
            "<WhiteList>\n"
            "    <MailID Name='&quot;Doe&quot; &lt;j&amp;d@x.example&gt;' />\n"
            "    <MailID Name=\"it&apos;s&lt;me&gt;\" />\n"
            "    <Domain Name=\"J\xF6rg.example\" />\n"
            "</WhiteList>\n");
  Entries addresses, domains;
  ASSERT_TRUE(LoadWhitelist(fs_, settings_, &addresses, &domains));
  EXPECT_EQ(addresses, (Entries{quoted, "it's<me>"}));
  EXPECT_EQ(domains, (Entries{"J\xF6rg.example"}));
  EXPECT_TRUE(ContainsEntry(fs_, settings_, ListId::Whitelist, EntryKind::Address, quoted));

  RemoveEntry(fs_, settings_, ListId::Whitelist, EntryKind::Address, quoted);
  EXPECT_EQ(White(),
            "<WhiteList>\n"
            "    <MailID Name=\"it&apos;s&lt;me&gt;\" />\n"
            "    <Domain Name=\"J\xF6rg.example\" />\n"
            "</WhiteList>\n");
}

// ------------------------------------------------------- on the real disk

class ListFileOnDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarvex-lists-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/BlackList.xml";
    WriteStringValue(store_, "BlackListPath", path_);
  }
  void TearDown() override {
    for (const std::string& file : {path_, dir_ + "/expected.xml"}) std::remove(file.c_str());
    rmdir(dir_.c_str());
  }

  std::string Read(const std::string& path) {
    std::string text;
    EXPECT_TRUE(fs_.ReadFile(path, &text));
    return text;
  }

  PosixFileSystem fs_;
  MemorySettingsStore store_;
  FilterSettings settings_{store_};
  std::string dir_, path_;
};

// The written file must be what TiXmlDocument::SaveFile makes of the same
// document, including the spots where TinyXML's two printers disagree (text
// beside elements, CDATA).
TEST_F(ListFileOnDiskTest, WritesWhatSaveFileWrites) {
  const std::string original =
      "<?xml version=\"1.0\"?>\n"
      "<!-- black list -->\n"
      "<BlackList>\n"
      "  <MailID Name=\"a@x.example\"/>\n"
      "  <Note>before<b/>after<![CDATA[ raw <stuff> ]]></Note>\n"
      "  <Only><![CDATA[x]]></Only>\n"
      "  <Domain Name=\"d.example\" Extra='1 \"2\"'/>\n"
      "</BlackList>\n";
  ASSERT_TRUE(WriteWholeFile(fs_, path_, original));
  EXPECT_TRUE(AddEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "n\xE9w@x.example"));

  TiXmlDocument expected;
  expected.Parse(original.c_str(), nullptr, TIXML_ENCODING_LEGACY);
  ASSERT_FALSE(expected.Error());
  TiXmlElement entry("MailID");
  entry.SetAttribute("Name", "n\xE9w@x.example");
  expected.RootElement()->InsertEndChild(entry);
  ASSERT_TRUE(expected.SaveFile(dir_ + "/expected.xml"));
  EXPECT_EQ(Read(path_), Read(dir_ + "/expected.xml"));

  EXPECT_TRUE(
      ContainsEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "N\xE9W@X.example"));
  RemoveEntry(fs_, settings_, ListId::Blacklist, EntryKind::Address, "a@x.example");
  Entries addresses, domains;
  ASSERT_TRUE(LoadBlacklist(fs_, settings_, &addresses, &domains));
  EXPECT_EQ(addresses, (Entries{"n\xE9w@x.example"}));
  EXPECT_EQ(domains, (Entries{"d.example"}));

  std::remove(path_.c_str());  // a missing file is never created
  EXPECT_FALSE(AddEntry(fs_, settings_, ListId::Blacklist, EntryKind::Domain, "x.example"));
  EXPECT_FALSE(fs_.FileExists(path_));
}

}  // namespace
}  // namespace tarvex
