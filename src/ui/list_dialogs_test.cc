#include "ui/list_dialogs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "settings/settings_store.h"
#include "ui/scripted_ui.h"

namespace tarvex {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using L = ListDialog;
using Entries = std::vector<std::string>;

// The type box sorts its rows.
constexpr int kDomainRow = 0;
constexpr int kAddressRow = 1;
constexpr ListId kBlack = ListId::Blacklist, kWhite = ListId::Whitelist;
constexpr char kBlackPath[] = "C:\\Tarvex\\BlackList.xml";
constexpr char kWhitePath[] = "C:\\Tarvex\\WhiteList.xml";

// Layouts

void ExpectControl(const DialogTemplate& t, size_t index, int id, ControlKind kind,
                   const std::string& text, int x, int y, int width, int height,
                   uint32_t style = 0) {
  SCOPED_TRACE(t.caption + ", control " + std::to_string(id));
  ASSERT_LT(index, t.controls.size());
  const ControlTemplate& c = t.controls[index];
  EXPECT_EQ(c.id, id);
  EXPECT_EQ(c.kind, kind);
  EXPECT_EQ(c.text, text);
  EXPECT_EQ(std::vector<int>({c.x, c.y, c.width, c.height}),
            std::vector<int>({x, y, width, height}));
  EXPECT_EQ(c.style, style);
}

// Both layouts: the blacklist's places, or the whitelist's one unit higher.
void ExpectLayout(const DialogTemplate& t, int resourceId, const std::string& caption, int height,
                  int listY, int removeY) {
  using K = ControlKind;
  EXPECT_EQ(t.resourceId, resourceId);
  EXPECT_EQ(t.caption, caption);
  EXPECT_EQ(t.width, 282);
  EXPECT_EQ(t.height, height);
  EXPECT_EQ(t.font, "MS Sans Serif");
  EXPECT_EQ(t.pointSize, 8);
  ASSERT_EQ(t.controls.size(), 12u);
  ExpectControl(t, 0, L::kBanner, K::kBitmap, "banner", 7, 7, 268, 44);
  ExpectControl(t, 1, L::kFrame, K::kGroupBox, "", 7, 53, 268, 93);
  ExpectControl(t, 2, L::kTypeLabel, K::kStatic, "Type", 15, 65, 17, 8);
  ExpectControl(t, 3, L::kTypeBox, K::kComboBox, "", 37, 62, 100, 84, ctl::kSorted | ctl::kVScroll);
  ExpectControl(t, 4, L::kSeparator, K::kStatic, "", 17, 81, 248, 1, ctl::kEtchedLine);
  ExpectControl(t, 5, L::kNameLabel, K::kStatic, "Mail Address / Domain", 18, 95, 72, 8);
  ExpectControl(t, 6, L::kItemName, K::kEdit, "", 104, 92, 159, 14, ctl::kAutoHScroll);
  ExpectControl(t, 7, kIdOk, K::kDefaultButton, "Add To List", 63, 126, 50, 14);
  ExpectControl(t, 8, kIdCancel, K::kButton, "Close", 167, 126, 50, 14);
  ExpectControl(t, 9, L::kAddedLabel, K::kStatic, "Added Items", 7, 149, 40, 8);
  ExpectControl(t, 10, L::kEntryList, K::kListView, "", 7, listY, 268, 121,
                ctl::kReportView | ctl::kBorder | ctl::kFullRowSelect);
  ExpectControl(t, 11, L::kRemove, K::kButton, "Remove Selected", 201, removeY, 74, 14);
}

TEST(ListDialogLayoutTest, TemplatesCarryTheTextsAndPlacesOfBothDialogs) {
  ExpectLayout(BlacklistDialog::Layout(), 220, "Manage Blacklist Items", 305, 159, 284);
  ExpectLayout(WhitelistDialog::Layout(), 221, "Manage Whitelist Items", 302, 158, 283);
  MemoryFileSystem fs;
  MemorySettingsStore store;
  FilterSettings settings(store);
  EXPECT_EQ(&BlacklistDialog(fs, settings).Template(), &BlacklistDialog::Layout());
  EXPECT_EQ(&WhitelistDialog(fs, settings).Template(), &WhitelistDialog::Layout());
}

// Flows

class ListDialogTest : public ::testing::Test {
 protected:
  ListDialogTest() {
    WriteStringValue(store, "BlackListPath", kBlackPath);
    WriteStringValue(store, "WhiteListPath", kWhitePath);
    fs.files()[kBlackPath] =
        "<BlackList><MailID Name=\"spam@x.example\" /><Domain Name=\"junk.example\" />"
        "<MailID Name=\"bulk@y.example\" /><MailID Name=\"ads@z.example\" /></BlackList>";
    fs.files()[kWhitePath] =
        "<WhiteList><MailID Name=\"boss@work.example\" /><Domain Name=\"pals.example\" />"
        "</WhiteList>";
    Load(kBlack, &black.addresses, &black.domains);
    Load(kWhite, &white.addresses, &white.domains);
  }

  void Load(ListId list, Entries* addresses, Entries* domains) {
    EXPECT_TRUE((list == kBlack ? LoadBlacklist : LoadWhitelist)(fs, settings, addresses, domains));
  }
  // What the list's file holds now: its addresses, then its domains.
  std::pair<Entries, Entries> InFile(ListId list) {
    std::pair<Entries, Entries> entries;
    Load(list, &entries.first, &entries.second);
    return entries;
  }
  void Play(ListDialog& dialog, DialogScript script) {
    ui.QueueScript(std::move(script));
    ui.RunModal(dialog);
  }

  MemoryFileSystem fs;
  MemorySettingsStore store;
  FilterSettings settings{store};
  ScriptedUi ui;
  BlacklistDialog black{fs, settings};
  WhitelistDialog white{fs, settings};
};

TEST_F(ListDialogTest, OpensWithNoTypeAndChecksTypeThenName) {
  Play(black, [](DialogDriver& d) {
    EXPECT_TRUE(d.topmost());
    EXPECT_THAT(d.Rows(L::kTypeBox), ElementsAre("Domain Name", "EMail Address"));
    EXPECT_EQ(d.Selection(L::kTypeBox), -1);
    EXPECT_THAT(d.Rows(L::kEntryList), IsEmpty());
    d.Type(L::kItemName, "new@x.example");
    d.PressEnter();
    EXPECT_EQ(d.focus(), L::kTypeBox);
    d.Click(L::kRemove);  // no type: not even a message
    d.Select(L::kTypeBox, kAddressRow);
    d.Type(L::kItemName, "");
    d.Click(kIdOk);
    EXPECT_EQ(d.focus(), L::kItemName);
    d.Click(L::kClose);
  });
  const ScriptedUi::Shown& shown = ui.Dialogs()[0];
  EXPECT_EQ(shown.result, kIdCancel);
  ASSERT_EQ(shown.view->Columns(L::kEntryList).size(), 1u);
  EXPECT_EQ(shown.view->Columns(L::kEntryList)[0].title, "Item Name");
  EXPECT_EQ(shown.view->Columns(L::kEntryList)[0].widthPixels, 200);
  EXPECT_TRUE(shown.view->HasCheckBoxes(L::kEntryList));
  EXPECT_THAT(ui.MessageBoxTexts(),
              ElementsAre("Please Select an Item Type", "Please Enter an Item Name"));
  for (const ScriptedUi::Shown& box : ui.MessageBoxes()) {
    EXPECT_EQ(box.caption, "Tarvex");
    EXPECT_EQ(box.style, mb::kOk);
    EXPECT_EQ(box.owner, 0);
  }
  EXPECT_FALSE(black.modified);
  EXPECT_EQ(fs.commits(), 0);
}

TEST_F(ListDialogTest, DuplicatesInAnyCaseAreRefusedWithTheWordingOfKindAndList) {
  auto tryAdd = [](DialogDriver& d, int typeRow, const std::string& name) {
    d.Select(L::kTypeBox, typeRow);
    d.Type(L::kItemName, name);
    d.Click(kIdOk);
    EXPECT_EQ(d.Text(L::kItemName), name);  // kept for correcting
    EXPECT_EQ(d.focus(), L::kItemName);
  };
  Play(black, [&](DialogDriver& d) {
    tryAdd(d, kAddressRow, "SPAM@X.Example");
    tryAdd(d, kDomainRow, "JUNK.example");
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("junk.example"));
  });
  Play(white, [&](DialogDriver& d) {
    tryAdd(d, kAddressRow, "Boss@Work.Example");
    tryAdd(d, kDomainRow, "PALS.EXAMPLE");
  });
  EXPECT_THAT(ui.MessageBoxTexts(), ElementsAre("This MailId Already Exists in BlackList",
                                                "This Domain Already Exists in BlackList",
                                                "This MailId Already Exists in WhiteList",
                                                "This Domain Already Exists in WhiteList"));
  EXPECT_FALSE(black.modified || white.modified);
  EXPECT_EQ(fs.commits(), 0);
}

TEST_F(ListDialogTest, DuplicatesAreLookedForInTheFileAmongTheKindOnly) {
  black.addresses = {"memory@x.example"};
  Play(black, [](DialogDriver& d) {
    d.Select(L::kTypeBox, kAddressRow);
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("memory@x.example"));
    for (const char* name : {"bulk@y.example", "memory@x.example"}) {
      d.Type(L::kItemName, name);
      d.Click(kIdOk);
    }
    d.Select(L::kTypeBox, kDomainRow);
    d.Type(L::kItemName, "spam@x.example");  // an address entry, not a domain one
    d.Click(kIdOk);
  });
  EXPECT_THAT(ui.MessageBoxTexts(),
              ElementsAre("This MailId Already Exists in BlackList", "Item Added To Blacklist",
                          "Item Added To Blacklist"));
  EXPECT_EQ(InFile(kBlack), std::make_pair(Entries{"spam@x.example", "bulk@y.example",
                                                   "ads@z.example", "memory@x.example"},
                                           Entries{"junk.example", "spam@x.example"}));
}

TEST_F(ListDialogTest, AddingWritesTheFileAndAppendsTheRow) {
  Play(black, [](DialogDriver& d) {
    d.Select(L::kTypeBox, kAddressRow);
    for (const char* name : {"aaa@x.example", "  "}) {  // blanks make a name
      d.Type(L::kItemName, name);
      d.Click(kIdOk);
      EXPECT_EQ(d.Text(L::kItemName), "");
    }
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("spam@x.example", "bulk@y.example",
                                                   "ads@z.example", "aaa@x.example", "  "));
  });
  EXPECT_TRUE(black.modified);
  EXPECT_THAT(black.addresses, ElementsAre("spam@x.example", "bulk@y.example", "ads@z.example",
                                           "aaa@x.example", "  "));
  EXPECT_THAT(InFile(kBlack).first, ElementsAre("spam@x.example", "bulk@y.example", "ads@z.example",
                                                "aaa@x.example", "  "));

  const std::string blackFile = fs.files()[kBlackPath];
  Play(white, [](DialogDriver& d) {
    d.Select(L::kTypeBox, kDomainRow);
    d.Type(L::kItemName, "kin.example");
    d.PressEnter();
  });
  EXPECT_THAT(InFile(kWhite).second, ElementsAre("pals.example", "kin.example"));
  EXPECT_EQ(fs.files()[kBlackPath], blackFile);
  EXPECT_THAT(
      ui.MessageBoxTexts(),
      ElementsAre("Item Added To Blacklist", "Item Added To Blacklist", "Item Added To Whitelist"));
}

TEST_F(ListDialogTest, UnchangedUpdateIsRefusedUntilTheTypeChanges) {
  Play(black, [this](DialogDriver& d) {
    d.Select(L::kTypeBox, kAddressRow);
    d.DoubleClick(L::kEntryList, 1);
    EXPECT_EQ(d.Text(L::kItemName), "bulk@y.example");
    EXPECT_EQ(d.Text(kIdOk), "Update");
    for (const char* name : {"bulk@y.example", "BULK@y.example", "spam@x.example"}) {
      d.Type(L::kItemName, name);
      d.Click(kIdOk);
      EXPECT_TRUE(black.updating);
      EXPECT_EQ(black.updateIndex, 1);
      EXPECT_EQ(d.Text(kIdOk), "Update");
    }
    d.Select(L::kTypeBox, kDomainRow);
    EXPECT_FALSE(black.updating);
    EXPECT_EQ(black.updateIndex, -1);
    EXPECT_EQ(d.Text(kIdOk), "Add To List");
    EXPECT_EQ(d.Text(L::kItemName), "");
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("junk.example"));
  });
  EXPECT_THAT(ui.MessageBoxTexts(), ElementsAre("This MailId Already Exists in BlackList",
                                                "This MailId Already Exists in BlackList",
                                                "This MailId Already Exists in BlackList"));
  EXPECT_FALSE(black.modified);
  EXPECT_EQ(fs.commits(), 0);
}

TEST_F(ListDialogTest, UpdateRenamesTheFirstMatchingEntryThenAddsAgain) {
  fs.files()[kBlackPath] =
      "<BlackList><MailID Name=\"dup@x.example\" /><MailID Name=\"b@x.example\" />"
      "<MailID Name=\"DUP@X.EXAMPLE\" /></BlackList>";
  black.addresses = {"dup@x.example", "b@x.example", "DUP@X.EXAMPLE"};
  Play(black, [this](DialogDriver& d) {
    d.Select(L::kTypeBox, kAddressRow);
    d.DoubleClick(L::kEntryList, 2);
    EXPECT_EQ(black.updateIndex, 2);
    d.Type(L::kItemName, "new@x.example");
    d.Click(kIdOk);
    EXPECT_EQ(d.Text(kIdOk), "Add to List");
    EXPECT_EQ(d.Text(L::kItemName), "");
    EXPECT_FALSE(black.updating);
    EXPECT_EQ(black.updateIndex, -1);
    EXPECT_THAT(d.Rows(L::kEntryList),
                ElementsAre("dup@x.example", "b@x.example", "new@x.example"));
    d.Type(L::kItemName, "c@x.example");
    d.Click(kIdOk);
    EXPECT_EQ(d.RowCount(L::kEntryList), 4);
  });
  EXPECT_TRUE(black.modified);
  EXPECT_THAT(black.addresses,
              ElementsAre("dup@x.example", "b@x.example", "new@x.example", "c@x.example"));
  EXPECT_THAT(InFile(kBlack).first,
              ElementsAre("new@x.example", "b@x.example", "DUP@X.EXAMPLE", "c@x.example"));

  Play(white, [](DialogDriver& d) {
    d.Select(L::kTypeBox, kDomainRow);
    d.DoubleClick(L::kEntryList, 0);
    d.Type(L::kItemName, "kin.example");
    d.Click(kIdOk);
  });
  EXPECT_THAT(InFile(kWhite).second, ElementsAre("kin.example"));
  EXPECT_THAT(ui.MessageBoxTexts(),
              ElementsAre("Item Updated in Blacklist", "Item Added To Blacklist",
                          "Item Updated in Whitelist"));
}

TEST_F(ListDialogTest, EachTypeShowsItsOwnEntriesIncludingThoseAddedNow) {
  Play(black, [](DialogDriver& d) {
    d.Select(L::kTypeBox, kDomainRow);
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("junk.example"));
    d.Type(L::kItemName, "new.example");
    d.Click(kIdOk);
    d.Select(L::kTypeBox, kAddressRow);
    EXPECT_THAT(d.Rows(L::kEntryList),
                ElementsAre("spam@x.example", "bulk@y.example", "ads@z.example"));
    d.Select(L::kTypeBox, kDomainRow);
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("junk.example", "new.example"));
    d.Select(L::kTypeBox, -1);  // no type: the rows stay
    EXPECT_EQ(d.RowCount(L::kEntryList), 2);
  });
}

TEST_F(ListDialogTest, RemoveTakesOnlyTheTickedRowsOfTheShownKind) {
  fs.files()[kBlackPath] =
      "<BlackList><MailID Name=\"a@x.example\" /><MailID Name=\"b@x.example\" />"
      "<Domain Name=\"b@x.example\" /><MailID Name=\"c@x.example\" /></BlackList>";
  black.addresses = {"a@x.example", "b@x.example", "c@x.example"};
  Play(black, [this](DialogDriver& d) {
    d.Select(L::kTypeBox, kAddressRow);
    d.TickRow(L::kEntryList, 1, true);
    d.Click(L::kRemove);
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("a@x.example", "c@x.example"));
    EXPECT_EQ(InFile(kBlack),
              std::make_pair(Entries{"a@x.example", "c@x.example"}, Entries{"b@x.example"}));
    d.Type(L::kItemName, "d@x.example");
    d.Click(kIdOk);
    d.TickRow(L::kEntryList, 0, true);  // two neighbours
    d.TickRow(L::kEntryList, 1, true);
    d.Click(L::kRemove);
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("d@x.example"));
  });
  EXPECT_TRUE(black.modified);
  EXPECT_EQ(InFile(kBlack), std::make_pair(Entries{"d@x.example"}, Entries{"b@x.example"}));
  EXPECT_THAT(black.addresses, ElementsAre("d@x.example"));
  EXPECT_THAT(black.domains, ElementsAre("b@x.example"));
  EXPECT_THAT(ui.MessageBoxTexts(),
              ElementsAre("Item(s) Removed Successfully", "Item Added To Blacklist",
                          "Item(s) Removed Successfully"));
}

TEST_F(ListDialogTest, RemoveWithNothingTickedReportsAndReloadsTheArrays) {
  black.addresses = {"memory@x.example"};
  black.domains.clear();
  Play(black, [](DialogDriver& d) {
    d.Select(L::kTypeBox, kDomainRow);
    d.Click(L::kRemove);  // an empty list
    d.Select(L::kTypeBox, kAddressRow);
    EXPECT_THAT(d.Rows(L::kEntryList),
                ElementsAre("spam@x.example", "bulk@y.example", "ads@z.example"));
    d.Click(L::kRemove);
    EXPECT_EQ(d.RowCount(L::kEntryList), 3);
  });
  EXPECT_THAT(black.addresses, ElementsAre("spam@x.example", "bulk@y.example", "ads@z.example"));
  EXPECT_THAT(black.domains, ElementsAre("junk.example"));
  EXPECT_THAT(ui.MessageBoxTexts(),
              ElementsAre("Item(s) Removed Successfully", "Item(s) Removed Successfully"));
  EXPECT_FALSE(black.modified);
  EXPECT_EQ(fs.commits(), 0);
}

TEST_F(ListDialogTest, UpdatingARowThatWasRemovedMeanwhileTouchesNoOtherEntry) {
  Play(black, [this](DialogDriver& d) {
    d.Select(L::kTypeBox, kAddressRow);
    d.DoubleClick(L::kEntryList, 2);
    d.TickRow(L::kEntryList, 0, true);
    d.Click(L::kRemove);  // update mode survives; row 2 is gone
    d.Type(L::kItemName, "new@x.example");
    d.Click(kIdOk);
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("bulk@y.example", "ads@z.example"));
    EXPECT_THAT(black.addresses, ElementsAre("bulk@y.example", "ads@z.example"));
  });
  EXPECT_THAT(InFile(kBlack).first, ElementsAre("bulk@y.example", "ads@z.example"));
}

TEST_F(ListDialogTest, OpenerReloadsItsArraysOnlyAfterAChange) {
  Entries addresses = {"memory@x.example"}, domains = {"memory.example"};
  ui.QueueScript("Manage Blacklist Items", [](DialogDriver& d) {
    d.Select(L::kTypeBox, kAddressRow);
    EXPECT_THAT(d.Rows(L::kEntryList), ElementsAre("memory@x.example"));
    d.Type(L::kItemName, "SPAM@x.example");
    d.Click(kIdOk);  // refused: nothing changes
  });
  OpenListDialog(ui, fs, settings, kBlack, addresses, domains);
  EXPECT_THAT(addresses, ElementsAre("memory@x.example"));
  EXPECT_THAT(domains, ElementsAre("memory.example"));

  ui.QueueScript("Manage Whitelist Items", [](DialogDriver& d) {
    d.Select(L::kTypeBox, kAddressRow);
    d.Type(L::kItemName, "new@work.example");
    d.Click(kIdOk);
  });
  OpenListDialog(ui, fs, settings, kWhite, addresses, domains);
  EXPECT_THAT(addresses, ElementsAre("boss@work.example", "new@work.example"));
  EXPECT_THAT(domains, ElementsAre("pals.example"));
  EXPECT_EQ(ui.pendingScripts(), 0u);
}

TEST_F(ListDialogTest, UnreadableFileTakesNothingThoughTheDialogReportsSuccess) {
  const std::string before = fs.files()[kBlackPath];
  fs.FailReads(kBlackPath);
  Entries addresses = black.addresses, domains = black.domains;
  ui.QueueScript([](DialogDriver& d) {
    auto& dialog = static_cast<ListDialog&>(d.presenter());
    d.Select(L::kTypeBox, kAddressRow);
    d.Type(L::kItemName, "spam@x.example");  // no file to find it in
    d.Click(kIdOk);
    d.DoubleClick(L::kEntryList, 0);
    d.Type(L::kItemName, "renamed@x.example");
    d.Click(kIdOk);
    EXPECT_EQ(dialog.addresses.size(), 4u);
    d.TickRow(L::kEntryList, 3, true);
    d.Click(L::kRemove);
    EXPECT_THAT(dialog.addresses, IsEmpty());
    EXPECT_THAT(dialog.domains, IsEmpty());
    EXPECT_THAT(d.Rows(L::kEntryList),
                ElementsAre("renamed@x.example", "bulk@y.example", "ads@z.example"));
  });
  OpenListDialog(ui, fs, settings, kBlack, addresses, domains);
  EXPECT_THAT(ui.MessageBoxTexts(),
              ElementsAre("Item Added To Blacklist", "Item Updated in Blacklist",
                          "Item(s) Removed Successfully"));
  EXPECT_EQ(fs.files()[kBlackPath], before);
  EXPECT_EQ(fs.commits(), 0);
  EXPECT_THAT(addresses, IsEmpty());
  EXPECT_THAT(domains, IsEmpty());
}

}  // namespace
}  // namespace tarvex
