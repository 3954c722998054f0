#include "lists/list_operations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "settings/settings_store.h"

namespace tarvex {
namespace {

using Entries = std::vector<std::string>;
using Outcome = ListEdit::Outcome;
constexpr EntryKind kAddress = EntryKind::Address, kDomain = EntryKind::Domain;

class ListOperationsTest : public ::testing::TestWithParam<ListId> {
 protected:
  ListOperationsTest() {
    WriteStringValue(store_, "BlackListPath", "black.xml");
    WriteStringValue(store_, "WhiteListPath", "white.xml");
    fs_.files()["black.xml"] = "<BlackList />";
    fs_.files()["white.xml"] = "<WhiteList />";
  }

  ListId list() const { return GetParam(); }
  // The list's name as its dialog's words spell it.
  std::string Named(const char* black, const char* white) const {
    return list() == ListId::Whitelist ? white : black;
  }
  ListEdit Add(EntryKind kind, const std::string& name) {
    return AddListEntry(fs_, settings_, list(), kind, name);
  }
  ListEdit Rename(EntryKind kind, const std::string& from, const std::string& to) {
    return RenameListEntry(fs_, settings_, list(), kind, from, to);
  }
  ListEdit Remove(EntryKind kind, const std::string& name) {
    return RemoveListEntry(fs_, settings_, list(), kind, name);
  }
  Entries Of(EntryKind kind) { return ListEntries(fs_, settings_, list(), kind); }

  MemoryFileSystem fs_;
  MemorySettingsStore store_;
  FilterSettings settings_{store_};
};

void ExpectEdit(const ListEdit& edit, Outcome outcome, const std::string& message) {
  EXPECT_EQ(edit.outcome, outcome) << edit.message;
  EXPECT_EQ(edit.ok(), outcome == Outcome::kDone);
  EXPECT_EQ(edit.message, message);
}

TEST_P(ListOperationsTest, EditsAreCheckedAgainstTheFileAndSayWhatTheDialogSays) {
  ExpectEdit(Add(kAddress, "a@b.example"), Outcome::kDone,
             Named("Item Added To Blacklist", "Item Added To Whitelist"));
  ExpectEdit(Add(kDomain, "spam.example"), Outcome::kDone,
             Named("Item Added To Blacklist", "Item Added To Whitelist"));
  const std::string sameAddress =
      Named("This MailId Already Exists in BlackList", "This MailId Already Exists in WhiteList");
  const std::string sameDomain =
      Named("This Domain Already Exists in BlackList", "This Domain Already Exists in WhiteList");
  const struct {
    ListEdit edit;
    Outcome outcome;
    std::string message;
  } refused[] = {
      {Add(kAddress, "A@B.EXAMPLE"), Outcome::kDuplicate, sameAddress},
      {Add(kDomain, "Spam.Example"), Outcome::kDuplicate, sameDomain},
      {Add(kAddress, ""), Outcome::kNoName, "Please Enter an Item Name"},
      {Rename(kAddress, "a@b.example", "a@b.example"), Outcome::kDuplicate, sameAddress},
      {Rename(kDomain, "spam.example", ""), Outcome::kNoName, "Please Enter an Item Name"},
      {Remove(kAddress, "spam.example"), Outcome::kNotFound, ""},  // the other kind
  };
  for (const auto& r : refused) ExpectEdit(r.edit, r.outcome, r.message);
  EXPECT_EQ(Of(kAddress), Entries{"a@b.example"});
  EXPECT_EQ(Of(kDomain), Entries{"spam.example"});

  // A name of the other kind is no duplicate; blanks are a name.
  EXPECT_TRUE(Add(kDomain, "a@b.example").ok());
  EXPECT_TRUE(Add(kAddress, " ").ok());
  ExpectEdit(Rename(kAddress, "A@b.example", "c@b.example"), Outcome::kDone,
             Named("Item Updated in Blacklist", "Item Updated in Whitelist"));
  ExpectEdit(Remove(kDomain, "SPAM.example"), Outcome::kDone, "Item(s) Removed Successfully");
  EXPECT_EQ(Of(kAddress), (Entries{"c@b.example", " "}));
  EXPECT_EQ(Of(kDomain), Entries{"a@b.example"});
}

TEST_P(ListOperationsTest, AnUnreadableFileListsNothingTakesNothingAndReloadsAsEmpty) {
  fs_.files()["black.xml"] = fs_.files()["white.xml"] = "<Broken";
  Entries addresses{"stale"}, domains{"stale"};
  EXPECT_TRUE(Add(kAddress, "a@b.example").ok());  // as the dialog has always said
  EXPECT_EQ(Of(kAddress), Entries{});
  ExpectEdit(Remove(kAddress, "a@b.example"), Outcome::kNotFound, "");
  ReloadList(fs_, settings_, list(), &addresses, &domains);
  EXPECT_EQ(addresses, Entries{});
  EXPECT_EQ(domains, Entries{});
  fs_.files()[list() == ListId::Whitelist ? "white.xml" : "black.xml"] =
      "<L><Domain Name=\"d\"/><MailID Name=\"m\"/></L>";
  ReloadList(fs_, settings_, list(), &addresses, &domains);
  EXPECT_EQ(addresses, Entries{"m"});
  EXPECT_EQ(domains, Entries{"d"});
}

INSTANTIATE_TEST_SUITE_P(BothLists, ListOperationsTest,
                         ::testing::Values(ListId::Blacklist, ListId::Whitelist));

}  // namespace
}  // namespace tarvex
