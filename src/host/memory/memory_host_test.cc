#include "host/memory/memory_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>

namespace tarvex {
namespace {

using Ids = std::vector<int32_t>;

// Runs a scripted reaction to each event and answers with a set status.
class ScriptedSink : public HostEventSink {
 public:
  HostStatus Invoke(const HostEvent& event, std::string* error_description) override {
    events.push_back(event);
    if (on_event) on_event(event);
    *error_description = description;
    return answer;
  }
  std::vector<HostEvent> events;
  std::function<void(const HostEvent&)> on_event;
  HostStatus answer = status::kOk;
  std::string description;
};

class MemoryHostTest : public ::testing::Test {
 protected:
  std::vector<std::string> WalkNames(HostFolderManager& manager) {
    std::vector<std::string> names;
    for (auto f = manager.GetFirstFolder(); f; f = manager.GetNextFolder()) {
      names.push_back(f->GetName());
    }
    return names;
  }

  MemoryHost host;
};

// ------------------------------------------------------------------ folders

TEST_F(MemoryHostTest, FoldersAreNumberedInCreationOrderAndWalkedPreOrder) {
  EXPECT_EQ(host.FolderWalk(), (Ids{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(host.FolderName(MemoryHost::kLocalFoldersId), "Local Folders");
  EXPECT_EQ(host.FolderName(MemoryHost::kDeletedItemsId), "Deleted Items");

  EXPECT_EQ(host.AddFolder(MemoryHost::kLocalFoldersId, "Archive"), 7);
  EXPECT_EQ(host.AddFolder(MemoryHost::kInboxId, "Spam"), 8);
  EXPECT_EQ(host.AddFolder(8, "Old"), 9);
  EXPECT_EQ(host.AddFolder(MemoryHost::kInboxId, "Lists"), 10);
  EXPECT_EQ(host.FolderWalk(), (Ids{1, 2, 8, 9, 10, 3, 4, 5, 6, 7}));

  auto manager = host.CreateFolderManager();
  EXPECT_EQ(WalkNames(*manager),
            (std::vector<std::string>{"Local Folders", "Inbox", "Spam", "Old", "Lists", "Outbox",
                                      "Sent Items", "Deleted Items", "Drafts", "Archive"}));
}

TEST_F(MemoryHostTest, EachFolderManagerWalksOnItsOwn) {
  auto first = host.CreateFolderManager();
  auto second = host.CreateFolderManager();
  EXPECT_EQ(first->GetNextFolder(), nullptr);  // not started
  EXPECT_EQ(first->GetFirstFolder()->GetId(), 1);
  EXPECT_EQ(first->GetNextFolder()->GetId(), 2);
  EXPECT_EQ(second->GetFirstFolder()->GetId(), 1);
  EXPECT_EQ(first->GetNextFolder()->GetId(), 3);
  EXPECT_EQ(second->GetNextFolder()->GetId(), 2);
}

TEST_F(MemoryHostTest, FolderCreatedDuringTheWalkUnderTheCurrentFolderIsVisitedNext) {
  auto manager = host.CreateFolderManager();
  manager->GetFirstFolder();
  auto inbox = manager->GetNextFolder();
  inbox->CreateSubFolder("Spam");
  EXPECT_EQ(manager->GetNextFolder()->GetName(), "Spam");
  EXPECT_EQ(manager->GetNextFolder()->GetName(), "Outbox");
}

TEST_F(MemoryHostTest, SiblingsCannotShareANameButCousinsCan) {
  auto inbox = host.CreateFolderManager()->GetInboxFolder();
  inbox->CreateSubFolder("Spam");
  try {
    inbox->CreateSubFolder("Spam");
    FAIL() << "a second Spam under the Inbox";
  } catch (const HostError& e) {
    EXPECT_EQ(e.code(), MemoryHost::kAlreadyExists);
    EXPECT_EQ(e.description(), "\"Inbox\" already has a folder \"Spam\".");
  }
  EXPECT_THROW(inbox->CreateSubFolder(""), HostError);
  EXPECT_NO_THROW(host.AddFolder(MemoryHost::kDraftsId, "Spam"));
  EXPECT_EQ(host.FolderId("Spam"), host.FolderWalk()[2]);
  EXPECT_THROW(host.AddFolder(MemoryHost::kInboxId, "Spam"), std::invalid_argument);
  EXPECT_THROW(host.AddFolder(99, "Spam"), std::invalid_argument);
  EXPECT_EQ(host.FolderId("spam"), -1);
}

TEST_F(MemoryHostTest, FolderNamesAreStoredAsUtf8) {
  auto inbox = host.CreateFolderManager()->GetInboxFolder();
  const int32_t id = inbox->CreateSubFolder("Ind\xE9sirable \x80")->GetId();
  EXPECT_EQ(host.FolderName(id), "Ind\xC3\xA9sirable \xE2\x82\xAC");
}

// ------------------------------------------------------------------ messages

TEST_F(MemoryHostTest, MessageIdsComeFromOneCounterAndMovesTakeANewOne) {
  const int32_t a = host.AddMessage(MemoryHost::kInboxId, {{"Message-ID", "<a>"}}, "");
  const int32_t b = host.AddMessage(MemoryHost::kDraftsId, {{"Message-ID", "<b>"}}, "");
  const int32_t c = host.AddMessage(MemoryHost::kInboxId, {{"Message-ID", "<c>"}}, "");
  EXPECT_EQ(Ids({a, b, c}), Ids({1, 2, 3}));
  EXPECT_EQ(host.MessageIds(MemoryHost::kInboxId), (Ids{1, 3}));

  auto manager = host.CreateFolderManager();
  EXPECT_TRUE(manager->MoveMessage(MemoryHost::kInboxId, MemoryHost::kDeletedItemsId, a));
  EXPECT_EQ(host.MessageIds(MemoryHost::kInboxId), Ids{c});
  EXPECT_EQ(host.MessageIds(MemoryHost::kDeletedItemsId), Ids{4});
  EXPECT_EQ(host.FindMessage(MemoryHost::kDeletedItemsId, "message-id", "<a>"), 4);
  ASSERT_EQ(host.Moves().size(), 1u);
  const MemoryHost::Move move = host.Moves()[0];
  EXPECT_EQ(Ids({move.source_folder, move.source_id, move.target_folder, move.target_id}),
            Ids({MemoryHost::kInboxId, a, MemoryHost::kDeletedItemsId, 4}));
  const MemoryHost::MessageState moved = host.Message(MemoryHost::kDeletedItemsId, 4);
  EXPECT_EQ(moved.folder, MemoryHost::kDeletedItemsId);
  EXPECT_EQ(moved.id, 4);
  EXPECT_EQ(moved.headers, (HostHeaders{{"Message-ID", "<a>"}}));
}

TEST_F(MemoryHostTest, MovingWithinTheSameFolderMovesNothing) {
  const int32_t id = host.AddMessage(MemoryHost::kInboxId, {}, "");
  auto manager = host.CreateFolderManager();
  EXPECT_FALSE(manager->MoveMessage(MemoryHost::kInboxId, MemoryHost::kInboxId, id));
  EXPECT_EQ(host.MessageIds(MemoryHost::kInboxId), Ids{id});
  EXPECT_TRUE(host.Moves().empty());
}

TEST_F(MemoryHostTest, MessageWalkSurvivesMovingTheCurrentMessageAway) {
  for (int i = 0; i < 4; ++i) host.AddMessage(MemoryHost::kInboxId, {}, std::to_string(i));
  auto manager = host.CreateFolderManager();
  auto inbox = manager->GetInboxFolder();
  EXPECT_EQ(inbox->GetNextMessage(), nullptr);  // not started
  std::vector<std::string> bodies;
  for (auto m = inbox->GetFirstMessage(); m; m = inbox->GetNextMessage()) {
    bodies.push_back(m->GetPartText(m->GetBodyPart()));
    manager->MoveMessage(MemoryHost::kInboxId, MemoryHost::kDeletedItemsId,
                         host.MessageIds(MemoryHost::kInboxId).front());
  }
  EXPECT_EQ(bodies, (std::vector<std::string>{"0", "1", "2", "3"}));
  EXPECT_TRUE(host.MessageIds(MemoryHost::kInboxId).empty());
}

TEST_F(MemoryHostTest, CommitReplacesTheFirstHeaderInPlaceAndDropsLaterOnes) {
  const int32_t id = host.AddMessage(
      MemoryHost::kInboxId,
      {{"From", "a"}, {"X-Tag", "one"}, {"Subject", "s"}, {"x-tag", "two"}, {"To", "b"}}, "");
  auto message = host.CreateFolderManager()->GetInboxFolder()->GetMessage(id);
  message->SetHeaderValue(MemoryHost::kMessagePart, "X-TAG", "new");
  message->SetHeaderValue(MemoryHost::kMessagePart, "X-Added", "\xE9");
  message->SetHeaderValue(MemoryHost::kMessagePart, "X-Added", "last wins");
  EXPECT_EQ(host.Message(MemoryHost::kInboxId, id).headers.size(), 5u);
  message->Commit();
  EXPECT_EQ(host.Message(MemoryHost::kInboxId, id).headers,
            (HostHeaders{{"From", "a"},
                         {"X-TAG", "new"},
                         {"Subject", "s"},
                         {"To", "b"},
                         {"X-Added", "last wins"}}));
  EXPECT_EQ(message->GetHeaderText(),
            "From: a\r\nX-TAG: new\r\nSubject: s\r\nTo: b\r\nX-Added: last wins\r\n");
  EXPECT_EQ(message->GetRawHeaders(), message->GetHeaderText());
  message->Commit();  // nothing staged any more
  EXPECT_EQ(host.Message(MemoryHost::kInboxId, id).headers.size(), 5u);
}

TEST_F(MemoryHostTest, StagedChangesBelongToTheObjectThatMadeThem) {
  const int32_t id = host.AddMessage(MemoryHost::kInboxId, {}, "");
  auto inbox = host.CreateFolderManager()->GetInboxFolder();
  auto staging = inbox->GetMessage(id);
  auto committing = inbox->GetMessage(id);
  staging->SetHeaderValue(MemoryHost::kMessagePart, "X-A", "1");
  committing->Commit();
  EXPECT_TRUE(host.Message(MemoryHost::kInboxId, id).headers.empty());
  staging->Commit();
  EXPECT_EQ(host.Message(MemoryHost::kInboxId, id).headers, (HostHeaders{{"X-A", "1"}}));
}

TEST_F(MemoryHostTest, MessageObjectFollowsItsMessageAcrossAMove) {
  const int32_t id = host.AddMessage(MemoryHost::kInboxId, {}, "body");
  auto manager = host.CreateFolderManager();
  auto message = manager->GetInboxFolder()->GetMessage(id);
  message->SetHeaderValue(MemoryHost::kMessagePart, "X-TVX-RESULT", "Spam");
  manager->MoveMessage(MemoryHost::kInboxId, MemoryHost::kDeletedItemsId, id);
  message->Commit();
  message->MarkRead();
  const int32_t moved = host.Moves().back().target_id;
  EXPECT_EQ(host.Message(MemoryHost::kDeletedItemsId, moved).headers,
            (HostHeaders{{"X-TVX-RESULT", "Spam"}}));
  EXPECT_TRUE(host.Message(MemoryHost::kDeletedItemsId, moved).read);
}

TEST_F(MemoryHostTest, PartsOtherThanTheMessagePartAreRefused) {
  const int32_t id = host.AddMessage(MemoryHost::kInboxId, {{"Subject", "s"}}, "body");
  auto message = host.CreateFolderManager()->GetInboxFolder()->GetMessage(id);
  EXPECT_EQ(message->GetRootPart(), MemoryHost::kMessagePart);
  EXPECT_EQ(message->GetBodyPart(), MemoryHost::kMessagePart);
  int32_t found = 0;
  EXPECT_THROW(message->GetHeaderValue(0, "Subject", &found), HostError);
  EXPECT_THROW(message->GetPartText(2), HostError);
  EXPECT_THROW(message->SetHeaderValue(0, "X", "y"), HostError);
  EXPECT_THROW(message->SetHeaderValue(MemoryHost::kMessagePart, "", "y"), HostError);
}

TEST_F(MemoryHostTest, TestSideMisuseIsReportedAsInvalidArgument) {
  EXPECT_THROW(host.AddMessage(99, {}, ""), std::invalid_argument);
  EXPECT_THROW(host.Message(MemoryHost::kInboxId, 1), std::invalid_argument);
  EXPECT_THROW(host.SetCurrentFolder(99), std::invalid_argument);
  EXPECT_THROW(host.Toolbar(0), std::invalid_argument);
  EXPECT_THROW(host.RaiseEvent(EventTarget::Folder(99), {}), std::invalid_argument);
  EXPECT_THROW(host.RaiseEvent(EventTarget::Message(MemoryHost::kInboxId, 5), {}),
               std::invalid_argument);
  EXPECT_THROW(host.FailNext("DoGetName", status::kFail), std::invalid_argument);
  EXPECT_FALSE(host.HasMessage(99, 1));
}

// ------------------------------------------------------------------ api, toolbars

TEST_F(MemoryHostTest, ToolbarsAreRecordedAndTheirWindowIsSettable) {
  auto api = host.CreateApi();
  auto first = api->CreateToolbar();
  auto second = api->CreateToolbar();
  ASSERT_EQ(host.ToolbarCount(), 2u);
  second->SetToolbarFlag(4);
  second->SetToolbarFlag(1);
  first->Remove();
  EXPECT_EQ(first->GetWindow(), nullptr);
  EXPECT_EQ(host.Toolbar(0).removes, 1);
  EXPECT_TRUE(host.Toolbar(0).flags.empty());
  EXPECT_EQ(host.Toolbar(1).flags, (Ids{4, 1}));
  EXPECT_EQ(host.Toolbar(1).removes, 0);

  auto* control = reinterpret_cast<ToolbarControl*>(&host);  // any address will do
  host.SetToolbarWindow(1, control);
  EXPECT_EQ(second->GetWindow(), control);
  EXPECT_EQ(first->GetWindow(), nullptr);
}

TEST_F(MemoryHostTest, CurrentFolderIsTheInboxUntilSetAndSelectionCursorsAreSeparate) {
  auto first = host.CreateApi();
  auto second = host.CreateApi();
  EXPECT_EQ(first->GetCurrentFolderId(), MemoryHost::kInboxId);
  EXPECT_EQ(first->GetNextSelectedMessageId(), -1);  // not started
  host.SetSelection({7, 8});
  EXPECT_EQ(first->GetFirstSelectedMessageId(), 7);
  EXPECT_EQ(second->GetFirstSelectedMessageId(), 7);
  EXPECT_EQ(first->GetNextSelectedMessageId(), 8);
  EXPECT_EQ(second->GetNextSelectedMessageId(), 8);
  host.SetCurrentFolder(MemoryHost::kDraftsId);
  EXPECT_EQ(second->GetCurrentFolderId(), MemoryHost::kDraftsId);
}

// ------------------------------------------------------------------ events

TEST_F(MemoryHostTest, DeliveriesRecordEachSinksStatusAndDescription) {
  auto inbox = host.CreateFolderManager()->GetInboxFolder();
  auto fine = std::make_shared<ScriptedSink>();
  auto failing = std::make_shared<ScriptedSink>();
  failing->answer = status::kFail;
  failing->description = "d\xC3\xA9j\xC3\xA0 vu";
  const uint32_t fine_cookie = inbox->Advise(fine);
  const uint32_t failing_cookie = inbox->Advise(failing);

  const int32_t id = host.DeliverNewMessage(MemoryHost::kInboxId, {}, "");
  const auto deliveries = host.Deliveries();
  ASSERT_EQ(deliveries.size(), 2u);
  EXPECT_EQ(deliveries[0].cookie, fine_cookie);
  EXPECT_EQ(deliveries[0].status, status::kOk);
  EXPECT_EQ(deliveries[1].cookie, failing_cookie);
  EXPECT_EQ(deliveries[1].status, status::kFail);
  EXPECT_EQ(deliveries[1].description, "d\xC3\xA9j\xC3\xA0 vu");
  EXPECT_EQ(deliveries[1].number, event::kOnNewMessage);
  EXPECT_TRUE(deliveries[1].target == EventTarget::Folder(MemoryHost::kInboxId));
  EXPECT_EQ(fine->events.at(0).arguments.at(0).integer, id);
}

TEST_F(MemoryHostTest, SinksMayUnadviseThemselvesAndOthersWhileBeingCalled) {
  auto init = host.CreateInit();
  auto self = std::make_shared<ScriptedSink>();
  auto later = std::make_shared<ScriptedSink>();
  auto last = std::make_shared<ScriptedSink>();
  const uint32_t self_cookie = init->Advise(self);
  const uint32_t later_cookie = init->Advise(later);
  init->Advise(last);
  self->on_event = [&](const HostEvent&) {
    init->Unadvise(self_cookie);
    init->Unadvise(later_cookie);
  };
  std::weak_ptr<ScriptedSink> watch = self;
  self.reset();  // the host's subscription holds the only reference now

  EXPECT_EQ(host.RaiseInit().size(), 2u);
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(later->events.empty());
  EXPECT_EQ(last->events.size(), 1u);
  EXPECT_EQ(host.Subscriptions(EventTarget::Init()), 1u);
  host.RaiseShutdown();
  EXPECT_EQ(last->events.size(), 2u);
}

TEST_F(MemoryHostTest, SinksMayCallBackIntoTheHost) {
  auto inbox = host.CreateFolderManager()->GetInboxFolder();
  auto sink = std::make_shared<ScriptedSink>();
  std::string subject;
  sink->on_event = [&](const HostEvent& e) {
    auto message = inbox->GetMessage(static_cast<int32_t>(e.arguments[0].integer));
    int32_t found = 0;
    subject = message->GetHeaderValue(message->GetRootPart(), "Subject", &found);
    message->SetHeaderValue(message->GetRootPart(), "X-Seen", "1");
    message->Commit();
  };
  inbox->Advise(sink);
  const int32_t id = host.DeliverNewMessage(MemoryHost::kInboxId, {{"Subject", "hi"}}, "");
  EXPECT_EQ(subject, "hi");
  EXPECT_EQ(host.FindMessage(MemoryHost::kInboxId, "X-Seen", "1"), id);
}

TEST_F(MemoryHostTest, SubscriptionsBelongToTheEntityAndOutliveTheObject) {
  auto manager = host.CreateFolderManager();
  auto sink = std::make_shared<ScriptedSink>();
  const uint32_t cookie = manager->GetInboxFolder()->Advise(sink);  // the folder object is gone
  EXPECT_EQ(host.Subscriptions(EventTarget::Folder(MemoryHost::kInboxId)), 1u);
  host.DeliverNewMessage(MemoryHost::kInboxId, {}, "");
  EXPECT_EQ(sink->events.size(), 1u);

  // Another entity's object does not hold the cookie.
  try {
    manager->GetFolder(MemoryHost::kDraftsId)->Unadvise(cookie);
    FAIL() << "unadvised through the wrong folder";
  } catch (const HostError& e) {
    EXPECT_EQ(e.code(), MemoryHost::kNoConnection);
  }
  manager->GetFolder(MemoryHost::kInboxId)->Unadvise(cookie);
  EXPECT_EQ(host.Subscriptions(), 0u);
}

TEST_F(MemoryHostTest, EventsReachMessagesToolbarsAndTheApi) {
  const int32_t id = host.AddMessage(MemoryHost::kInboxId, {}, "");
  auto manager = host.CreateFolderManager();
  auto api = host.CreateApi();
  auto toolbar = api->CreateToolbar();
  auto on_message = std::make_shared<ScriptedSink>();
  auto on_toolbar = std::make_shared<ScriptedSink>();
  auto on_api = std::make_shared<ScriptedSink>();
  auto on_manager = std::make_shared<ScriptedSink>();
  manager->GetInboxFolder()->GetMessage(id)->Advise(on_message);
  toolbar->Advise(on_toolbar);
  api->Advise(on_api);
  manager->Advise(on_manager);

  HostEvent click;
  click.number = event::kOnButtonClicked;
  host.RaiseEvent(EventTarget::Toolbar(0), click);
  HostEvent selection;
  selection.number = 1;
  host.RaiseEvent(EventTarget::Api(), selection);
  manager->MoveMessage(MemoryHost::kInboxId, MemoryHost::kDraftsId, id);
  host.RaiseEvent(EventTarget::Message(MemoryHost::kDraftsId, host.Moves()[0].target_id), {});

  EXPECT_EQ(on_toolbar->events.size(), 1u);
  EXPECT_EQ(on_api->events.size(), 1u);
  EXPECT_EQ(on_message->events.size(), 1u);
  EXPECT_TRUE(on_manager->events.empty());
}

// ------------------------------------------------------------------ failures

TEST_F(MemoryHostTest, InjectedFailureReachesHostErrorWithItsDescriptionOnce) {
  const int32_t id = host.AddMessage(MemoryHost::kInboxId, {}, "");
  auto inbox = host.CreateFolderManager()->GetInboxFolder();
  // "Message gone – é": the dash and é exist in Windows-1252, the arrow does not.
  host.FailNext("GetMessage", status::kAccessDenied,
                "Message gone \xE2\x80\x93 \xC3\xA9 \xE2\x86\x92");
  try {
    inbox->GetMessage(id);
    FAIL() << "the injected failure did not happen";
  } catch (const HostError& e) {
    EXPECT_EQ(e.code(), status::kAccessDenied);
    EXPECT_EQ(e.description(), "Message gone \x96 \xE9 ?");
  }
  EXPECT_NE(inbox->GetMessage(id), nullptr);
}

TEST_F(MemoryHostTest, FailNextQueuesAndFailAlwaysLastsUntilHeal) {
  auto manager = host.CreateFolderManager();
  host.FailNext("GetInboxFolder", status::kFail);
  host.FailNext("GetInboxFolder", status::kUnexpected);
  EXPECT_THROW(manager->GetInboxFolder(), HostError);
  try {
    manager->GetInboxFolder();
    FAIL();
  } catch (const HostError& e) {
    EXPECT_EQ(e.code(), status::kUnexpected);
  }
  EXPECT_NO_THROW(manager->GetInboxFolder());

  host.FailAlways("GetName", status::kOutOfMemory, "full");
  auto inbox = manager->GetInboxFolder();
  EXPECT_THROW(inbox->GetName(), HostError);
  EXPECT_THROW(inbox->GetName(), HostError);
  EXPECT_EQ(inbox->GetId(), MemoryHost::kInboxId);  // other operations are unaffected
  host.Heal();
  EXPECT_EQ(inbox->GetName(), "Inbox");
}

TEST_F(MemoryHostTest, FailedCallsChangeNothing) {
  const int32_t id = host.AddMessage(MemoryHost::kInboxId, {{"Subject", "s"}}, "");
  auto manager = host.CreateFolderManager();
  auto message = manager->GetInboxFolder()->GetMessage(id);

  host.FailNext("SetHeaderValue", status::kFail);
  EXPECT_THROW(message->SetHeaderValue(MemoryHost::kMessagePart, "X-A", "1"), HostError);
  message->SetHeaderValue(MemoryHost::kMessagePart, "X-B", "2");
  host.FailNext("Commit", status::kFail);
  EXPECT_THROW(message->Commit(), HostError);
  EXPECT_EQ(host.Message(MemoryHost::kInboxId, id).headers.size(), 1u);
  message->Commit();  // the staged change survived the failed commit
  EXPECT_EQ(host.Message(MemoryHost::kInboxId, id).headers,
            (HostHeaders{{"Subject", "s"}, {"X-B", "2"}}));

  host.FailNext("MoveMessage", status::kAccessDenied);
  EXPECT_THROW(manager->MoveMessage(MemoryHost::kInboxId, MemoryHost::kDraftsId, id), HostError);
  EXPECT_TRUE(host.HasMessage(MemoryHost::kInboxId, id));

  host.FailNext("MarkRead", status::kFail);
  EXPECT_THROW(message->MarkRead(), HostError);
  EXPECT_FALSE(host.Message(MemoryHost::kInboxId, id).read);

  host.FailNext("GetNextFolder", status::kFail);
  manager->GetFirstFolder();
  EXPECT_THROW(manager->GetNextFolder(), HostError);
  EXPECT_EQ(manager->GetNextFolder()->GetName(), "Inbox");  // the cursor did not move

  host.FailNext("Advise", status::kFail);
  EXPECT_THROW(manager->Advise(std::make_shared<ScriptedSink>()), HostError);
  EXPECT_EQ(host.Subscriptions(), 0u);
}

TEST_F(MemoryHostTest, EachObjectKeepsTheDescriptionOfItsOwnLastFailure) {
  auto manager = host.CreateFolderManager();
  auto inbox = manager->GetInboxFolder();
  auto drafts = manager->GetFolder(MemoryHost::kDraftsId);
  try {
    inbox->GetMessage(42);
    FAIL();
  } catch (const HostError& e) {
    EXPECT_EQ(e.code(), status::kInvalidArgument);
    EXPECT_EQ(e.description(), "There is no message 42 in \"Inbox\".");
  }
  host.FailNext("GetMessage", status::kFail, "");
  try {
    drafts->GetMessage(1);
    FAIL();
  } catch (const HostError& e) {
    EXPECT_EQ(e.description(), "");
  }
}

TEST_F(MemoryHostTest, LibraryCreationFailuresRaise) {
  host.FailNext("CreateApi", status::kOutOfMemory);
  try {
    host.CreateApi();
    FAIL();
  } catch (const HostError& e) {
    EXPECT_EQ(e.code(), status::kOutOfMemory);
  }
  host.FailNext("CreateInit", status::kFail);
  EXPECT_THROW(host.CreateInit(), HostError);
  host.FailNext("CreateFolderManager", status::kFail);
  EXPECT_THROW(host.CreateFolderManager(), HostError);
  EXPECT_EQ(host.LiveObjects(), 0);
  EXPECT_NE(host.CreateApi(), nullptr);
}

// ------------------------------------------------------------------ accounting

TEST_F(MemoryHostTest, LiveObjectsCountsEveryKindOfObject) {
  const int32_t id = host.AddMessage(MemoryHost::kInboxId, {}, "");
  auto init = host.CreateInit();
  EXPECT_EQ(host.LiveObjects(), 1);
  auto api = host.CreateApi();
  auto toolbar = api->CreateToolbar();
  EXPECT_EQ(host.LiveObjects(), 3);
  auto manager = host.CreateFolderManager();
  auto first = manager->GetFirstFolder();
  auto inbox = manager->GetNextFolder();
  auto message = inbox->GetMessage(id);
  auto again = inbox->GetMessage(id);  // a new object each time
  EXPECT_EQ(host.LiveObjects(), 8);
  auto sub = inbox->CreateSubFolder("Spam");
  EXPECT_EQ(host.LiveObjects(), 9);
  again.reset();
  first.reset();
  EXPECT_EQ(host.LiveObjects(), 7);
  init.reset();
  api.reset();
  toolbar.reset();
  manager.reset();
  inbox.reset();
  message.reset();
  sub.reset();
  EXPECT_EQ(host.LiveObjects(), 0);
}

TEST_F(MemoryHostTest, ComponentCallsAreCounted) {
  host.InitializeComponents();
  host.InitializeComponents();
  host.UninitializeComponents();
  EXPECT_EQ(host.ComponentInitializations(), 2);
  EXPECT_EQ(host.ComponentUninitializations(), 1);
}

TEST(MemoryHostThreads, DeliveriesAndPlugInCallsMayRunConcurrently) {
  MemoryHost host;
  auto sink = std::make_shared<ScriptedSink>();
  std::atomic<int> seen{0};
  auto inbox = host.CreateFolderManager()->GetInboxFolder();
  sink->on_event = [&](const HostEvent& e) {
    inbox->GetMessage(static_cast<int32_t>(e.arguments[0].integer))->MarkRead();
    ++seen;
  };
  inbox->Advise(sink);
  std::thread deliverer([&] {
    for (int i = 0; i < 200; ++i) host.DeliverNewMessage(MemoryHost::kInboxId, {}, "");
  });
  std::thread plug_in([&] {
    auto manager = host.CreateFolderManager();
    for (int i = 0; i < 200; ++i) {
      auto folder = manager->GetFolder(MemoryHost::kInboxId);
      const uint32_t cookie = folder->Advise(std::make_shared<ScriptedSink>());
      for (auto m = folder->GetFirstMessage(); m; m = folder->GetNextMessage()) m->GetHeaderText();
      folder->Unadvise(cookie);
    }
  });
  deliverer.join();
  plug_in.join();
  EXPECT_EQ(seen, 200);
  EXPECT_EQ(host.MessageIds(MemoryHost::kInboxId).size(), 200u);
  EXPECT_EQ(host.Subscriptions(), 1u);
}

TEST(MemoryHostLifetime, ObjectsMayOutliveTheHost) {
  auto host = std::make_unique<MemoryHost>();
  const int32_t id = host->AddMessage(MemoryHost::kInboxId, {{"Subject", "s"}}, "");
  auto message = host->CreateFolderManager()->GetInboxFolder()->GetMessage(id);
  host.reset();
  int32_t found = 0;
  EXPECT_EQ(message->GetHeaderValue(message->GetRootPart(), "Subject", &found), "s");
}

}  // namespace
}  // namespace tarvex
