#include "host/folder_lookup.h"

#include <gtest/gtest.h>

#include "host/memory/memory_host.h"

namespace tarvex {
namespace {

using Names = std::vector<std::string>;

const Names kStandardNames = {"Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts"};

// A folder manager whose walk fails at a chosen GetNextFolder call and is
// otherwise the memory host's.
class FailingWalkManager : public HostFolderManager {
 public:
  FailingWalkManager(HostRef<HostFolderManager> inner, int failing_call, HostStatus failure)
      : inner_(std::move(inner)), failing_call_(failing_call), failure_(failure) {}

 protected:
  HostStatus DoGetInboxFolder(HostRef<HostFolder>* folder) override {
    *folder = inner_->GetInboxFolder();
    return status::kOk;
  }
  HostStatus DoGetFirstFolder(HostRef<HostFolder>* folder) override {
    *folder = inner_->GetFirstFolder();
    return status::kOk;
  }
  HostStatus DoGetNextFolder(HostRef<HostFolder>* folder) override {
    if (++calls_ == failing_call_) return failure_;
    *folder = inner_->GetNextFolder();
    return status::kOk;
  }
  HostStatus DoGetFolder(int32_t id, HostRef<HostFolder>* folder) override {
    *folder = inner_->GetFolder(id);
    return status::kOk;
  }
  HostStatus DoMoveMessage(int32_t, int32_t, int32_t, int32_t*) override {
    return status::kNotImplemented;
  }

 private:
  HostRef<HostFolderManager> inner_;
  int failing_call_;
  HostStatus failure_;
  int calls_ = 0;
};

class FolderLookupTest : public ::testing::Test {
 protected:
  MemoryHost host;
  HostRef<HostFolderManager> manager = host.CreateFolderManager();
  RecordingUi ui;
};

TEST_F(FolderLookupTest, FindsAFolderByItsExactName) {
  auto inbox = FindFolderByName(*manager, "Inbox");
  ASSERT_NE(inbox, nullptr);
  EXPECT_EQ(inbox->GetId(), MemoryHost::kInboxId);
  EXPECT_EQ(FindFolderByName(*manager, "Local Folders")->GetId(), MemoryHost::kLocalFoldersId);
  EXPECT_EQ(FindFolderByName(*manager, "Drafts")->GetId(), MemoryHost::kDraftsId);
  EXPECT_EQ(FindFolderByName(*manager, "inbox"), nullptr);
  EXPECT_EQ(FindFolderByName(*manager, "INBOX"), nullptr);
  EXPECT_EQ(FindFolderByName(*manager, "Inbo"), nullptr);
  EXPECT_EQ(FindFolderByName(*manager, "Inbox "), nullptr);
  EXPECT_EQ(FindFolderByName(*manager, ""), nullptr);
}

TEST_F(FolderLookupTest, ComparesWindows1252NamesByteForByte) {
  const int32_t id = host.AddFolder(MemoryHost::kInboxId, "Ind\xC3\xA9sirable");
  EXPECT_EQ(FindFolderByName(*manager, "Ind\xE9sirable")->GetId(), id);
  EXPECT_EQ(FindFolderByName(*manager, "Ind\xC9sirable"), nullptr);  // É
  EXPECT_EQ(FindFolderByName(*manager, "Indesirable"), nullptr);
}

TEST_F(FolderLookupTest, TakesTheFirstOfTwoSameNamedFoldersInWalkOrder) {
  // Created first but visited last: the store's own "Junk" comes after every
  // standard folder, the Inbox's "Junk" right after the Inbox.
  const int32_t late = host.AddFolder(MemoryHost::kLocalFoldersId, "Junk");
  const int32_t early = host.AddFolder(MemoryHost::kInboxId, "Junk");
  ASSERT_LT(late, early);
  EXPECT_EQ(FindFolderByName(*manager, "Junk")->GetId(), early);
}

TEST_F(FolderLookupTest, FindLetsHostErrorsThrough) {
  host.FailNext("GetNextFolder", status::kAccessDenied, "locked");
  try {
    FindFolderByName(*manager, "Drafts");
    FAIL() << "the failing walk went unnoticed";
  } catch (const HostError& e) {
    EXPECT_EQ(e.code(), status::kAccessDenied);
    EXPECT_EQ(e.description(), "locked");
  }
  host.FailNext("GetName", status::kFail);
  EXPECT_THROW(FindFolderByName(*manager, "Drafts"), HostError);
}

TEST_F(FolderLookupTest, FindKeepsOnlyTheFolderItReturns) {
  auto drafts = FindFolderByName(*manager, "Drafts");
  EXPECT_EQ(host.LiveObjects(), 2);  // the manager and the result
  drafts.reset();
  FindFolderByName(*manager, "Nowhere");
  EXPECT_EQ(host.LiveObjects(), 1);
}

TEST_F(FolderLookupTest, ListSkipsTheStoreFolderAndAppends) {
  Names names = {"already there"};
  EXPECT_TRUE(ListFolderNames(manager.get(), &names, ui));
  Names expected = {"already there"};
  expected.insert(expected.end(), kStandardNames.begin(), kStandardNames.end());
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FolderLookupTest, ListKeepsDuplicatesInWalkOrderAndConvertsNames) {
  host.AddFolder(MemoryHost::kInboxId, "Spam");
  host.AddFolder(MemoryHost::kDraftsId, "Spam");
  host.AddFolder(MemoryHost::kDraftsId, "\xC3\xA9t\xC3\xA9");
  host.AddFolder(MemoryHost::kDraftsId, "Local Folders");  // skipped as well: same name
  Names names;
  EXPECT_TRUE(ListFolderNames(manager.get(), &names, ui));
  EXPECT_EQ(names, (Names{"Inbox", "Spam", "Outbox", "Sent Items", "Deleted Items", "Drafts",
                          "Spam", "\xE9t\xE9"}));
  EXPECT_TRUE(ListFolderNames(manager.get(), &names, ui));
  EXPECT_EQ(names.size(), 16u);
}

TEST_F(FolderLookupTest, ListReportsAFailureAtTheStartAndStillSucceeds) {
  host.FailNext("GetFirstFolder", status::kAccessDenied, "no");
  Names names = {"kept"};
  EXPECT_TRUE(ListFolderNames(manager.get(), &names, ui));
  EXPECT_EQ(names, Names{"kept"});
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Access is denied.");
  EXPECT_EQ(ui.boxes[0].caption, "Tarvex");
  EXPECT_EQ(ui.boxes[0].style, mb::kOk);
}

TEST_F(FolderLookupTest, ListKeepsTheNamesFoundBeforeTheWalkFailed) {
  // Calls 1 and 2 reach the Inbox and the Outbox; call 3 fails.
  FailingWalkManager failing(manager, 3, status::kUnexpected);
  Names names;
  EXPECT_TRUE(ListFolderNames(&failing, &names, ui));
  EXPECT_EQ(names, (Names{"Inbox", "Outbox"}));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Catastrophic failure");
}

TEST_F(FolderLookupTest, ListReportsAFailingFolderName) {
  host.FailNext("GetName", status::kFail);
  host.FailNext("GetName", status::kFail);
  Names names;
  EXPECT_TRUE(ListFolderNames(manager.get(), &names, ui));
  EXPECT_TRUE(names.empty());
  ASSERT_EQ(ui.boxes.size(), 1u);  // the walk ended at the first failure
  EXPECT_EQ(ui.boxes[0].text, "Unspecified error");
}

TEST_F(FolderLookupTest, ListReportsANullManagerAsAnInvalidPointer) {
  Names names = {"kept"};
  EXPECT_TRUE(ListFolderNames(nullptr, &names, ui));
  EXPECT_EQ(names, Names{"kept"});
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Invalid pointer.");
  EXPECT_EQ(ui.boxes[0].caption, "Tarvex");
  EXPECT_EQ(ui.boxes[0].style, mb::kOk);

  EXPECT_TRUE(ListFolderNames(manager.get(), nullptr, ui));
  EXPECT_EQ(ui.boxes.size(), 2u);
}

}  // namespace
}  // namespace tarvex
