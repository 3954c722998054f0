#include "plugin/folder_lookup.h"

#include <gtest/gtest.h>

#include "host/memory/memory_host.h"

namespace tarvex {
namespace {

using Names = std::vector<std::string>;

// Walks the inner manager's folders, failing at a chosen GetNextFolder call.
struct FailingWalk : HostFolderManager {
  FailingWalk(HostRef<HostFolderManager> inner, int n) : inner_(std::move(inner)), fail_at_(n) {}
  HostStatus DoGetFirstFolder(HostRef<HostFolder>* folder) override {
    *folder = inner_->GetFirstFolder();
    return status::kOk;
  }
  HostStatus DoGetNextFolder(HostRef<HostFolder>* folder) override {
    if (++calls_ == fail_at_) return status::kUnexpected;
    *folder = inner_->GetNextFolder();
    return status::kOk;
  }
  HostStatus DoGetInboxFolder(HostRef<HostFolder>*) override { return status::kFail; }
  HostStatus DoGetFolder(int32_t, HostRef<HostFolder>*) override { return status::kFail; }
  HostStatus DoMoveMessage(int32_t, int32_t, int32_t, int32_t*) override { return status::kFail; }
  HostRef<HostFolderManager> inner_;
  int fail_at_, calls_ = 0;
};

class FolderLookupTest : public ::testing::Test {
 protected:
  // The names listed after "kept"; checks that the listing reports success.
  Names List(HostFolderManager* lister) {
    Names names = {"kept"};
    EXPECT_TRUE(ListFolderNames(lister, &names, ui));
    return names;
  }

  MemoryHost host;
  HostRef<HostFolderManager> manager = host.CreateFolderManager();
  RecordingUi ui;
};

TEST_F(FolderLookupTest, FindsTheFirstFolderOfTheWalkWithExactlyThatName) {
  // Created first, visited last: the store's own folder comes after the standard ones.
  const int32_t late = host.AddFolder(MemoryHost::kLocalFoldersId, "Ind\xC3\xA9sirable");
  const int32_t early = host.AddFolder(MemoryHost::kInboxId, "Ind\xC3\xA9sirable");
  ASSERT_LT(late, early);
  EXPECT_EQ(FindFolderByName(*manager, "Ind\xE9sirable")->GetId(), early);
  EXPECT_EQ(FindFolderByName(*manager, "Local Folders")->GetId(), MemoryHost::kLocalFoldersId);
  EXPECT_EQ(FindFolderByName(*manager, "Drafts")->GetId(), MemoryHost::kDraftsId);
  for (const char* other : {"drafts", "DRAFTS", "Draft", "Drafts ", "", "Ind\xC9sirable"}) {
    EXPECT_EQ(FindFolderByName(*manager, other), nullptr) << other;
  }
  EXPECT_EQ(host.LiveObjects(), 1);  // only the manager: no folder is kept
}

TEST_F(FolderLookupTest, FindLetsHostErrorsThrough) {
  host.FailNext("GetNextFolder", status::kAccessDenied, "locked");
  EXPECT_THROW(FindFolderByName(*manager, "Drafts"), HostError);
  host.FailNext("GetName", status::kFail);
  EXPECT_THROW(FindFolderByName(*manager, "Drafts"), HostError);
}

TEST_F(FolderLookupTest, ListAppendsEveryNameButTheStoreFoldersInWalkOrder) {
  host.AddFolder(MemoryHost::kInboxId, "Spam");
  host.AddFolder(MemoryHost::kDraftsId, "Spam");
  host.AddFolder(MemoryHost::kDraftsId, "\xC3\xA9t\xC3\xA9");
  host.AddFolder(MemoryHost::kDraftsId, "Local Folders");  // skipped as well: same name
  EXPECT_EQ(List(manager.get()), (Names{"kept", "Inbox", "Spam", "Outbox", "Sent Items",
                                        "Deleted Items", "Drafts", "Spam", "\xE9t\xE9"}));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FolderLookupTest, ListShowsTheFirstFailureKeepsTheNamesFoundAndSucceeds) {
  host.FailNext("GetFirstFolder", status::kAccessDenied);
  EXPECT_EQ(List(manager.get()), Names{"kept"});
  FailingWalk failing(manager, 3);  // calls 1 and 2 reach the Inbox and the Outbox
  EXPECT_EQ(List(&failing), (Names{"kept", "Inbox", "Outbox"}));
  host.FailNext("GetName", status::kFail);
  host.FailNext("GetName", status::kFail);
  EXPECT_EQ(List(manager.get()), Names{"kept"});
  EXPECT_EQ(List(nullptr), Names{"kept"});
  EXPECT_TRUE(ListFolderNames(manager.get(), nullptr, ui));
  ASSERT_EQ(ui.boxes.size(), 5u);  // one each: the walk ends at its first failure
  const Names texts = {"Access is denied.", "Catastrophic failure", "Unspecified error",
                       "Invalid pointer.", "Invalid pointer."};
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(ui.boxes[i].text, texts[i]);
    EXPECT_EQ(ui.boxes[i].caption, "Tarvex");
    EXPECT_EQ(ui.boxes[i].style, mb::kOk);
  }
}

}  // namespace
}  // namespace tarvex
