#include "ui/list_dialogs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "settings/settings_store.h"
#include "testing/dialog_layout.h"
#include "testing/dialog_operations.h"
#include "testing/scripted_ui.h"

namespace tarvex {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using L = ListDialog;
using Entries = std::vector<std::string>;

// The type box sorts its rows.
constexpr int kDomainRow = 0, kAddressRow = 1;
constexpr ListId kBlack = ListId::Blacklist, kWhite = ListId::Whitelist;
constexpr char kBlackPath[] = "C:\\Tarvex\\BlackList.xml";
constexpr char kWhitePath[] = "C:\\Tarvex\\WhiteList.xml";

// The two layouts differ in caption and height and in the place of their two
// lowest controls.
TEST(ListDialogLayoutTest, TemplatesHoldEveryControlWithItsTextPlaceAndStyle) {
  const auto layout = [](const std::string& head, const std::string& list,
                         const std::string& remove) {
    return std::vector<std::string>{
        head,
        "bitmap \"banner\" 7,7 268x44",
        "group \"\" 7,53 268x93",
        "static \"Type\" 15,65 17x8",
        "combo \"\" 37,62 100x84 vscroll sorted",
        "static \"\" 17,81 248x1 etched",
        "static \"Mail Address / Domain\" 18,95 72x8",
        "edit \"\" 104,92 159x14 autohscroll",
        "default \"Add To List\" 63,126 50x14 ok",
        "button \"Close\" 167,126 50x14 cancel",
        "static \"Added Items\" 7,149 40x8",
        "listview \"\" " + list + " 268x121 border report fullrow single nosortheader",
        "button \"Remove Selected\" " + remove + " 74x14"};
  };
  EXPECT_EQ(testing::LayoutLines(BlacklistDialog::Layout()),
            layout("220 \"Manage Blacklist Items\" 282x305 MS Sans Serif 8", "7,159", "201,284"));
  EXPECT_EQ(testing::LayoutLines(WhitelistDialog::Layout()),
            layout("221 \"Manage Whitelist Items\" 282x302 MS Sans Serif 8", "7,158", "201,283"));
}

class ListDialogTest : public ::testing::Test {
 protected:
  ListDialogTest() {
    WriteStringValue(store, "BlackListPath", kBlackPath);
    WriteStringValue(store, "WhiteListPath", kWhitePath);
    fs.files()[kBlackPath] =
        "<BlackList><MailID Name=\"spam@x.example\" /><Domain Name=\"junk.example\" />"
        "<MailID Name=\"bulk@y.example\" /><MailID Name=\"SPAM@X.EXAMPLE\" /></BlackList>";
    fs.files()[kWhitePath] =
        "<WhiteList><MailID Name=\"boss@work.example\" /><Domain Name=\"pals.example\" />"
        "</WhiteList>";
    std::tie(black.addresses, black.domains) = InFile(kBlack);
    std::tie(white.addresses, white.domains) = InFile(kWhite);
  }

  // What the list's file holds now: its addresses, then its domains.
  std::pair<Entries, Entries> InFile(ListId list) {
    std::pair<Entries, Entries> in;
    EXPECT_TRUE(
        (list == kBlack ? LoadBlacklist : LoadWhitelist)(fs, settings, &in.first, &in.second));
    return in;
  }
  void Play(ListDialog& dialog, DialogScript script) {
    ui.QueueScript(std::move(script));
    ui.RunModal(dialog);
  }
  static void Enter(DialogDriver& d, int typeRow, const std::string& name) {
    d.Select(L::kTypeBox, typeRow);
    d.Type(L::kItemName, name);
    d.Click(kIdOk);
  }

  MemoryFileSystem fs;
  MemorySettingsStore store;
  FilterSettings settings{store};
  ScriptedUi ui;
  testing::DialogOperations ops{fs, store, ui};
  BlacklistDialog black{ops};
  WhitelistDialog white{ops};
};

TEST_F(ListDialogTest, OkChecksTypeThenNameThenDuplicatesOfTheKindInTheFileIgnoringCase) {
  black.addresses.push_back("memory@x.example");  // only in the dialog's arrays
  Play(black, [](DialogDriver& d) {
    EXPECT_TRUE(d.topmost());
    EXPECT_EQ(d.view().Columns(L::kEntryList).at(0).title, "Item Name");
    EXPECT_TRUE(d.view().HasCheckBoxes(L::kEntryList));
    EXPECT_THAT(d.Rows(L::kTypeBox), ElementsAre("Domain Name", "EMail Address"));
    EXPECT_EQ(d.Selection(L::kTypeBox), -1);
    d.PressEnter();
    EXPECT_EQ(d.focus(), L::kTypeBox);
    d.Click(L::kRemove);  // no type: not even a message
    Enter(d, kAddressRow, "");
    EXPECT_EQ(d.focus(), L::kItemName);
    Enter(d, kAddressRow, "Bulk@Y.example");
    EXPECT_EQ(d.Text(L::kItemName), "Bulk@Y.example");  // kept for correcting
    EXPECT_EQ(d.focus(), L::kItemName);
    Enter(d, kDomainRow, "JUNK.example");
    Enter(d, kDomainRow, "spam@x.example");  // an address entry, not a domain one
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("junk.example", "spam@x.example"));
    Enter(d, kAddressRow, "memory@x.example");
    Enter(d, kAddressRow, "  ");  // blanks make a name
    EXPECT_EQ(d.Text(L::kItemName), "");
    EXPECT_THAT(d.Rows(L::kEntryList),
                ElementsAre("spam@x.example", "bulk@y.example", "SPAM@X.EXAMPLE",
                            "memory@x.example", "memory@x.example", "  "));
  });
  Play(white, [](DialogDriver& d) {
    Enter(d, kAddressRow, "Boss@Work.Example");
    Enter(d, kDomainRow, "PALS.EXAMPLE");
    d.DoubleClick(L::kEntryList, 0);
    d.Type(L::kItemName, "kin.example");
    d.Click(kIdOk);
  });
  EXPECT_THAT(ui.MessageBoxTexts(),
              ElementsAre("Please Select an Item Type", "Please Enter an Item Name",
                          "This MailId Already Exists in BlackList",
                          "This Domain Already Exists in BlackList", "Item Added To Blacklist",
                          "Item Added To Blacklist", "Item Added To Blacklist",
                          "This MailId Already Exists in WhiteList",
                          "This Domain Already Exists in WhiteList", "Item Updated in Whitelist"));
  EXPECT_EQ(ui.log()[1].caption, "Tarvex");
  EXPECT_EQ(ui.log()[1].style, mb::kOk);
  EXPECT_TRUE(black.modified);
  EXPECT_EQ(InFile(kWhite).second, Entries{"kin.example"});
  EXPECT_THAT(black.domains, ElementsAre("junk.example", "spam@x.example"));
  EXPECT_EQ(InFile(kBlack), std::make_pair(Entries{"spam@x.example", "bulk@y.example",
                                                   "SPAM@X.EXAMPLE", "memory@x.example", "  "},
                                           Entries{"junk.example", "spam@x.example"}));
}

TEST_F(ListDialogTest, UpdateRenamesTheFirstMatchingEntryAndStaysInUpdateModeWhenRefused) {
  Play(black, [this](DialogDriver& d) {
    d.Select(L::kTypeBox, kAddressRow);
    d.DoubleClick(L::kEntryList, 2);
    EXPECT_EQ(d.Text(L::kItemName), "SPAM@X.EXAMPLE");
    EXPECT_EQ(d.Text(kIdOk), "Update");
    for (const char* name : {"SPAM@X.EXAMPLE", "spam@x.example", "BULK@y.example"}) {
      d.Type(L::kItemName, name);
      d.Click(kIdOk);
      EXPECT_EQ(black.updateIndex, 2);
      EXPECT_EQ(d.Text(kIdOk), "Update");
    }
    d.Type(L::kItemName, "new@x.example");
    d.Click(kIdOk);
    EXPECT_EQ(d.Text(kIdOk), "Add to List");  // so spelt after an update
    EXPECT_EQ(d.Text(L::kItemName), "");
    EXPECT_THAT(d.Rows(L::kEntryList),
                ElementsAre("spam@x.example", "bulk@y.example", "new@x.example"));
    Enter(d, kAddressRow, "c@x.example");
    d.DoubleClick(L::kEntryList, 0);
    d.Select(L::kTypeBox, kDomainRow);  // a new type leaves update mode
    EXPECT_EQ(black.updateIndex, -1);
    EXPECT_EQ(d.Text(kIdOk), "Add To List");
    EXPECT_EQ(d.Text(L::kItemName), "");
  });
  EXPECT_THAT(black.addresses,
              ElementsAre("spam@x.example", "bulk@y.example", "new@x.example", "c@x.example"));
  EXPECT_THAT(InFile(kBlack).first,
              ElementsAre("new@x.example", "bulk@y.example", "SPAM@X.EXAMPLE", "c@x.example"));
  Entries texts(3, "This MailId Already Exists in BlackList");
  texts.insert(texts.end(), {"Item Updated in Blacklist", "Item Added To Blacklist"});
  EXPECT_EQ(ui.MessageBoxTexts(), texts);
}

TEST_F(ListDialogTest, RemoveTakesOnlyTheTickedRowsOfTheShownKindAndReloadsTheArrays) {
  fs.files()[kBlackPath] =
      "<BlackList><MailID Name=\"a@x.example\" /><MailID Name=\"b@x.example\" />"
      "<Domain Name=\"b@x.example\" /><MailID Name=\"c@x.example\" /></BlackList>";
  black.addresses = {"memory@x.example"};
  Play(black, [this](DialogDriver& d) {
    d.Select(L::kTypeBox, kAddressRow);
    d.Click(L::kRemove);  // nothing ticked: reported all the same
    EXPECT_FALSE(black.modified);
    EXPECT_THAT(black.addresses, ElementsAre("a@x.example", "b@x.example", "c@x.example"));
    d.Select(L::kTypeBox, kAddressRow);  // shows the reloaded entries
    d.DoubleClick(L::kEntryList, 2);
    d.TickRow(L::kEntryList, 0, true);
    d.TickRow(L::kEntryList, 1, true);
    d.Click(L::kRemove);
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("c@x.example"));
    // Still in update mode, for a row that is gone: nothing else is renamed.
    d.Type(L::kItemName, "new@x.example");
    d.Click(kIdOk);
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("c@x.example"));
  });
  EXPECT_TRUE(black.modified);
  EXPECT_EQ(InFile(kBlack), std::make_pair(Entries{"c@x.example"}, Entries{"b@x.example"}));
  EXPECT_THAT(black.addresses, ElementsAre("c@x.example"));
  EXPECT_THAT(black.domains, ElementsAre("b@x.example"));
  EXPECT_THAT(ui.MessageBoxTexts(),
              ElementsAre("Item(s) Removed Successfully", "Item(s) Removed Successfully",
                          "Item Updated in Blacklist"));
}

TEST_F(ListDialogTest, OpenerReloadsItsArraysOnlyAfterAChange) {
  Entries addresses = {"memory@x.example"}, domains = {"memory.example"};
  ui.QueueScript("Manage Blacklist Items", [](DialogDriver& d) {
    Enter(d, kAddressRow, "BULK@y.example");  // refused: nothing changes
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("memory@x.example"));
  });
  OpenListDialog(ui, ops, kBlack, addresses, domains);
  EXPECT_THAT(addresses, ElementsAre("memory@x.example"));
  EXPECT_THAT(domains, ElementsAre("memory.example"));

  ui.QueueScript("Manage Whitelist Items",
                 [](DialogDriver& d) { Enter(d, kAddressRow, "new@work.example"); });
  OpenListDialog(ui, ops, kWhite, addresses, domains);
  EXPECT_THAT(addresses, ElementsAre("boss@work.example", "new@work.example"));
  EXPECT_THAT(domains, ElementsAre("pals.example"));

  // An unreadable file takes nothing, though the dialog reports success.
  const std::string before = fs.files()[kWhitePath];
  fs.FailReads(kWhitePath);
  ui.QueueScript([](DialogDriver& d) {
    Enter(d, kAddressRow, "boss@work.example");  // no file to find it in
    d.DoubleClick(L::kEntryList, 0);
    d.Type(L::kItemName, "renamed@work.example");
    d.Click(kIdOk);
  });
  OpenListDialog(ui, ops, kWhite, addresses, domains);
  EXPECT_EQ(fs.files()[kWhitePath], before);
  EXPECT_THAT(addresses, IsEmpty());
  EXPECT_THAT(domains, IsEmpty());
  EXPECT_THAT(ui.MessageBoxTexts(),
              ElementsAre("This MailId Already Exists in BlackList", "Item Added To Whitelist",
                          "Item Added To Whitelist", "Item Updated in Whitelist"));
}

}  // namespace
}  // namespace tarvex
