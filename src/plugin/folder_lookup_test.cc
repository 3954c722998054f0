#include "plugin/folder_lookup.h"

#include <gtest/gtest.h>

#include "host/fault_injecting_host.h"
#include "host/memory/memory_host.h"

namespace tarvex {
namespace {

using Names = std::vector<std::string>;

class FolderLookupTest : public ::testing::Test {
 protected:
  // The names listed after "kept"; checks that the listing reports success.
  Names List(HostFolderManager* lister) {
    Names names = {"kept"};
    EXPECT_TRUE(ListFolderNames(lister, &names, ui));
    return names;
  }

  MemoryHost host;
  FaultInjectingHost faults{host};
  HostRef<HostFolderManager> manager = faults.CreateFolderManager();
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
  faults.FailNext("GetNextFolder", status::kAccessDenied, "locked");
  EXPECT_THROW(FindFolderByName(*manager, "Drafts"), HostError);
  faults.FailNext("GetName", status::kFail);
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
  faults.FailNext("GetFirstFolder", status::kAccessDenied);
  EXPECT_EQ(List(manager.get()), Names{"kept"});
  faults.FailCall("GetNextFolder", 3, status::kUnexpected);  // 1 and 2 reach Inbox and Outbox
  EXPECT_EQ(List(manager.get()), (Names{"kept", "Inbox", "Outbox"}));
  faults.FailNext("GetName", status::kFail);
  faults.FailNext("GetName", status::kFail);
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
