// What is particular to the memory host; what every host does is in host_contract_test.cc.
#include "host/memory/memory_host.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <thread>

#include "testing/host_error.h"

namespace tarvex {
namespace {

using Ids = std::vector<int32_t>;
using Texts = std::vector<std::string>;
constexpr int32_t kInbox = MemoryHost::kInboxId, kDrafts = MemoryHost::kDraftsId,
                  kDeleted = MemoryHost::kDeletedItemsId, kPart = MemoryHost::kMessagePart;

// Fails with its description when it has one.
struct Sink : HostEventSink {
  HostStatus Invoke(const HostEvent& event, std::string* error_description) override {
    events.push_back(event);
    if (on_event) on_event(event);
    *error_description = description;
    return description.empty() ? status::kOk : status::kFail;
  }
  std::vector<HostEvent> events;
  std::function<void(const HostEvent&)> on_event;
  std::string description;
};

class MemoryHostTest : public ::testing::Test {
 protected:
  MemoryHost host;
  HostRef<HostFolderManager> manager = host.CreateFolderManager();
};

TEST_F(MemoryHostTest, FolderIdsWalkOrderCursorsAndNames) {
  EXPECT_EQ(host.FolderWalk(), (Ids{1, 2, 3, 4, 5, 6}));
  auto other = host.CreateFolderManager();
  EXPECT_EQ(manager->GetNextFolder(), nullptr);  // not started
  manager->GetFirstFolder();
  auto inbox = manager->GetNextFolder();
  EXPECT_EQ(other->GetFirstFolder()->GetId(), 1);
  EXPECT_EQ(inbox->CreateSubFolder("Spam")->GetId(), 7);
  EXPECT_EQ(manager->GetNextFolder()->GetId(), 7);  // created during the walk
  EXPECT_EQ(host.AddFolder(MemoryHost::kLocalFoldersId, "Archive"), 8);
  EXPECT_EQ(host.AddFolder(7, "Old"), 9);
  EXPECT_EQ(host.FolderWalk(), (Ids{1, 2, 7, 9, 3, 4, 5, 6, 8}));
  EXPECT_EQ(manager->GetNextFolder()->GetId(), 9);
  EXPECT_EQ(other->GetNextFolder()->GetId(), kInbox);
  const HostError e = ErrorOf([&] { inbox->CreateSubFolder("Spam"); });
  EXPECT_EQ(e.code(), MemoryHost::kAlreadyExists);
  EXPECT_EQ(e.description(), "\"Inbox\" already has a folder \"Spam\".");
  host.AddFolder(kDrafts, "Spam");  // cousins may share a name
  EXPECT_EQ(host.FolderId("Spam"), 7);
  const int32_t id = inbox->CreateSubFolder("Ind\xE9sirable \x80")->GetId();
  EXPECT_EQ(host.FolderName(id), "Ind\xC3\xA9sirable \xE2\x82\xAC");
}

TEST_F(MemoryHostTest, MessageIdsComeFromOneCounterAndTheWalkSurvivesMoves) {
  for (int i = 0; i < 4; ++i) host.AddMessage(kInbox, {{"Message-ID", std::to_string(i)}}, "");
  EXPECT_EQ(host.AddMessage(kDrafts, {}, ""), 5);
  EXPECT_FALSE(manager->MoveMessage(kInbox, kInbox, 1));  // moves nothing
  EXPECT_TRUE(host.Moves().empty());
  auto inbox = manager->GetInboxFolder();
  EXPECT_EQ(inbox->GetNextMessage(), nullptr);  // not started
  Texts seen;
  int32_t found = 0;
  for (auto m = inbox->GetFirstMessage(); m; m = inbox->GetNextMessage()) {
    seen.push_back(m->GetHeaderValue(kPart, "Message-ID", &found));
    manager->MoveMessage(kInbox, kDeleted, host.MessageIds(kInbox).front());
  }
  EXPECT_EQ(seen, (Texts{"0", "1", "2", "3"}));
  EXPECT_EQ(host.MessageIds(kDeleted), (Ids{6, 7, 8, 9}));
  EXPECT_EQ(host.FindMessage(kDeleted, "message-id", "1"), 7);
  const MemoryHost::Move m = host.Moves().at(1);
  EXPECT_EQ(Ids({m.source_folder, m.source_id, m.target_folder, m.target_id}),
            Ids({kInbox, 2, kDeleted, 7}));
}

TEST_F(MemoryHostTest, CommitAppliesTheObjectsOwnChangesFirstHeaderInPlace) {
  const int32_t id = host.AddMessage(
      kInbox, {{"From", "a"}, {"X-Tag", "one"}, {"Subject", "s"}, {"x-tag", "two"}, {"To", "b"}},
      "");
  auto inbox = manager->GetInboxFolder();
  auto message = inbox->GetMessage(id);
  int32_t found = 0;
  EXPECT_EQ(message->GetHeaderValue(kPart, "X-TAG", &found), "one");
  message->SetHeaderValue(kPart, "X-TAG", "new");
  message->SetHeaderValue(kPart, "X-Added", "\xE9");
  message->SetHeaderValue(kPart, "X-Added", "last wins");
  inbox->GetMessage(id)->Commit();  // another object has nothing staged
  EXPECT_EQ(host.Message(kInbox, id).headers.size(), 5u);
  manager->MoveMessage(kInbox, kDeleted, id);
  message->Commit();  // the object follows its message
  message->MarkRead();
  EXPECT_THROW(message->GetPartText(2), HostError);  // a message is the single part 1
  EXPECT_EQ(message->GetHeaderText(),
            "From: a\r\nX-TAG: new\r\nSubject: s\r\nTo: b\r\nX-Added: last wins\r\n");
  EXPECT_EQ(message->GetRawHeaders(), message->GetHeaderText());
  EXPECT_TRUE(host.Message(kDeleted, host.Moves()[0].target_id).read);
}

TEST_F(MemoryHostTest, SinksMayUnadviseWhileCalledAndDeliveriesAreRecorded) {
  auto init = host.CreateInit();
  auto self = std::make_shared<Sink>(), later = std::make_shared<Sink>();
  auto last = std::make_shared<Sink>();
  last->description = "d\xC3\xA9j\xC3\xA0 vu";
  const uint32_t self_cookie = init->Advise(self), later_cookie = init->Advise(later);
  const uint32_t last_cookie = init->Advise(last);
  self->on_event = [&](const HostEvent&) {
    init->Unadvise(self_cookie);
    init->Unadvise(later_cookie);
  };
  std::weak_ptr<Sink> watch = self;
  self.reset();  // the host's subscription holds the only reference now
  const auto d = host.RaiseInit();
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(later->events.empty());
  ASSERT_EQ(host.Deliveries().size(), 2u);
  EXPECT_EQ(std::make_pair(d[0].cookie, d[0].status), std::make_pair(self_cookie, status::kOk));
  EXPECT_EQ(std::make_pair(d[1].cookie, d[1].status), std::make_pair(last_cookie, status::kFail));
  EXPECT_EQ(d[1].description, "d\xC3\xA9j\xC3\xA0 vu");
}

TEST_F(MemoryHostTest, SubscriptionsBelongToTheEntityAndOutliveTheObject) {
  const int32_t id = host.AddMessage(kInbox, {}, "");
  auto on_folder = std::make_shared<Sink>(), on_message = std::make_shared<Sink>();
  const uint32_t cookie = manager->GetInboxFolder()->Advise(on_folder);
  manager->GetInboxFolder()->GetMessage(id)->Advise(on_message);
  manager->MoveMessage(kInbox, kDrafts, id);
  host.DeliverNewMessage(kInbox, {}, "");
  host.RaiseEvent(EventTarget::Message(kDrafts, host.Moves()[0].target_id), {});
  EXPECT_EQ(on_folder->events.size(), 1u);
  EXPECT_EQ(on_message->events.size(), 1u);
  EXPECT_EQ(ErrorOf([&] { manager->GetFolder(kDrafts)->Unadvise(cookie); }).code(),
            MemoryHost::kNoConnection);
  manager->GetFolder(kInbox)->Unadvise(cookie);
  EXPECT_EQ(host.Subscriptions(), 1u);
}

TEST_F(MemoryHostTest, CallsAndObjectsAreCounted) {
  EXPECT_EQ(host.Calls(), Texts{"CreateFolderManager"});
  host.ClearCalls();
  const int32_t id = host.AddMessage(kInbox, {}, "");
  auto inbox = manager->GetInboxFolder();
  EXPECT_THROW(inbox->GetMessage(id + 1), HostError);  // a failing call is logged too
  auto message = inbox->GetMessage(id), again = inbox->GetMessage(id);  // a new object each time
  EXPECT_EQ(host.Calls(), (Texts{"GetInboxFolder", "GetMessage", "GetMessage", "GetMessage"}));
  EXPECT_EQ(host.LiveObjects(), 4);
  again.reset();
  inbox.reset();
  EXPECT_EQ(host.LiveObjects(), 2);
}

TEST(MemoryHostThreads, SinksCallingBackRunBesidePlugInCallsAndObjectsOutliveTheHost) {
  auto host = std::make_unique<MemoryHost>();
  auto inbox = host->CreateFolderManager()->GetInboxFolder();
  auto sink = std::make_shared<Sink>();
  sink->on_event = [&](const HostEvent& e) {
    inbox->GetMessage(e.arguments[0].integer)->MarkRead();
  };
  inbox->Advise(sink);
  std::thread deliverer([&] {
    for (int i = 0; i < 200; ++i) host->DeliverNewMessage(kInbox, {{"Subject", "s"}}, "");
  });
  auto folder = host->CreateFolderManager()->GetFolder(kInbox);
  for (int i = 0; i < 200; ++i) {
    folder->Unadvise(folder->Advise(std::make_shared<Sink>()));
    for (auto m = folder->GetFirstMessage(); m; m = folder->GetNextMessage()) m->GetHeaderText();
  }
  deliverer.join();
  EXPECT_EQ(sink->events.size(), 200u);
  auto message = folder->GetFirstMessage();
  host.reset();
  int32_t found = 0;
  EXPECT_EQ(message->GetHeaderValue(kPart, "Subject", &found), "s");
}

}  // namespace
}  // namespace tarvex
