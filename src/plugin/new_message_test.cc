#include "plugin/new_message.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "host/fault_injecting_host.h"
#include "host/memory/memory_host.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "testing/bayes_engine_peer.h"

namespace tarvex {

void PrintTo(const HeaderValue& h, std::ostream* os) { *os << h.name << ": " << h.value; }

namespace {

constexpr int32_t kInbox = MemoryHost::kInboxId;

class Classifier : public ::testing::Test {
 protected:
  Classifier() {
    spamFolder_ = host_.AddFolder(MemoryHost::kLocalFoldersId, "DedoZarozo");
    WriteDwordValue(store_, "ConsiderNonEnglishSpam", 1);
  }

  ClassifyResult Deliver(const HostHeaders& headers, const std::string& body = "hello there") {
    lastId_ = host_.AddMessage(kInbox, headers, body);
    HostRef<HostFolder> inbox = manager_->GetFolder(kInbox);
    ClassifierContext context{filter_, lists_, settings_, ui_, *manager_, spamFolder};
    return ClassifyMessage(context, *inbox, lastId_);
  }
  ClassifyResult From(const std::string& from, const std::string& body = "hello there") {
    return Deliver({{"From", from}, {"Subject", "greetings"}}, body);
  }
  void Set(const char* option, uint32_t value) { WriteDwordValue(store_, option, value); }
  // The message's committed headers whose names start with "X-TVX-".
  HostHeaders VerdictOf(int32_t folder, int32_t id) {
    HostHeaders verdict;
    for (const auto& h : host_.Message(folder, id).headers) {
      if (h.first.rfind("X-TVX-", 0) == 0) verdict.push_back(h);
    }
    return verdict;
  }
  int32_t MovedId() { return host_.Moves().back().target_id; }
  void TrainSpam(const std::string& words) {
    for (int i = 0; i < 20; ++i) filter_.LearnMessage(words, "", 1);
  }

  ManualClock clock_{1'700'000'000};
  MemoryFileSystem fs_;
  RecordingUi ui_;
  MemorySettingsStore store_;
  FilterSettings settings_{store_};
  BayesFilter filter_{clock_, fs_};
  SenderLists lists_;
  MemoryHost host_;
  FaultInjectingHost faults_{host_};
  HostRef<HostFolderManager> manager_ = faults_.CreateFolderManager();
  int32_t spamFolder_;
  SpamFolder spamFolder;
  int32_t lastId_ = 0;
};

// The position of each named call in the host's record, in order.
std::vector<size_t> Positions(const std::vector<std::string>& calls,
                              const std::vector<std::string>& names) {
  std::vector<size_t> positions;
  size_t from = 0;
  for (const std::string& name : names) {
    const auto it = std::find(calls.begin() + static_cast<std::ptrdiff_t>(from), calls.end(), name);
    positions.push_back(static_cast<size_t>(it - calls.begin()));
    from = it == calls.end() ? calls.size() : positions.back() + 1;
  }
  return positions;
}

// The message is read before it is judged, list-decided mail is learnt
// before the verdict is written, the verdict is committed before the move.
TEST_F(Classifier, LearnsBeforeCommittingAndCommitsBeforeMoving) {
  lists_.blacklistAddresses = {"a@b.example"};
  Set("LearnFromBlackListed", 1);
  host_.ClearCalls();
  From("<a@b.example>");
  const std::vector<std::string> calls = host_.Calls();
  const std::vector<size_t> at =
      Positions(calls, {"GetMessage", "GetHeaderValue", "GetPartText", "GetPartText",
                        "SetHeaderValue", "Commit", "MoveMessage"});
  for (size_t i = 0; i < at.size(); ++i) EXPECT_LT(at[i], calls.size()) << i;
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end()));
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "Commit"), 1);
}

// The spam folder is walked for once; later spam goes to the folder kept,
// and a kept folder that has gone is looked up again.
TEST_F(Classifier, FindsTheSpamFolderOnceForAllSpam) {
  lists_.blacklistAddresses = {"a@b.example"};
  const auto walks = [&] {
    const std::vector<std::string> calls = host_.Calls();
    return std::count(calls.begin(), calls.end(), "GetFirstFolder");
  };
  From("<a@b.example>");
  EXPECT_EQ(walks(), 1);
  for (int i = 0; i < 3; ++i) From("<a@b.example>");
  EXPECT_EQ(walks(), 1);
  EXPECT_EQ(host_.Moves().size(), 4u);
  for (const MemoryHost::Move& move : host_.Moves()) EXPECT_EQ(move.target_folder, spamFolder_);

  // A kept folder the host no longer has is found again by its name.
  HostRef<HostFolder> inbox = manager_->GetFolder(kInbox);
  const int32_t id = host_.AddMessage(kInbox, {{"From", "<a@b.example>"}}, "hi");
  faults_.FailNext("GetFolder", status::kInvalidArgument, "There is no such folder.");
  ClassifierContext context{filter_, lists_, settings_, ui_, *manager_, spamFolder};
  ClassifyMessage(context, *inbox, id);
  EXPECT_EQ(walks(), 2);
  EXPECT_EQ(host_.Moves().back().target_folder, spamFolder_);
  EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(Classifier, LeavesMessagesTheUserJudgedAlone) {
  lists_.blacklistAddresses = {"bad@spam.example"};
  const ClassifyResult r = Deliver({{"From", "<bad@spam.example>"}, {"X-TVX-LEARN", ""}});
  EXPECT_EQ(r.outcome, Outcome::kUntouched);
  EXPECT_TRUE(r.headers.empty());
  EXPECT_TRUE(host_.Moves().empty());
  EXPECT_EQ(VerdictOf(kInbox, lastId_), (HostHeaders{{"X-TVX-LEARN", ""}}));
}

TEST_F(Classifier, WhitelistsBySenderAddressOrDomainBeforeTheBlacklist) {
  lists_.whitelistAddresses = {"Friend@Example.com"};
  lists_.blacklistAddresses = {"friend@example.com"};
  lists_.whitelistDomains = {"trusted.example"};
  lists_.blacklistDomains = {"trusted.example"};
  EXPECT_EQ(From("\"A Friend\" <friend@EXAMPLE.com> (work)").outcome, Outcome::kWhitelisted);
  EXPECT_EQ(From("<someone@trusted.example>").outcome, Outcome::kWhitelisted);
  EXPECT_TRUE(VerdictOf(kInbox, lastId_).empty());
  EXPECT_EQ(filter_.CleanMessageCount(), 0);  // not learnt unless asked

  Set("LearnFromWhiteListed", 7);  // any non-zero number is on
  const ClassifyResult r = From("<friend@example.com>", "lunch tomorrow");
  EXPECT_TRUE(r.learnt);
  EXPECT_EQ(filter_.CleanMessageCount(), 1);
  EXPECT_TRUE(host_.Moves().empty());
  EXPECT_TRUE(ui_.beeps.empty());
}

TEST_F(Classifier, BlacklistsStampsMovesLearnsAndBeeps) {
  lists_.blacklistDomains = {"spam.example"};
  lists_.blacklistAddresses = {"nobody"};
  Set("BeepAtSpam", 1);
  Set("LearnFromBlackListed", 1);
  ClassifyResult r = From("Mailer <Offers@Spam.Example>");
  EXPECT_EQ(r.outcome, Outcome::kBlacklisted);
  EXPECT_EQ(r.headers, (VerdictHeaders{{"X-TVX-RESULT", "Spam"},
                                       {"X-TVX-REASON", "Spam.Example domain in blacklist"}}));
  ASSERT_EQ(host_.Moves().size(), 1u);
  EXPECT_EQ(host_.Moves()[0].target_folder, spamFolder_);
  EXPECT_EQ(VerdictOf(spamFolder_, MovedId()),
            (HostHeaders{{"X-TVX-RESULT", "Spam"},
                         {"X-TVX-REASON", "Spam.Example domain in blacklist"}}));
  EXPECT_FALSE(host_.Message(spamFolder_, MovedId()).read);
  EXPECT_EQ(filter_.SpamMessageCount(), 1);
  EXPECT_EQ(ui_.beeps, (std::vector<uint32_t>{mb::kIconExclamation}));

  // An address without "@" has no domain but is still caught as an address.
  r = From("Someone <nobody>");
  EXPECT_EQ(r.headers[1].value, "nobody in blacklist");
  // A bare address without angle brackets is never tested against the lists.
  EXPECT_NE(From("offers@spam.example").outcome, Outcome::kBlacklisted);
}

TEST_F(Classifier, MarksSpamReadBeforeMovingWhenAsked) {
  lists_.blacklistAddresses = {"a@b.example"};
  Set("MarkReadBeforeMoving", 1);
  From("<a@b.example>");
  EXPECT_TRUE(host_.Message(spamFolder_, MovedId()).read);
}

TEST_F(Classifier, ScoresEverythingElseAndMovesOnlySpam) {
  Set("BeepAtSpam", 1);
  ClassifyResult r = From("<someone@example.com>", "");
  EXPECT_EQ(r.outcome, Outcome::kClean);
  EXPECT_EQ(r.headers[0], (HeaderValue{"X-TVX-RESULT", "Clean"}));
  EXPECT_EQ(r.headers[1].name, "X-TVX-SCORE");
  EXPECT_EQ(r.headers[2].name, "X-TVX-TOP-WORDS");
  EXPECT_EQ(VerdictOf(kInbox, lastId_).size(), 3u);
  EXPECT_TRUE(host_.Moves().empty());

  TrainSpam("viagra casino jackpot");
  r = From("<someone@example.com>", "viagra casino jackpot");
  EXPECT_EQ(r.outcome, Outcome::kSpam);
  EXPECT_EQ(r.headers[1], (HeaderValue{"X-TVX-SCORE", "Bayesian Score = 100"}));
  EXPECT_EQ(host_.Moves().size(), 1u);
  EXPECT_EQ(ui_.beeps.size(), 1u);
  EXPECT_EQ(filter_.SpamMessageCount(), 20);  // the Bayesian step never learns
}

// Above 90 is spam: 90 itself is clean.
TEST_F(Classifier, TakesScoresAbove90ForSpam) {
  // With no message learnt, a word counted s times in spam and c times in
  // clean mail has the probability s / (s + 2c); the message's other words
  // are unknown and neutral, so the word alone makes the score.
  BayesEnginePeer words(filter_.engine());
  words.WordDatabase().FindOrInsert("borderline").record = {19, 1, 0, 0};  // 0.9047...
  words.WordDatabase().FindOrInsert("overboard").record = {21, 1, 0, 0};   // 0.9130...
  filter_.engine().RecomputeProbabilities();
  const struct {
    const char* body;
    Outcome outcome;
    VerdictHeaders headers;
  } cases[] = {
      {"borderline",
       Outcome::kClean,
       {{"X-TVX-RESULT", "Clean"},
        {"X-TVX-SCORE", "Bayesian Score = 90"},
        {"X-TVX-TOP-WORDS", " borderline 90 example 50 from 50\r\n"}}},
      {"overboard",
       Outcome::kSpam,
       {{"X-TVX-RESULT", "Spam"},
        {"X-TVX-SCORE", "Bayesian Score = 91"},
        {"X-TVX-TOP-WORDS", " example 50 from 50 overboard 91\r\n"}}},
  };
  for (const auto& c : cases) {
    const size_t moves = host_.Moves().size();
    const ClassifyResult r = Deliver({{"From", "<a@b.example>"}}, c.body);
    EXPECT_EQ(r.outcome, c.outcome) << c.body;
    EXPECT_EQ(r.headers, c.headers) << c.body;
    EXPECT_EQ(host_.Moves().size() - moves, c.outcome == Outcome::kSpam ? 1u : 0u) << c.body;
  }
}

TEST_F(Classifier, TreatsNonEnglishMailAsSpamUnlessTurnedOff) {
  const std::string accented = "caf\xC3\xA9\xC3\xA9\xC3\xA9 bar";  // UTF-8
  const std::string cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
  const std::string chinese = "\xE4\xB8\xAD\xE6\x96\x87\xE4\xBF\xA1";
  // Three letters in a row above 127: accented ones of the code page, or
  // Cyrillic and Chinese ones, which it lacks.
  for (const std::string& body : {accented, cyrillic, chinese}) {
    const ClassifyResult r = From("<x@y.example>", body);
    EXPECT_EQ(r.outcome, Outcome::kNonEnglish) << body;
    EXPECT_EQ(r.headers, (VerdictHeaders{{"X-TVX-RESULT", "Spam"}, {"X-TVX-NONENGLISH", "True"}}));
  }
  EXPECT_EQ(host_.Moves().size(), 3u);
  // Two, then an ordinary byte, do not count.
  EXPECT_EQ(From("<x@y.example>", "\xD0\x9F\xD1\x80 ok \xE4\xB8\xAD\xE6\x96\x87.").outcome,
            Outcome::kClean);
  Set("ConsiderNonEnglishSpam", 0);
  EXPECT_EQ(From("<x@y.example>", cyrillic).outcome, Outcome::kClean);
  EXPECT_EQ(From("<x@y.example>", accented).outcome, Outcome::kClean);
}

TEST_F(Classifier, ReplacesAnEarlierVerdictInsteadOfAddingOne) {
  Deliver({{"From", "<a@b.example>"}, {"X-TVX-RESULT", "Spam"}, {"X-TVX-SCORE", "old"}});
  const HostHeaders verdict = VerdictOf(kInbox, lastId_);
  ASSERT_EQ(verdict.size(), 3u);
  EXPECT_EQ(verdict[0], (std::pair<std::string, std::string>{"X-TVX-RESULT", "Clean"}));
}

TEST_F(Classifier, ReportsAMissingSpamFolderAndStillBeeps) {
  MemoryHost bare;  // no "DedoZarozo"
  manager_ = bare.CreateFolderManager();
  lists_.blacklistAddresses = {"a@b.example"};
  Set("BeepAtSpam", 1);
  const int32_t id = bare.AddMessage(kInbox, {{"From", "<a@b.example>"}}, "hi");
  HostRef<HostFolder> inbox = manager_->GetFolder(kInbox);
  ClassifierContext context{filter_, lists_, settings_, ui_, *manager_, spamFolder};
  const ClassifyResult r = ClassifyMessage(context, *inbox, id);
  EXPECT_FALSE(r.moved);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].text, "Invalid pointer.");
  EXPECT_EQ(ui_.boxes[0].caption, "Tarvex");
  EXPECT_EQ(ui_.beeps.size(), 1u);
  EXPECT_EQ(bare.Message(kInbox, id).headers.size(), 3u);  // stamped, left in place
}

TEST_F(Classifier, StopsAtAHostFailureWithoutUndoing) {
  lists_.blacklistAddresses = {"a@b.example"};
  Set("BeepAtSpam", 1);
  faults_.FailNext("MoveMessage", status::kFail, "disk on fire");
  ClassifyResult r = From("<a@b.example>");
  EXPECT_FALSE(r.failed);  // the move reports its own failure
  EXPECT_EQ(ui_.boxes.back().text, "Unspecified error");
  EXPECT_EQ(ui_.beeps.size(), 1u);
  EXPECT_EQ(VerdictOf(kInbox, lastId_).size(), 2u);

  faults_.FailNext("SetHeaderValue", status::kAccessDenied);
  r = From("<a@b.example>");
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(ui_.boxes.back().text, "Access is denied.");
  EXPECT_TRUE(VerdictOf(kInbox, lastId_).empty());  // nothing committed
  EXPECT_EQ(host_.Moves().size(), 0u);
  EXPECT_EQ(ui_.beeps.size(), 1u);
}

}  // namespace
}  // namespace tarvex
