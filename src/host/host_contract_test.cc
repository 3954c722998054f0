#include "host/host_contract_test.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "testing/host_error.h"

namespace tarvex {
namespace {

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

}  // namespace

HostRef<HostFolder> FolderNamed(HostFolderManager& manager, const std::string& name) {
  for (HostRef<HostFolder>& folder : WalkFolders(manager)) {
    if (folder->GetName() == name) return folder;
  }
  return nullptr;
}

namespace {

std::vector<std::string> WalkNames(HostFolderManager& manager) {
  std::vector<std::string> names;
  for (const auto& folder : WalkFolders(manager)) names.push_back(folder->GetName());
  return names;
}

int32_t FolderIdOf(HostFolderManager& manager, const std::string& name) {
  HostRef<HostFolder> folder = FolderNamed(manager, name);
  return folder ? folder->GetId() : -1;
}

// The header's value, or "<absent>" when the message has none (which must come
// back as an empty value with found 0).
std::string Header(HostMessage& message, const std::string& name) {
  int32_t found = -1;
  const std::string value = message.GetHeaderValue(message.GetRootPart(), name, &found);
  EXPECT_TRUE(found == 1 || (found == 0 && value.empty())) << name << ": " << found;
  return found == 1 ? value : "<absent>";
}

HostRef<HostMessage> FindByMessageId(HostFolder& folder, const std::string& message_id) {
  for (auto message = folder.GetFirstMessage(); message; message = folder.GetNextMessage()) {
    if (Header(*message, "Message-ID") == message_id) return message;
  }
  return nullptr;
}

// How often what occurs in text, ignoring the case of ASCII letters.
int CountIgnoringCase(std::string text, const std::string& what) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  int count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

const HostUnderTest::Headers kPlain = {{"From", "Alice <alice@example.com>"},
                                       {"To", "bob@example.com"},
                                       {"Subject", "Lunch"},
                                       {"Message-ID", "<plain@example.com>"}};

TEST_P(HostContractTest, WalkVisitsEveryFolderOnceStandardOnesIncluded) {
  auto manager = library().CreateFolderManager();
  const auto folders = WalkFolders(*manager);
  std::set<int32_t> ids;
  for (const auto& folder : folders) {
    EXPECT_GT(folder->GetId(), 0);
    EXPECT_TRUE(ids.insert(folder->GetId()).second) << "visited twice: " << folder->GetName();
  }
  const std::vector<std::string> names = WalkNames(*manager);  // a new walk starts over
  EXPECT_EQ(names.size(), folders.size());
  for (const char* standard :
       {"Local Folders", "Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts"}) {
    EXPECT_EQ(std::count(names.begin(), names.end(), standard), 1) << standard;
  }
  EXPECT_EQ(manager->GetNextFolder(), nullptr);  // stays ended
  auto inbox = manager->GetInboxFolder();
  EXPECT_EQ(inbox->GetName(), "Inbox");
  EXPECT_EQ(manager->GetFolder(inbox->GetId())->GetName(), "Inbox");
}

TEST_P(HostContractTest, CreatedSubFoldersJoinTheWalkWithWindows1252Names) {
  auto manager = library().CreateFolderManager();
  const size_t before = WalkFolders(*manager).size();
  auto spam = manager->GetInboxFolder()->CreateSubFolder("Spam");
  ASSERT_NE(spam, nullptr);
  EXPECT_EQ(spam->GetName(), "Spam");
  auto junk = spam->CreateSubFolder("Courrier ind\xE9sirable");
  EXPECT_NE(junk->GetId(), spam->GetId());
  const std::vector<std::string> names = WalkNames(*manager);
  EXPECT_EQ(names.size(), before + 2);
  EXPECT_EQ(std::count(names.begin(), names.end(), "Spam"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "Courrier ind\xE9sirable"), 1);
  EXPECT_EQ(manager->GetFolder(junk->GetId())->GetName(), "Courrier ind\xE9sirable");
}

TEST_P(HostContractTest, UnknownFolderAndMessageIdsRaise) {
  auto manager = library().CreateFolderManager();
  auto inbox = manager->GetInboxFolder();
  const int32_t drafts = FolderIdOf(*manager, "Drafts");
  const int32_t id = host().AddMessage(inbox->GetId(), kPlain, "Noon?");
  EXPECT_THROW(inbox->GetMessage(id + 1000), HostError);
  EXPECT_THROW(inbox->GetMessage(-1), HostError);
  EXPECT_THROW(manager->GetFolder(987654), HostError);
  EXPECT_THROW(manager->MoveMessage(inbox->GetId(), drafts, id + 1000), HostError);
  EXPECT_THROW(manager->MoveMessage(inbox->GetId(), 987654, id), HostError);
  EXPECT_THROW(manager->MoveMessage(987654, drafts, id), HostError);
  EXPECT_NE(inbox->GetMessage(id), nullptr);
}

TEST_P(HostContractTest, MessageWalkVisitsEachMessageOnce) {
  auto inbox = library().CreateFolderManager()->GetInboxFolder();
  EXPECT_EQ(inbox->GetFirstMessage(), nullptr);
  std::multiset<std::string> expected, seen;
  for (int i = 0; i < 5; ++i) {
    const std::string message_id = "<m" + std::to_string(i) + "@example.com>";
    host().AddMessage(inbox->GetId(), {{"Message-ID", message_id}}, "body");
    expected.insert(message_id);
  }
  for (auto m = inbox->GetFirstMessage(); m && seen.size() <= 5; m = inbox->GetNextMessage()) {
    seen.insert(Header(*m, "Message-ID"));
  }
  EXPECT_EQ(seen, expected);
}

TEST_P(HostContractTest, HeadersAndBodyComeBackAsWindows1252) {
  auto inbox = library().CreateFolderManager()->GetInboxFolder();
  // "Café € 中" and "naïve": é, € and ï exist in Windows-1252, 中 does not.
  const int32_t id = host().AddMessage(
      inbox->GetId(),
      {{"From", "Alice <alice@example.com>"}, {"Subject", "Caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD"}},
      "na\xC3\xAFve\r\n");
  auto message = inbox->GetMessage(id);
  const std::string text = message->GetHeaderText();
  const size_t from = text.find("From: Alice <alice@example.com>\r\n");
  EXPECT_NE(from, std::string::npos) << text;
  EXPECT_LT(from, text.find("Subject: Caf\xE9 \x80 ?\r\n")) << text;
  EXPECT_NE(message->GetRawHeaders().find("Subject: Caf\xE9 \x80 ?\r\n"), std::string::npos);
  EXPECT_EQ(Header(*message, "subject"), "Caf\xE9 \x80 ?");
  EXPECT_EQ(Header(*message, "X-Absent"), "<absent>");
  EXPECT_EQ(message->GetPartText(message->GetBodyPart()), "na\xEFve\r\n");
}

TEST_P(HostContractTest, SetHeaderValueShowsOnlyAfterCommitAndReplacesInsteadOfAdding) {
  auto inbox = library().CreateFolderManager()->GetInboxFolder();
  HostUnderTest::Headers headers = kPlain;
  headers.emplace_back("X-Verdict", "Clean");
  const int32_t id = host().AddMessage(inbox->GetId(), headers, "Noon?");
  auto writer = inbox->GetMessage(id);
  auto reader = inbox->GetMessage(id);
  writer->SetHeaderValue(writer->GetRootPart(), "x-verdict", "Spam \xE9t\xE9");
  writer->SetHeaderValue(writer->GetRootPart(), "X-Score", "1");
  EXPECT_EQ(Header(*reader, "X-Verdict"), "Clean");
  EXPECT_EQ(Header(*writer, "X-Score"), "<absent>");
  EXPECT_EQ(CountIgnoringCase(reader->GetHeaderText(), "x-score"), 0);

  writer->Commit();
  EXPECT_EQ(Header(*reader, "X-Verdict"), "Spam \xE9t\xE9");
  writer->SetHeaderValue(writer->GetRootPart(), "X-Score", "2");
  writer->Commit();
  EXPECT_EQ(Header(*reader, "X-Score"), "2");
  const std::string text = inbox->GetMessage(id)->GetHeaderText();
  EXPECT_EQ(CountIgnoringCase(text, "x-verdict: spam \xE9t\xE9\r\n"), 1) << text;
  EXPECT_EQ(CountIgnoringCase(text, "x-verdict:"), 1) << text;
  EXPECT_EQ(CountIgnoringCase(text, "x-score:"), 1) << text;
  EXPECT_EQ(CountIgnoringCase(text, "subject: lunch\r\n"), 1) << text;
}

TEST_P(HostContractTest, MoveMessageTakesTheMessageWithItsHeaders) {
  auto manager = library().CreateFolderManager();
  auto inbox = manager->GetInboxFolder();
  auto junk = inbox->CreateSubFolder("Junk");
  const int32_t id = host().AddMessage(inbox->GetId(), kPlain, "Noon?");
  const int32_t other = host().AddMessage(inbox->GetId(), {{"Message-ID", "<stay@x>"}}, "");
  EXPECT_TRUE(manager->MoveMessage(inbox->GetId(), junk->GetId(), id));
  EXPECT_THROW(inbox->GetMessage(id), HostError);
  EXPECT_EQ(FindByMessageId(*inbox, "<plain@example.com>"), nullptr);
  EXPECT_NE(inbox->GetMessage(other), nullptr);
  auto moved = FindByMessageId(*junk, "<plain@example.com>");
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(Header(*moved, "Subject"), "Lunch");
  EXPECT_EQ(Header(*moved, "From"), "Alice <alice@example.com>");
  EXPECT_EQ(moved->GetPartText(moved->GetBodyPart()), "Noon?");
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

TEST_P(HostContractTest, NewMessageReachesExactlyTheSinksOfItsFolder) {
  auto manager = library().CreateFolderManager();
  auto inbox_a = manager->GetInboxFolder();
  auto inbox_b = manager->GetFolder(inbox_a->GetId());
  auto drafts = manager->GetFolder(FolderIdOf(*manager, "Drafts"));
  auto on_a = std::make_shared<RecordingSink>(), on_b = std::make_shared<RecordingSink>();
  auto on_drafts = std::make_shared<RecordingSink>();
  const uint32_t cookie_a = inbox_a->Advise(on_a), cookie_b = inbox_b->Advise(on_b);
  drafts->Advise(on_drafts);

  const int32_t first = host().DeliverNewMessage(inbox_a->GetId(), kPlain, "Noon?");
  ASSERT_EQ(on_a->Numbers(), std::vector<int32_t>{event::kOnNewMessage});
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
  host().DeliverNewMessage(inbox_a->GetId(), kPlain, "Third");
  EXPECT_EQ(on_b->events.size(), 2u);
}

TEST_P(HostContractTest, InitAndShutdownReachTheInitSinksUntilUnadvised) {
  auto init = library().CreateInit();
  auto sink = std::make_shared<RecordingSink>();
  const uint32_t cookie = init->Advise(sink);
  host().RaiseInit();
  host().RaiseShutdown();
  EXPECT_EQ(sink->Numbers(), (std::vector<int32_t>{event::kOnInitOEAPI, event::kOnShutdownOEAPI}));
  EXPECT_TRUE(sink->events[0].arguments.empty());
  EXPECT_THROW(init->Unadvise(cookie + 1000), HostError);
  init->Unadvise(cookie);
  EXPECT_THROW(init->Unadvise(cookie), HostError);
  host().RaiseInit();
  EXPECT_EQ(sink->events.size(), 2u);
}

TEST_P(HostContractTest, EveryObjectHandedOutIsReleasedWithItsLastReference) {
  const int baseline = host().LiveObjects();
  {
    auto init = library().CreateInit();
    auto api = library().CreateApi();
    auto toolbar = api->CreateToolbar();
    toolbar->SetToolbarFlag(1);
    toolbar->Remove();
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

// ------------------------------------------------------------------ failures

TEST_P(HostContractTest, InjectedFailuresCarryTheirCodeAndDescriptionAndChangeNothing) {
  auto manager = library().CreateFolderManager();
  auto inbox = manager->GetInboxFolder();
  const int32_t drafts = FolderIdOf(*manager, "Drafts");
  const std::string second = WalkNames(*manager)[1];
  const int32_t id = host().AddMessage(inbox->GetId(), kPlain, "Noon?");
  auto message = inbox->GetMessage(id);
  const int32_t part = message->GetRootPart();
  // The dash and é exist in Windows-1252, the arrow does not.
  faults().FailNext("SetHeaderValue", status::kAccessDenied, "\xE2\x80\x93 \xC3\xA9 \xE2\x86\x92");
  faults().FailNext("SetHeaderValue", status::kUnexpected);
  HostError e = ErrorOf([&] { message->SetHeaderValue(part, "X-A", "1"); });
  EXPECT_EQ(e.code(), status::kAccessDenied);
  EXPECT_EQ(e.description(), "\x96 \xE9 ?");
  e = ErrorOf([&] { message->SetHeaderValue(part, "X-A", "1"); });
  EXPECT_EQ(e.code(), status::kUnexpected);
  EXPECT_EQ(e.description(), "");
  message->SetHeaderValue(part, "X-B", "2");

  for (const char* operation : {"Commit", "MoveMessage", "MarkRead", "Advise", "GetNextFolder"}) {
    faults().FailNext(operation, status::kFail);
  }
  EXPECT_THROW(message->Commit(), HostError);
  EXPECT_EQ(Header(*inbox->GetMessage(id), "X-B"), "<absent>");
  message->Commit();  // the staged change survived the failed commit
  EXPECT_EQ(Header(*inbox->GetMessage(id), "X-B"), "2");
  EXPECT_EQ(Header(*inbox->GetMessage(id), "X-A"), "<absent>");
  EXPECT_THROW(manager->MoveMessage(inbox->GetId(), drafts, id), HostError);
  EXPECT_NE(inbox->GetMessage(id), nullptr);
  EXPECT_THROW(message->MarkRead(), HostError);
  EXPECT_FALSE(host().IsRead(inbox->GetId(), id));
  auto sink = std::make_shared<RecordingSink>();
  EXPECT_THROW(inbox->Advise(sink), HostError);
  host().DeliverNewMessage(inbox->GetId(), kPlain, "Again");
  EXPECT_TRUE(sink->events.empty());
  manager->GetFirstFolder();
  EXPECT_THROW(manager->GetNextFolder(), HostError);
  EXPECT_EQ(manager->GetNextFolder()->GetName(), second);  // the walk did not move
}

TEST_P(HostContractTest, FailuresCountTheCallsOfTheirOperationOnEveryObject) {
  auto manager = library().CreateFolderManager();
  auto inbox = manager->GetInboxFolder();
  faults().FailCall("GetName", 2, status::kFail, "the second");
  EXPECT_EQ(inbox->GetName(), "Inbox");
  EXPECT_EQ(ErrorOf([&] { manager->GetInboxFolder()->GetName(); }).description(), "the second");
  EXPECT_EQ(inbox->GetName(), "Inbox");

  faults().FailAlways("GetId", status::kOutOfMemory);
  faults().FailNext("GetName", status::kFail);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ErrorOf([&] { manager->GetInboxFolder()->GetId(); }).code(), status::kOutOfMemory);
  }
  faults().Heal();
  EXPECT_GT(inbox->GetId(), 0);
  EXPECT_EQ(inbox->GetName(), "Inbox");

  faults().FailNext("CreateApi", status::kOutOfMemory);
  EXPECT_EQ(ErrorOf([&] { library().CreateApi(); }).code(), status::kOutOfMemory);
  EXPECT_NE(library().CreateApi(), nullptr);
  EXPECT_THROW(faults().FailNext("DoGetName", status::kFail), std::invalid_argument);
  EXPECT_THROW(faults().FailCall("GetName", 0, status::kFail), std::invalid_argument);
}

TEST_P(HostContractTest, TheHostsOwnFailuresKeepTheirDescriptionsBehindTheWrapper) {
  auto manager = library().CreateFolderManager();
  const int32_t inbox = manager->GetInboxFolder()->GetId();
  faults().FailNext("GetFolder", status::kAccessDenied, "injected");
  EXPECT_EQ(ErrorOf([&] { manager->GetFolder(inbox); }).description(), "injected");
  const HostError own = ErrorOf([&] { manager->GetFolder(987654); });
  EXPECT_EQ(own.code(), status::kInvalidArgument);
  EXPECT_EQ(own.description(), "There is no folder 987654.");
}

TEST_P(HostContractTest, WrappedObjectsKeepTheirFailuresAfterTheWrapperIsGone) {
  HostRef<HostFolder> inbox;
  {
    FaultInjectingHost wrapper(host().library());
    wrapper.FailAlways("GetName", status::kAccessDenied, "gone");
    inbox = wrapper.CreateFolderManager()->GetInboxFolder();
  }
  EXPECT_EQ(ErrorOf([&] { inbox->GetName(); }).description(), "gone");
  EXPECT_GT(inbox->GetId(), 0);
}

}  // namespace
}  // namespace tarvex
