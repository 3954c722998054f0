#include <gtest/gtest.h>

#include <random>

#include "testing/bayes_fixture.h"
#include "testing/status_matchers.h"

namespace tarvex {
namespace {

class Learning : public BayesFixture {
 protected:
  void SetUp() override { Start(); }
  TokenTable Tokens(std::string_view text) {
    TokenTable tokens;
    engine().Tokenize(std::string(text), &tokens);
    return tokens;
  }
  void SetWord(const std::string& word, int32_t spam, int32_t clean) {
    WordEntry& e = inside().WordDatabase().FindOrInsert(word);
    e.record.spamCount = spam;
    e.record.cleanCount = clean;
  }
  float Stored(const std::string& word) {
    return engine().StoredProbability(*inside().WordDatabase().Find(word));
  }
  float Effective(const std::string& word) { return engine().LookupWord(word)->probability; }
};

TEST_F(Learning, RecomputesProbabilitiesFromCountsPerMessage) {
  SetWord("both", 2, 1);
  engine().RecomputeProbabilities();
  EXPECT_FLOAT_EQ(Stored("both"), 0.5f);  // no messages counted: both divide by 1
  inside().SetMessageCounts(10, 10);
  SetWord("half", 5, 5);
  SetWord("none", 0, 0);
  SetWord("rare", 1, 100000);
  engine().RecomputeProbabilities();
  EXPECT_FLOAT_EQ(Stored("half"), 0.5f / 1.5f);
  EXPECT_EQ(Stored("none"), 1.0f);
  EXPECT_EQ(Stored("rare"), 0.0001f);
  EXPECT_FALSE(engine().databaseClean());
}

TEST_F(Learning, LookupOverridesOneSidedAndEmptyWords) {
  SetWord("elevn", 11, 0);
  SetWord("tenny", 10, 0);
  SetWord("hammy", 0, 12);
  SetWord("hamsm", 0, 3);
  SetWord("blank", 0, 0);
  SetWord("mixed", 3, 1);
  engine().RecomputeProbabilities();
  EXPECT_EQ(Effective("elevn"), 0.9999f);
  EXPECT_EQ(Effective("tenny"), 0.9998f);
  EXPECT_EQ(Effective("hammy"), 0.0001f);
  EXPECT_EQ(Effective("hamsm"), 0.0002f);
  EXPECT_EQ(Effective("blank"), 0.5f);
  EXPECT_FLOAT_EQ(Effective("mixed"), 0.6f);
  EXPECT_FALSE(engine().LookupWord("absent"));
}

TEST_F(Learning, LearnsWholeMessagesAndOnlyOutsideTheUnsureBand) {
  filter->LearnMessage("cheap cheap cheap pills", "Subject: cheap", 1);
  const WordRecord& cheap = inside().WordDatabase().Find("cheap")->record;
  EXPECT_EQ(cheap.spamCount, 4);
  EXPECT_EQ(cheap.lastSeen, kStart);
  EXPECT_EQ(engine().spamMessageCount(), 1);
  EXPECT_FALSE(engine().databaseClean());

  EXPECT_TRUE(filter->LearnMessage("", "", 0));  // an empty message is still counted
  EXPECT_EQ(engine().cleanMessageCount(), 1);

  const TokenTable tokens = Tokens("pills");
  EXPECT_FALSE(engine().LearnTokens(tokens, 95));
  EXPECT_FALSE(engine().LearnTokens(tokens, 90));
  EXPECT_TRUE(engine().LearnTokens(tokens, 98));
  EXPECT_TRUE(engine().LearnTokens(tokens, 89));
  const WordRecord& pills = inside().WordDatabase().Find("pills")->record;
  EXPECT_EQ(pills.spamCount, 2);
  EXPECT_EQ(pills.cleanCount, 1);
}

TEST_F(Learning, MovesAMessageToTheOtherSide) {
  SetWord("offer", 2, 1);
  engine().MoveTokens(Tokens("offer offer offer"), /*wrongSpam=*/true);
  const WordRecord& offer = inside().WordDatabase().Find("offer")->record;
  EXPECT_EQ(offer.spamCount, 0);
  EXPECT_EQ(offer.cleanCount, 4);
  EXPECT_EQ(engine().spamMessageCount(), 0);
  EXPECT_EQ(engine().cleanMessageCount(), 1);
  engine().MoveTokens(Tokens("novel"), /*wrongSpam=*/false);
  EXPECT_EQ(inside().WordDatabase().Find("novel")->record.spamCount, 1);
  EXPECT_EQ(engine().cleanMessageCount(), 0);
  EXPECT_EQ(engine().spamMessageCount(), 1);
}

TEST_F(Learning, RelearnsUntilTheVerdictFlips) {
  EXPECT_EQ(filter->RelearnMessage("!! ..", "", 1), 0);  // no words: nothing changes
  EXPECT_EQ(engine().cleanMessageCount(), 0);

  // Thirty spam messages made these words certain spam, ten clean ones gave
  // the clean side weight: the correction has to be learnt as clean several
  // times before the message scores 45 or less.
  for (int i = 0; i < 10; ++i) filter->LearnMessage("agenda minutes review", "", 0);
  for (int i = 0; i < 30; ++i) filter->LearnMessage("viagra casino jackpot", "", 1);
  const int32_t passes = filter->RelearnMessage("viagra casino jackpot", "", 1);
  EXPECT_GT(passes, 1);
  EXPECT_LT(passes, 25);
  EXPECT_EQ(engine().spamMessageCount(), 29);
  EXPECT_EQ(engine().cleanMessageCount(), 10 + 1 + passes);
  SelectedWords selected;
  uint32_t score;
  engine().ComputeScore(Tokens("viagra casino jackpot"), &selected, &score);
  EXPECT_LE(score, 45u);

  // Towards spam the clean history is too heavy to flip: training stops after
  // 25 passes, each of which learnt the message as spam once more.
  EXPECT_EQ(filter->RelearnMessage("agenda minutes review", "", 0), 25);
  EXPECT_EQ(engine().spamMessageCount(), 29 + 1 + 25);
  engine().ComputeScore(Tokens("agenda minutes review"), &selected, &score);
  EXPECT_LE(score, 90u);
}

TEST_F(Learning, EmptyingKeepsTheCounters) {
  filter->LearnMessage("some words here", "", 1);
  filter->LearnMessage("other words there", "", 0);
  EXPECT_OK(filter->EmptyDatabase());
  EXPECT_EQ(filter->WordCount(), 0u);
  EXPECT_EQ(DatabaseText(), "Version = 1.01\nSpam = 1\nClean = 1\n");
}

// The lazy recompute must be indistinguishable from visiting every word after
// every learning step: same scores, same bytes on disk, whatever the sequence.
TEST(LazyRecompute, MatchesTheFullWalkForRandomSequences) {
  struct Side {
    ManualClock clock{1'700'000'000};
    MemoryFileSystem fs;
    MemorySettingsStore store;
    std::unique_ptr<BayesFilter> filter;
    explicit Side(RecomputeMode mode) {
      WriteStringValue(store, "WordFilePath", "db");
      filter = std::make_unique<BayesFilter>(clock, fs, mode);
      filter->LoadAtStartup(FilterSettings(store));
    }
  };
  const std::vector<std::string> vocabulary = {
      "cheap",  "cheap!", "cheap!!", "offer", "meeting", "agenda", "$100",  "viagra", "lunch",
      "free",   "free!",  "money",   "click", "report",  "budget", "hello", "winner", "prize",
      "urgent", "family", "photos",  "code",  "review",  "deal!!", "deal",  "casino", "loan"};
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    std::mt19937 rng(seed);
    Side lazy(RecomputeMode::kLazy), walk(RecomputeMode::kWalk);
    auto random_text = [&] {
      std::string text;
      const int n = 1 + static_cast<int>(rng() % 25);
      for (int i = 0; i < n; ++i) text += vocabulary[rng() % vocabulary.size()] + " ";
      return text;
    };
    for (int step = 0; step < 400; ++step) {
      const int32_t advance = static_cast<int32_t>(rng() % (4 * 86400));
      lazy.clock.Advance(advance);
      walk.clock.Advance(advance);
      const std::string text = random_text();
      const uint32_t op = rng() % 100;
      const int flag = static_cast<int>(rng() % 2);
      for (Side* side : {&lazy, &walk}) {
        BayesFilter& f = *side->filter;
        if (op < 45) {
          f.LearnMessage(text, "", flag);
        } else if (op < 55) {
          f.RelearnMessage(text, "", flag);
        } else if (op < 65) {
          TokenTable tokens;
          f.engine().Tokenize(text, &tokens);
          f.engine().LearnTokens(tokens, static_cast<uint32_t>(seed * step) % 101);
        } else if (op < 80) {
          f.SaveDatabase();
        } else if (op < 88) {
          f.engine().Load();
        } else if (op < 90) {
          f.EmptyDatabase();
        } else {
          MessageScore score;
          f.ScoreMessage(text, score);
        }
      }
      MessageScore a, b;
      lazy.filter->ScoreMessage(text, a);
      walk.filter->ScoreMessage(text, b);
      ASSERT_EQ(a.score, b.score) << "seed " << seed << " step " << step;
      ASSERT_EQ(a.topWords, b.topWords) << "seed " << seed << " step " << step;
      ASSERT_EQ(lazy.fs.files(), walk.fs.files()) << "seed " << seed << " step " << step;
    }
    lazy.filter.reset();
    walk.filter.reset();
    EXPECT_EQ(lazy.fs.files(), walk.fs.files());
    EXPECT_GT(lazy.fs.commits(), 50);
  }
}

}  // namespace
}  // namespace tarvex
