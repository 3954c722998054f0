#include "host/host_contract_test.h"

#include <algorithm>
#include <set>

#include "host/folder_lookup.h"

namespace tarvex {
namespace {

// Records every event it is given.
class RecordingSink : public HostEventSink {
 public:
  HostStatus Invoke(const HostEvent& event, std::string*) override {
    events.push_back(event);
    return status::kOk;
  }
  std::vector<int32_t> Numbers() const {
    std::vector<int32_t> numbers;
    for (const HostEvent& e : events) numbers.push_back(e.number);
    return numbers;
  }
  std::vector<HostEvent> events;
};

std::vector<HostRef<HostFolder>> WalkFolders(HostFolderManager& manager) {
  std::vector<HostRef<HostFolder>> folders;
  for (auto folder = manager.GetFirstFolder(); folder; folder = manager.GetNextFolder()) {
    folders.push_back(folder);
    if (folders.size() > 10000) break;  // a walk that never ends
  }
  return folders;
}

std::vector<std::string> WalkNames(HostFolderManager& manager) {
  std::vector<std::string> names;
  for (const auto& folder : WalkFolders(manager)) names.push_back(folder->GetName());
  return names;
}

int32_t FolderIdOf(HostFolderManager& manager, const std::string& name) {
  HostRef<HostFolder> folder = FindFolderByName(manager, name);
  return folder ? folder->GetId() : -1;
}

// The folder's first message with that header value; null when none has it.
HostRef<HostMessage> FindByHeader(HostFolder& folder, const std::string& name,
                                  const std::string& value) {
  for (auto message = folder.GetFirstMessage(); message; message = folder.GetNextMessage()) {
    int32_t found = 0;
    if (message->GetHeaderValue(message->GetRootPart(), name, &found) == value && found) {
      return message;
    }
  }
  return nullptr;
}

int Count(const std::string& text, const std::string& what) {
  int count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

const HostUnderTest::Headers kPlain = {{"From", "alice@example.com"},
                                       {"To", "bob@example.com"},
                                       {"Subject", "Lunch"},
                                       {"Message-ID", "<plain@example.com>"}};

// ------------------------------------------------------------------ folders

TEST_P(HostContractTest, StandardFoldersArePresentAndTheInboxIsOneOfThem) {
  auto manager = library().CreateFolderManager();
  const std::vector<std::string> names = WalkNames(*manager);
  for (const char* standard :
       {"Local Folders", "Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts"}) {
    EXPECT_EQ(std::count(names.begin(), names.end(), standard), 1) << standard;
  }
  auto inbox = manager->GetInboxFolder();
  EXPECT_EQ(inbox->GetName(), "Inbox");
  EXPECT_EQ(inbox->GetId(), FolderIdOf(*manager, "Inbox"));
  EXPECT_EQ(manager->GetFolder(inbox->GetId())->GetName(), "Inbox");
}

TEST_P(HostContractTest, WalkVisitsEveryFolderOnceAndStaysEnded) {
  auto manager = library().CreateFolderManager();
  const auto folders = WalkFolders(*manager);
  std::set<int32_t> ids;
  for (const auto& folder : folders) {
    EXPECT_GT(folder->GetId(), 0);
    EXPECT_TRUE(ids.insert(folder->GetId()).second) << "visited twice: " << folder->GetName();
  }
  EXPECT_GE(ids.size(), 6u);
  EXPECT_EQ(manager->GetNextFolder(), nullptr);
  // A new walk starts over.
  EXPECT_EQ(WalkFolders(*manager).size(), folders.size());
}

TEST_P(HostContractTest, CreatedSubFoldersJoinTheWalk) {
  auto manager = library().CreateFolderManager();
  const size_t before = WalkFolders(*manager).size();
  auto spam = manager->GetInboxFolder()->CreateSubFolder("Spam");
  ASSERT_NE(spam, nullptr);
  EXPECT_EQ(spam->GetName(), "Spam");
  auto old = spam->CreateSubFolder("Old spam");
  EXPECT_NE(old->GetId(), spam->GetId());

  const std::vector<std::string> names = WalkNames(*manager);
  EXPECT_EQ(names.size(), before + 2);
  EXPECT_EQ(std::count(names.begin(), names.end(), "Spam"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "Old spam"), 1);
  EXPECT_EQ(manager->GetFolder(old->GetId())->GetName(), "Old spam");
}

TEST_P(HostContractTest, FolderNamesCrossAsWindows1252) {
  auto manager = library().CreateFolderManager();
  manager->GetInboxFolder()->CreateSubFolder("Courrier ind\xE9sirable");
  EXPECT_NE(FolderIdOf(*manager, "Courrier ind\xE9sirable"), -1);
}

TEST_P(HostContractTest, UnknownFolderAndMessageIdsRaise) {
  auto manager = library().CreateFolderManager();
  auto inbox = manager->GetInboxFolder();
  const int32_t id = host().AddMessage(inbox->GetId(), kPlain, "Noon?");
  EXPECT_THROW(inbox->GetMessage(id + 1000), HostError);
  EXPECT_THROW(inbox->GetMessage(-1), HostError);
  EXPECT_THROW(manager->GetFolder(987654), HostError);
  EXPECT_NE(inbox->GetMessage(id), nullptr);
}

// ------------------------------------------------------------------ messages

TEST_P(HostContractTest, MessageWalkVisitsEachMessageOnce) {
  auto inbox = library().CreateFolderManager()->GetInboxFolder();
  EXPECT_EQ(inbox->GetFirstMessage(), nullptr);
  std::set<std::string> expected;
  for (int i = 0; i < 5; ++i) {
    const std::string mid = "<m" + std::to_string(i) + "@example.com>";
    host().AddMessage(inbox->GetId(), {{"Message-ID", mid}}, "body");
    expected.insert(mid);
  }
  std::multiset<std::string> seen;
  for (auto m = inbox->GetFirstMessage(); m; m = inbox->GetNextMessage()) {
    int32_t found = 0;
    seen.insert(m->GetHeaderValue(m->GetRootPart(), "Message-ID", &found));
    ASSERT_LE(seen.size(), 5u);
  }
  EXPECT_EQ(seen, std::multiset<std::string>(expected.begin(), expected.end()));
}

TEST_P(HostContractTest, HeadersAndBodyComeBackAsWindows1252) {
  auto inbox = library().CreateFolderManager()->GetInboxFolder();
  // "Café € 中" and "naïve": é, € and ï exist in Windows-1252, 中 does not.
  const int32_t id = host().AddMessage(
      inbox->GetId(),
      {{"From", "alice@example.com"}, {"Subject", "Caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD"}},
      "na\xC3\xAFve\r\n");
  auto message = inbox->GetMessage(id);

  const std::string text = message->GetHeaderText();
  const size_t from = text.find("From: alice@example.com\r\n");
  const size_t subject = text.find("Subject: Caf\xE9 \x80 ?\r\n");
  EXPECT_NE(from, std::string::npos) << text;
  EXPECT_NE(subject, std::string::npos) << text;
  EXPECT_LT(from, subject);
  EXPECT_NE(message->GetRawHeaders().find("Subject: Caf\xE9 \x80 ?\r\n"), std::string::npos);

  int32_t found = 7;
  EXPECT_EQ(message->GetHeaderValue(message->GetRootPart(), "subject", &found), "Caf\xE9 \x80 ?");
  EXPECT_EQ(found, 1);
  EXPECT_EQ(message->GetHeaderValue(message->GetRootPart(), "X-Absent", &found), "");
  EXPECT_EQ(found, 0);
  EXPECT_EQ(message->GetPartText(message->GetBodyPart()), "na\xEFve\r\n");
}

TEST_P(HostContractTest, SetHeaderValueShowsOnlyAfterCommit) {
  auto inbox = library().CreateFolderManager()->GetInboxFolder();
  const int32_t id = host().AddMessage(inbox->GetId(), kPlain, "Noon?");
  auto writer = inbox->GetMessage(id);
  auto reader = inbox->GetMessage(id);
  int32_t found = 0;

  writer->SetHeaderValue(writer->GetRootPart(), "X-TVX-RESULT", "Spam \xE9t\xE9");
  EXPECT_EQ(reader->GetHeaderValue(reader->GetRootPart(), "X-TVX-RESULT", &found), "");
  EXPECT_EQ(found, 0);
  EXPECT_EQ(writer->GetHeaderValue(writer->GetRootPart(), "X-TVX-RESULT", &found), "");
  EXPECT_EQ(found, 0);
  EXPECT_EQ(Count(reader->GetHeaderText(), "X-TVX-RESULT"), 0);

  writer->Commit();
  EXPECT_EQ(reader->GetHeaderValue(reader->GetRootPart(), "X-TVX-RESULT", &found),
            "Spam \xE9t\xE9");
  EXPECT_EQ(found, 1);
  EXPECT_NE(inbox->GetMessage(id)->GetHeaderText().find("X-TVX-RESULT: Spam \xE9t\xE9\r\n"),
            std::string::npos);
}

TEST_P(HostContractTest, SetHeaderValueReplacesInsteadOfAdding) {
  auto inbox = library().CreateFolderManager()->GetInboxFolder();
  HostUnderTest::Headers headers = kPlain;
  headers.emplace_back("X-TVX-RESULT", "Clean");
  const int32_t id = host().AddMessage(inbox->GetId(), headers, "Noon?");
  auto message = inbox->GetMessage(id);
  message->SetHeaderValue(message->GetRootPart(), "x-tvx-result", "Spam");
  message->SetHeaderValue(message->GetRootPart(), "X-TVX-SCORE", "1");
  message->Commit();
  message->SetHeaderValue(message->GetRootPart(), "X-TVX-SCORE", "2");
  message->Commit();

  const std::string text = Lower(inbox->GetMessage(id)->GetHeaderText());
  EXPECT_EQ(Count(text, "x-tvx-result:"), 1) << text;
  EXPECT_EQ(Count(text, "x-tvx-score:"), 1) << text;
  EXPECT_EQ(Count(text, "subject: lunch\r\n"), 1) << text;
  int32_t found = 0;
  EXPECT_EQ(message->GetHeaderValue(message->GetRootPart(), "X-TVX-RESULT", &found), "Spam");
  EXPECT_EQ(message->GetHeaderValue(message->GetRootPart(), "X-TVX-SCORE", &found), "2");
}

TEST_P(HostContractTest, MoveMessageTakesTheMessageWithItsHeaders) {
  auto manager = library().CreateFolderManager();
  auto inbox = manager->GetInboxFolder();
  auto junk = inbox->CreateSubFolder("Junk");
  const int32_t id = host().AddMessage(inbox->GetId(), kPlain, "Noon?");
  const int32_t other = host().AddMessage(inbox->GetId(), {{"Message-ID", "<stay@x>"}}, "");

  EXPECT_TRUE(manager->MoveMessage(inbox->GetId(), junk->GetId(), id));
  EXPECT_THROW(inbox->GetMessage(id), HostError);
  EXPECT_EQ(FindByHeader(*inbox, "Message-ID", "<plain@example.com>"), nullptr);
  EXPECT_NE(inbox->GetMessage(other), nullptr);

  auto moved = FindByHeader(*junk, "Message-ID", "<plain@example.com>");
  ASSERT_NE(moved, nullptr);
  int32_t found = 0;
  EXPECT_EQ(moved->GetHeaderValue(moved->GetRootPart(), "Subject", &found), "Lunch");
  EXPECT_EQ(moved->GetHeaderValue(moved->GetRootPart(), "From", &found), "alice@example.com");
  EXPECT_EQ(moved->GetPartText(moved->GetBodyPart()), "Noon?");
}

TEST_P(HostContractTest, MoveMessageOfUnknownMessageOrFolderRaises) {
  auto manager = library().CreateFolderManager();
  auto inbox = manager->GetInboxFolder();
  const int32_t drafts = FolderIdOf(*manager, "Drafts");
  const int32_t id = host().AddMessage(inbox->GetId(), kPlain, "Noon?");
  EXPECT_THROW(manager->MoveMessage(inbox->GetId(), drafts, id + 1000), HostError);
  EXPECT_THROW(manager->MoveMessage(inbox->GetId(), 987654, id), HostError);
  EXPECT_THROW(manager->MoveMessage(987654, drafts, id), HostError);
  EXPECT_NE(inbox->GetMessage(id), nullptr);
}

TEST_P(HostContractTest, MarkReadSetsTheReadFlag) {
  auto inbox = library().CreateFolderManager()->GetInboxFolder();
  const int32_t id = host().AddMessage(inbox->GetId(), kPlain, "Noon?");
  const int32_t other = host().AddMessage(inbox->GetId(), kPlain, "Noon?");
  EXPECT_FALSE(host().IsRead(inbox->GetId(), id));
  inbox->GetMessage(id)->MarkRead();
  EXPECT_TRUE(host().IsRead(inbox->GetId(), id));
  EXPECT_FALSE(host().IsRead(inbox->GetId(), other));
}

// ------------------------------------------------------------------ api

TEST_P(HostContractTest, SelectionIteratesTheSelectedIdsThenMinusOne) {
  auto inbox = library().CreateFolderManager()->GetInboxFolder();
  const int32_t a = host().AddMessage(inbox->GetId(), kPlain, "a");
  const int32_t b = host().AddMessage(inbox->GetId(), kPlain, "b");
  auto api = library().CreateApi();

  host().SetSelection(inbox->GetId(), {});
  EXPECT_EQ(api->GetCurrentFolderId(), inbox->GetId());
  EXPECT_EQ(api->GetFirstSelectedMessageId(), -1);

  host().SetSelection(inbox->GetId(), {b, a});
  EXPECT_EQ(api->GetFirstSelectedMessageId(), b);
  EXPECT_EQ(api->GetNextSelectedMessageId(), a);
  EXPECT_EQ(api->GetNextSelectedMessageId(), -1);
  EXPECT_EQ(api->GetNextSelectedMessageId(), -1);
  EXPECT_EQ(api->GetFirstSelectedMessageId(), b);  // starts over
}

TEST_P(HostContractTest, ToolbarsCanBeCreatedFlaggedAndRemoved) {
  auto api = library().CreateApi();
  auto toolbar = api->CreateToolbar();
  ASSERT_NE(toolbar, nullptr);
  EXPECT_NO_THROW(toolbar->SetToolbarFlag(1));
  EXPECT_NO_THROW(toolbar->Remove());
}

// ------------------------------------------------------------------ events

TEST_P(HostContractTest, NewMessageReachesExactlyTheSinksOfItsFolder) {
  auto manager = library().CreateFolderManager();
  auto inbox_a = manager->GetInboxFolder();
  auto inbox_b = manager->GetFolder(inbox_a->GetId());
  auto drafts = manager->GetFolder(FolderIdOf(*manager, "Drafts"));
  auto on_a = std::make_shared<RecordingSink>();
  auto on_b = std::make_shared<RecordingSink>();
  auto on_drafts = std::make_shared<RecordingSink>();
  const uint32_t cookie_a = inbox_a->Advise(on_a);
  const uint32_t cookie_b = inbox_b->Advise(on_b);
  const uint32_t cookie_drafts = drafts->Advise(on_drafts);

  const int32_t first = host().DeliverNewMessage(inbox_a->GetId(), kPlain, "Noon?");
  ASSERT_EQ(on_a->events.size(), 1u);
  EXPECT_EQ(on_a->events[0].number, event::kOnNewMessage);
  ASSERT_EQ(on_a->events[0].arguments.size(), 1u);
  EXPECT_EQ(on_a->events[0].arguments[0].type, HostVariant::Type::kInteger);
  EXPECT_EQ(on_a->events[0].arguments[0].integer, first);
  EXPECT_EQ(on_b->Numbers(), std::vector<int32_t>{event::kOnNewMessage});
  EXPECT_TRUE(on_drafts->events.empty());
  EXPECT_NE(inbox_a->GetMessage(first), nullptr);

  inbox_a->Unadvise(cookie_a);
  host().DeliverNewMessage(inbox_a->GetId(), kPlain, "Again");
  EXPECT_EQ(on_a->events.size(), 1u);
  EXPECT_EQ(on_b->events.size(), 2u);

  inbox_b->Unadvise(cookie_b);
  drafts->Unadvise(cookie_drafts);
  host().DeliverNewMessage(inbox_a->GetId(), kPlain, "Third");
  EXPECT_EQ(on_b->events.size(), 2u);
}

TEST_P(HostContractTest, InitAndShutdownReachTheInitSinks) {
  auto init = library().CreateInit();
  auto sink = std::make_shared<RecordingSink>();
  const uint32_t cookie = init->Advise(sink);
  host().RaiseInit();
  host().RaiseShutdown();
  EXPECT_EQ(sink->Numbers(), (std::vector<int32_t>{event::kOnInitOEAPI, event::kOnShutdownOEAPI}));
  EXPECT_TRUE(sink->events[0].arguments.empty());
  init->Unadvise(cookie);
  host().RaiseInit();
  EXPECT_EQ(sink->events.size(), 2u);
}

TEST_P(HostContractTest, UnadviseOfAnUnknownCookieRaises) {
  auto init = library().CreateInit();
  const uint32_t cookie = init->Advise(std::make_shared<RecordingSink>());
  EXPECT_THROW(init->Unadvise(cookie + 1000), HostError);
  init->Unadvise(cookie);
  EXPECT_THROW(init->Unadvise(cookie), HostError);
}

// ------------------------------------------------------------------ references

TEST_P(HostContractTest, EveryObjectHandedOutIsReleasedWithItsLastReference) {
  const int baseline = host().LiveObjects();
  {
    auto init = library().CreateInit();
    auto api = library().CreateApi();
    auto toolbar = api->CreateToolbar();
    auto manager = library().CreateFolderManager();
    auto inbox = manager->GetInboxFolder();
    const int32_t id = host().AddMessage(inbox->GetId(), kPlain, "Noon?");
    auto message = inbox->GetMessage(id);
    EXPECT_EQ(host().LiveObjects(), baseline + 6);
    WalkFolders(*manager);
    for (auto m = inbox->GetFirstMessage(); m; m = inbox->GetNextMessage()) m->GetHeaderText();
    inbox->CreateSubFolder("Junk");
    EXPECT_EQ(host().LiveObjects(), baseline + 6);
  }
  EXPECT_EQ(host().LiveObjects(), baseline);
}

}  // namespace
}  // namespace tarvex
