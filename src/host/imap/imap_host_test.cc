#include "host/imap/imap_host.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include "host/host_contract_test.h"
#include "host/imap/imap_test_util.h"
#include "mail/message_text.h"
#include "testing/dovecot_server.h"
#include "testing/host_error.h"
#include "testing/temp_folder.h"

namespace tarvex {
namespace {

using imap_test::Dovecot;
using imap_test::Text;
using ::testing::HasSubstr;

const char kVerdict[] = "X-TVX-RESULT";

class RecordingSink : public HostEventSink {
 public:
  HostStatus Invoke(const HostEvent& event, std::string*) override {
    if (event.number == event::kOnNewMessage)
      ids.push_back(static_cast<int32_t>(event.arguments[0].integer));
    return status::kOk;
  }
  std::vector<int32_t> ids;
};

class ImapHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = imap_test::Missing();
    if (!missing.empty()) GTEST_SKIP() << missing;
    account_ = Dovecot().NewAccount();
    other_ = std::make_unique<imap::Connection>(account_);
  }

  ImapHost::Options Options() {
    ImapHost::Options options;
    options.judged_marks = {kVerdict};
    options.announced_state = state_.path() + "/announced";
    options.notice = [this](const std::string& line) { notices_.push_back(line); };
    return options;
  }

  // Another mail program's view of a mailbox: its messages, whole.
  std::vector<imap::FetchedMessage> Contents(const std::string& mailbox) {
    other_->Select(mailbox);
    other_->Noop();
    std::vector<imap::FetchedMessage> messages;
    for (uint32_t uid : other_->Uids(1)) messages.push_back(*other_->Fetch(uid, true));
    return messages;
  }

  imap::Account account_;
  std::unique_ptr<imap::Connection> other_;  // a mail program, or a delivery
  testing::TempFolder state_;
  std::vector<std::string> notices_;
};

TEST_F(ImapHostTest, CommitKeepsBodyBytesFlagsAndInternalDate) {
  // Bytes a careless rewrite would change: trailing blanks, 8-bit text,
  // an empty line in the body, no line end at the end.
  const std::string body = "line one  \r\nline\ttwo\r\nna\xC3\xAFve \r\n\r\nlast";
  const imap::InternalDate date{3, 1, 2020, 10, 20, 30, -500};
  other_->Append("INBOX", Text({{"Subject", "Keep"}, {"Message-ID", "<keep@x>"}}, body),
                 {"\\Flagged", "$Label1"}, date);
  const imap::FetchedMessage before = Contents("INBOX").at(0);
  ImapHost host(account_, Options());
  auto inbox = host.CreateFolderManager()->GetInboxFolder();
  auto message = inbox->GetFirstMessage();
  ASSERT_NE(message, nullptr);
  message->SetHeaderValue(message->GetRootPart(), kVerdict, "Spam");
  message->Commit();

  const auto after = Contents("INBOX");
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].bytes.substr(mail::LayOut(after[0].bytes).body_start), body);
  EXPECT_EQ(after[0].bytes, mail::SetHeaderFields(before.bytes, {{kVerdict, "Spam"}}));
  EXPECT_EQ(std::set<std::string>(after[0].flags.begin(), after[0].flags.end()),
            (std::set<std::string>{"\\Flagged", "$Label1"}));
  EXPECT_TRUE(after[0].date == before.date);
  EXPECT_EQ(after[0].date.year, 2020);
  EXPECT_EQ(after[0].date.second, 30);
}

TEST_F(ImapHostTest, AChangedUidValidityIsANewFolderWhoseUnjudgedMailIsAnnounced) {
  other_->Create("Work");
  {
    ImapHost host(account_, Options());
    auto work = FolderNamed(*host.CreateFolderManager(), "Work");
    work->Advise(std::make_shared<RecordingSink>());
    other_->Append("Work", Text({{"Message-ID", "<old@x>"}}, "old"), {}, std::nullopt);
    ASSERT_EQ(host.ProcessEvents().size(), 1u);  // UID 1 announced and remembered
  }
  // The folder is made anew: its UIDs start again, under a new UIDVALIDITY.
  other_->Delete("Work");
  other_->Create("Work");
  other_->Append("Work", Text({{"Message-ID", "<new@x>"}}, "unjudged"), {}, std::nullopt);
  other_->Append("Work", Text({{"Message-ID", "<judged@x>"}, {kVerdict, "Clean"}}, "judged"), {},
                 std::nullopt);

  ImapHost host(account_, Options());
  auto work = FolderNamed(*host.CreateFolderManager(), "Work");
  auto sink = std::make_shared<RecordingSink>();
  work->Advise(sink);
  const auto announced = host.AnnounceUnjudgedMail();
  ASSERT_EQ(sink->ids.size(), 1u);
  EXPECT_EQ(announced.size(), 1u);
  auto message = work->GetMessage(sink->ids[0]);
  int32_t found = 0;
  EXPECT_EQ(message->GetHeaderValue(message->GetRootPart(), "Message-ID", &found), "<new@x>");
}

TEST_F(ImapHostTest, ARewriteCutBetweenAppendAndExpungeLeavesACopyTheNextStartRemoves) {
  const std::string text = Text({{"Message-ID", "<cut@x>"}, {"Subject", "Cut"}}, "body\r\n");
  {
    ImapHost host(account_, Options());
    auto inbox = host.CreateFolderManager()->GetInboxFolder();
    other_->Append("INBOX", text, {}, std::nullopt);
    auto id = host.ScanForNewMessages(ImapHost::kInboxId);
    ASSERT_EQ(id.size(), 1u);
    host.SetStepHook([](const std::string& step) {
      if (step == imap_step::kCommitAppended) throw std::runtime_error("connection cut");
    });
    auto message = inbox->GetMessage(id[0].message);
    message->SetHeaderValue(message->GetRootPart(), kVerdict, "Spam");
    EXPECT_THAT(ErrorOf([&] { message->Commit(); }).description(), HasSubstr("connection cut"));
  }
  ASSERT_EQ(Contents("INBOX").size(), 2u);  // the original and its judged copy

  ImapHost host(account_, Options());
  auto sink = std::make_shared<RecordingSink>();
  host.CreateFolderManager()->GetInboxFolder()->Advise(sink);
  host.AnnounceUnjudgedMail();
  EXPECT_TRUE(sink->ids.empty());
  const auto left = Contents("INBOX");
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(mail::FirstHeaderValue(left[0].bytes, kVerdict), "Spam");
  EXPECT_EQ(left[0].bytes, mail::SetHeaderFields(text, {{kVerdict, "Spam"}}));
}

TEST_F(ImapHostTest, MailDeliveredIntoTheInboxIsAnnouncedWithinTwoSecondsThroughIdle) {
  ImapHost host(account_, Options());
  auto sink = std::make_shared<RecordingSink>();
  host.CreateFolderManager()->GetInboxFolder()->Advise(sink);
  pollfd watch{host.StartWatching(), POLLIN, 0};
  ::poll(&watch, 1, 2000);  // the watcher's first wake-up, once it is idling
  host.ProcessEvents();
  EXPECT_TRUE(sink->ids.empty());

  const auto start = std::chrono::steady_clock::now();
  other_->Append("INBOX", Text({{"Message-ID", "<live@x>"}}, "hello"), {}, std::nullopt);
  while (sink->ids.empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
    watch.revents = 0;
    if (::poll(&watch, 1, 100) > 0) host.ProcessEvents();
  }
  EXPECT_EQ(sink->ids.size(), 1u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(ImapHostTest, AStartAnnouncesExactlyWhatCameWhileNothingRan) {
  other_->Append("INBOX", Text({{"Message-ID", "<before@x>"}}, "seen"), {}, std::nullopt);
  {
    ImapHost host(account_, Options());
    auto sink = std::make_shared<RecordingSink>();
    host.CreateFolderManager()->GetInboxFolder()->Advise(sink);
    EXPECT_EQ(host.AnnounceUnjudgedMail().size(), 1u);  // a whitelisted one stays unmarked
  }
  other_->Append("INBOX", Text({{"Message-ID", "<while@x>"}}, "new"), {}, std::nullopt);
  ImapHost host(account_, Options());
  auto sink = std::make_shared<RecordingSink>();
  host.CreateFolderManager()->GetInboxFolder()->Advise(sink);
  host.AnnounceUnjudgedMail();
  ASSERT_EQ(sink->ids.size(), 1u);
  EXPECT_EQ(host.Message(ImapHost::kInboxId, sink->ids[0]).bytes,
            Text({{"Message-ID", "<while@x>"}}, "new"));
}

TEST_F(ImapHostTest, FoldersShowUnderTheHostsStandardNames) {
  // The server gives "Gesendet" the special use \Sent; "Sent" is only a usual name.
  for (const char* mailbox :
       {"Gesendet", "Sent", "Trash", "Deleted Messages", "Archive/2020", "Caf&AOk-"}) {
    other_->Create(mailbox);
  }
  ImapHost host(account_, Options());
  auto manager = host.CreateFolderManager();
  struct Case {
    const char* shown;
    const char* mailbox;
  };
  for (const Case& c :
       {Case{"Sent Items", "Gesendet"}, Case{"Sent", "Sent"}, Case{"Deleted Items", "Trash"},
        Case{"Deleted Messages", "Deleted Messages"}, Case{"Drafts", "Drafts"},
        Case{"2020", "Archive/2020"}, Case{"Caf\xE9", "Caf&AOk-"}}) {
    auto folder = FolderNamed(*manager, c.shown);
    ASSERT_NE(folder, nullptr) << c.shown;
    EXPECT_EQ(host.Mailbox(folder->GetId()), c.mailbox) << c.shown;
  }
  // The spam folder is made on the server, and subscribed.
  auto root = manager->GetFirstFolder();
  root->CreateSubFolder("DedoZarozo");
  bool listed = false;
  for (const imap::Mailbox& mailbox : other_->List()) listed |= mailbox.name == "DedoZarozo";
  EXPECT_TRUE(listed);
  // A standard folder the server lacks is made when something goes there.
  const int32_t drafts = FolderNamed(*manager, "Drafts")->GetId();
  const int32_t id = host.AddMessage(ImapHost::kInboxId, Text({{"Subject", "x"}}, ""));
  EXPECT_TRUE(manager->MoveMessage(ImapHost::kInboxId, drafts, id));
  EXPECT_EQ(Contents("Drafts").size(), 1u);
}

// What a mail window and a mail reader's pipe ask of the account.
TEST_F(ImapHostTest, ListsReadStateAndDepthAndFindsAPipedMessageByItsIdThenItsBody) {
  other_->Create("Archive/2020");
  other_->Append("INBOX", Text({{"Message-ID", "<one@x>"}}, "first"), {"\\Seen"}, std::nullopt);
  other_->Append("INBOX", Text({{"Message-ID", "<two@x>"}}, "second"), {}, std::nullopt);
  other_->Append("Archive/2020", Text({{"Message-ID", "<two@x>"}}, "other body"), {}, std::nullopt);
  ImapHost host(account_, Options());
  auto manager = host.CreateFolderManager();
  const int32_t archive = FolderNamed(*manager, "2020")->GetId();

  const std::vector<ImapHost::ListedMessage> inbox = host.ListMessages(ImapHost::kInboxId);
  ASSERT_EQ(inbox.size(), 2u);
  EXPECT_FALSE(inbox[0].unread);
  EXPECT_TRUE(inbox[1].unread);
  EXPECT_TRUE(host.ListMessages(ImapHost::kLocalFoldersId).empty());
  EXPECT_EQ(host.Depth(ImapHost::kLocalFoldersId), 0u);
  EXPECT_EQ(host.Depth(ImapHost::kInboxId), 1u);
  EXPECT_EQ(host.Depth(archive), 2u);

  // Piped with plain line ends and an mbox line, as a mail reader does.
  const std::string piped = "From x Sat Dec  5 10:00:00 2026\nMessage-ID: <two@x>\n\nsecond\n";
  using Found = std::vector<std::pair<int32_t, uint32_t>>;
  EXPECT_EQ(host.FindPipedMessage(piped), (Found{{ImapHost::kInboxId, inbox[1].id}}));
  EXPECT_EQ(host.FindPipedMessage("Message-ID: <two@x>\n\nneither\n").size(), 2u);
  EXPECT_TRUE(host.FindPipedMessage("Subject: no id\n\nsecond\n").empty());
}

// Without UIDPLUS an expunge removes every message marked deleted: the
// store's rewrite leaves its original marked, rather than take with it
// another program's message that may still be undeleted.
TEST_F(ImapHostTest, WithoutUidplusARewriteNeverExpungesAnotherProgramsDeletedMessage) {
  testing::DovecotServer server("imap_capability = IMAP4rev1 IDLE MOVE LITERAL+\n");
  const imap::Account account = server.NewAccount();
  imap::Connection other(account);
  ASSERT_FALSE(other.Has("UIDPLUS"));
  for (const char* id : {"<a@x>", "<b@x>", "<c@x>"}) {
    other.Append("INBOX", Text({{"Message-ID", id}}, id), {}, std::nullopt);
  }
  other.Select("INBOX");
  const std::vector<uint32_t> uids = other.Uids(1);
  other.AddFlags(uids[1], {"\\Deleted"});  // b: deleted by the user, not expunged

  ImapHost host(account, Options());
  auto inbox = host.CreateFolderManager()->GetInboxFolder();
  for (int32_t id : {static_cast<int32_t>(uids[0]), static_cast<int32_t>(uids[2])}) {
    auto message = inbox->GetMessage(id);
    message->SetHeaderValue(message->GetRootPart(), kVerdict, "Clean");
    message->Commit();
  }
  other.Noop();
  const std::vector<uint32_t> now = other.Uids(1);
  EXPECT_NE(std::find(now.begin(), now.end(), uids[1]), now.end()) << "b was expunged";
  EXPECT_EQ(now.size(), 5u);  // a, b, c, and the rewritten copies of a and c
  size_t told = 0;
  for (const std::string& line : notices_) told += line.find("lacks UIDPLUS") != std::string::npos;
  EXPECT_EQ(told, 1u);

  // Once the user undeletes theirs, the next rewrite takes the store's
  // leftovers with it.
  other.RemoveFlags(uids[1], {"\\Deleted"});
  other.Append("INBOX", Text({{"Message-ID", "<d@x>"}}, "d"), {}, std::nullopt);
  other.Noop();
  host.ScanForNewMessages(ImapHost::kInboxId);
  auto d = inbox->GetMessage(static_cast<int32_t>(other.Uids(1).back()));
  d->SetHeaderValue(d->GetRootPart(), kVerdict, "Clean");
  d->Commit();
  other.Noop();
  EXPECT_EQ(other.Uids(1).size(), 4u);  // b, and the rewritten a, c and d
}

TEST_F(ImapHostTest, ALostServerIsReachedAgainAndEachLossAndRecoveryIsToldOnce) {
  ImapHost host(account_, Options());
  auto inbox = host.CreateFolderManager()->GetInboxFolder();
  auto message = inbox->GetMessage(host.AddMessage(ImapHost::kInboxId, Text({{"A", "b"}}, "c")));
  host.DropConnection();  // a network failure between two calls goes unnoticed
  message->MarkRead();

  Dovecot().Stop();
  // Two attempts to reach it, a second apart, and a call between them that
  // does not wait.
  for (const int wait_ms : {0, 0, 1100}) {
    std::this_thread::sleep_for(std::chrono::milliseconds(wait_ms));
    EXPECT_THAT(ErrorOf([&] { message->MarkRead(); }).description(),
                HasSubstr("the server is not reachable"));
  }
  Dovecot().Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));  // the pause after two failures
  message->MarkRead();
  ASSERT_EQ(notices_.size(), 2u);
  EXPECT_THAT(notices_[0], HasSubstr("is not reachable"));
  EXPECT_THAT(notices_[1], HasSubstr("is reachable again"));
}

// Judges as the plug-in does: stamps the message and commits; a host
// failure is reported (here: counted) and the next message goes on.
// Holds its folder weakly: the host holds the sink, and a sink holding the
// host's folder would keep both alive for ever.
class StampingSink : public HostEventSink {
 public:
  explicit StampingSink(const HostRef<HostFolder>& folder) : folder_(folder) {}
  HostStatus Invoke(const HostEvent& event, std::string*) override {
    if (before_commit) std::exchange(before_commit, nullptr)();
    try {
      auto message = folder_.lock()->GetMessage(static_cast<int32_t>(event.arguments[0].integer));
      message->SetHeaderValue(message->GetRootPart(), kVerdict, "Clean");
      message->Commit();
      ++judged;
    } catch (const HostError&) {
      ++failed;
    }
    return status::kOk;
  }
  std::function<void()> before_commit;
  int judged = 0, failed = 0;

 private:
  std::weak_ptr<HostFolder> folder_;
};

TEST_F(ImapHostTest, MailWhoseJudgingTheServersLossCutShortIsAnnouncedAgain) {
  auto host = std::make_unique<ImapHost>(account_, Options());
  HostRef<HostFolder> inbox = host->CreateFolderManager()->GetInboxFolder();
  auto sink = std::make_shared<StampingSink>(inbox);
  inbox->Advise(sink);
  other_->Append("INBOX", Text({{"Message-ID", "<cut-short@x>"}}, "body"), {}, std::nullopt);
  sink->before_commit = [&] { Dovecot().Stop(); };
  host->ScanForNewMessages();
  EXPECT_EQ(sink->failed, 1);
  Dovecot().Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // the pause after a failure
  host->ScanForNewMessages();
  EXPECT_EQ(sink->judged, 1);

  // And across a restart: what was cut short is not remembered as announced.
  other_ = std::make_unique<imap::Connection>(account_);
  other_->Append("INBOX", Text({{"Message-ID", "<cut-again@x>"}}, "body"), {}, std::nullopt);
  sink->before_commit = [&] { Dovecot().Stop(); };
  host->ScanForNewMessages();
  EXPECT_EQ(sink->failed, 2);
  inbox = nullptr;
  host.reset();
  Dovecot().Start();
  host = std::make_unique<ImapHost>(account_, Options());
  inbox = host->CreateFolderManager()->GetInboxFolder();
  auto restarted = std::make_shared<StampingSink>(inbox);
  inbox->Advise(restarted);
  host->AnnounceUnjudgedMail();
  EXPECT_EQ(restarted->judged, 1);
  other_ = std::make_unique<imap::Connection>(account_);
  for (const imap::FetchedMessage& message : Contents("INBOX")) {
    EXPECT_EQ(mail::FirstHeaderValue(message.bytes, kVerdict), "Clean") << message.bytes;
  }
}

// Relays connections to the server; the first is cut once limit bytes
// (both ways together) have passed, the later ones pass whole, as a server
// back after a network failure.
class CuttingProxy {
 public:
  CuttingProxy(uint16_t upstream, size_t limit) : upstream_(upstream), limit_(limit) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listen_, 4);
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (::pipe(stop_) != 0) throw std::runtime_error("no pipe");
    thread_ = std::thread([this] { Serve(); });
  }
  ~CuttingProxy() {
    ::close(stop_[1]);
    thread_.join();
    for (int fd : {listen_, stop_[0]}) ::close(fd);
  }
  uint16_t port() const { return port_; }

 private:
  static sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }

  void Serve() {
    for (size_t limit = limit_;; limit = SIZE_MAX) {
      pollfd waiting[2] = {{listen_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
      if (::poll(waiting, 2, -1) <= 0 || waiting[1].revents) return;
      const int client = ::accept(listen_, nullptr, nullptr);
      const int server = ::socket(AF_INET, SOCK_STREAM, 0);
      const sockaddr_in address = Loopback(upstream_);
      if (::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        if (!Relay(client, server, limit)) {
          ::close(client);
          ::close(server);
          return;
        }
      }
      ::close(client);
      ::close(server);
    }
  }

  // False when told to stop.
  bool Relay(int client, int server, size_t limit) {
    size_t passed = 0;
    char buffer[4096];
    for (;;) {
      pollfd fds[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {stop_[0], POLLIN, 0}};
      if (::poll(fds, 3, -1) <= 0 || fds[2].revents) return false;
      for (int from = 0; from < 2; ++from) {
        if (!fds[from].revents) continue;
        const size_t most = std::min(sizeof buffer, limit - passed);
        const ssize_t got = ::read(fds[from].fd, buffer, most);
        if (got <= 0 || ::write(fds[1 - from].fd, buffer, got) != got) return true;
        passed += static_cast<size_t>(got);
        if (passed >= limit) return true;
      }
    }
  }

  const uint16_t upstream_;
  const size_t limit_;
  int listen_ = -1;
  int stop_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::thread thread_;
};

TEST_F(ImapHostTest, AConnectionCutAnywhereInARewriteLosesAndDoublesNothing) {
  const std::string text = Text({{"Message-ID", "<cut-anywhere@x>"}}, "body\r\n");
  other_->Append("INBOX", text, {}, std::nullopt);
  // A cut every hundred bytes or so, from the start (greeting, TLS, login,
  // the folders) through the rewrite's fetch, append, flag and expunge, which
  // end before 5,000 bytes.
  for (size_t limit = 1000; limit < 5200; limit += 101) {
    {
      CuttingProxy proxy(account_.port, limit);
      imap::Account cut = account_;
      cut.port = proxy.port();
      try {
        ImapHost host(cut, Options());
        auto inbox = host.CreateFolderManager()->GetInboxFolder();
        auto message = inbox->GetFirstMessage();
        message->SetHeaderValue(message->GetRootPart(), kVerdict, std::to_string(limit));
        message->Commit();
      } catch (const std::exception& error) {
        // Cut where the host could not go on (a command that must not run
        // twice): what counts is what is left. Any other command is run
        // again on a new connection.
        EXPECT_THAT(error.what(), HasSubstr("(the connection was lost)")) << limit;
      }
    }
    // The next start finds the original beside a judged copy and removes it.
    ImapHost host(account_, Options());
    host.CreateFolderManager()->GetInboxFolder()->Advise(std::make_shared<RecordingSink>());
    host.AnnounceUnjudgedMail();
    const auto left = Contents("INBOX");
    ASSERT_EQ(left.size(), 1u) << "cut after " << limit << " bytes";
    EXPECT_EQ(left[0].bytes.substr(mail::LayOut(left[0].bytes).body_start), "body\r\n");
  }
}

TEST_F(ImapHostTest, AServerCertificateNotTrustedIsRefused) {
  imap::Account untrusted = account_;
  untrusted.certificate_file.clear();  // the system's authorities do not know it
  EXPECT_THAT([&] { ImapHost host(untrusted, Options()); },
              ::testing::ThrowsMessage<std::runtime_error>(HasSubstr("certificate")));
}

// A server that is no IMAP server: each accepted connection gets what
// answer says, then is closed (or, for an empty answer, left silent).
class BadServer {
 public:
  explicit BadServer(std::string answer) : answer_(std::move(answer)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 4);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      const int client = ::accept(fd_, nullptr, nullptr);
      if (client < 0) return;
      if (!answer_.empty()) {
        if (::write(client, answer_.data(), answer_.size()) < 0) {
          // The client went first: nothing to tell it.
        }
        ::close(client);
        return;
      }
      char byte;
      while (::read(client, &byte, 1) > 0) {
      }
      ::close(client);
    });
  }
  ~BadServer() {
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    thread_.join();
  }
  uint16_t port() const { return port_; }

 private:
  std::string answer_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

TEST(ImapBadServerTest, AServerThatIsNoImapServerGetsAClearErrorWithinTheTimeout) {
  for (const std::string& answer : {std::string("garbage\r\n\x16\x03\x01\xff\xff"),
                                    std::string("* OK ready\r\n"), std::string()}) {
    BadServer server(answer);
    imap::Account account;
    account.host = "127.0.0.1";
    account.port = server.port();
    account.user = "someone";
    account.secret = "secret";
    account.timeout_seconds = 1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THAT([&] { ImapHost host(account, ImapHost::Options()); },
                ::testing::ThrowsMessage<std::runtime_error>(
                    HasSubstr("127.0.0.1:" + std::to_string(server.port()))));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  }
}

}  // namespace
}  // namespace tarvex
