#include "classify/classifier.h"

#include <gtest/gtest.h>

#include "testing/bayes_fixture.h"

namespace tarvex {
namespace {

class JudgeTest : public BayesFixture {
 protected:
  JudgeTest() {
    Start();
    lists.whitelistAddresses = {"friend@example.com"};
    lists.whitelistDomains = {"trusted.example"};
    lists.blacklistAddresses = {"friend@example.com", "nobody"};
    lists.blacklistDomains = {"spam.example", "trusted.example"};
  }
  Judgement Judge(const std::string& from, const std::string& body = "hello there") {
    return JudgeMessage({*filter, lists, settings}, "Subject: hi\r\n", body, from);
  }

  SenderLists lists;
};

// Which verdict each sender gets, and what the handler is told to do with it.
TEST_F(JudgeTest, SenderListsDecideBeforeTheScore) {
  WriteDwordValue(store, "LearnFromWhiteListed", 1);
  WriteDwordValue(store, "LearnFromBlackListed", 0);
  const struct {
    const char* from;
    Outcome outcome;
    bool spam, learn, learnAsSpam;
    size_t headers;
  } cases[] = {
      {"A Friend <Friend@Example.com>", Outcome::kWhitelisted, false, true, false, 0},
      {"<x@trusted.example>", Outcome::kWhitelisted, false, true, false, 0},
      {"<offers@spam.example>", Outcome::kBlacklisted, true, false, true, 2},
      {"Someone <nobody>", Outcome::kBlacklisted, true, false, true, 2},
      {"offers@spam.example", Outcome::kClean, false, false, false, 3},  // no brackets: scored
      {"", Outcome::kClean, false, false, false, 3},
  };
  for (const auto& c : cases) {
    const Judgement j = Judge(c.from);
    EXPECT_EQ(j.outcome, c.outcome) << c.from;
    EXPECT_EQ(j.spam, c.spam) << c.from;
    EXPECT_EQ(j.learn, c.learn) << c.from;
    EXPECT_EQ(j.learnAsSpam, c.learnAsSpam) << c.from;
    EXPECT_EQ(j.headers.size(), c.headers) << c.from;
  }
  WriteDwordValue(store, "LearnFromBlackListed", 1);
  EXPECT_TRUE(Judge("<offers@spam.example>").learn);
  // Judging learns nothing itself: learning is the handler's, after the judgement.
  EXPECT_EQ(filter->SpamMessageCount() + filter->CleanMessageCount(), 0);
}

TEST_F(JudgeTest, ScoredMailIsNeverMarkedForLearning) {
  WriteDwordValue(store, "ConsiderNonEnglishSpam", 1);
  WriteDwordValue(store, "LearnFromBlackListed", 1);
  WriteDwordValue(store, "LearnFromWhiteListed", 1);
  const Judgement j = Judge("<a@b.example>", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2");
  EXPECT_EQ(j.outcome, Outcome::kNonEnglish);
  EXPECT_TRUE(j.spam);
  EXPECT_FALSE(j.learn);
  EXPECT_EQ(j.headers, (VerdictHeaders{{"X-TVX-RESULT", "Spam"}, {"X-TVX-NONENGLISH", "True"}}));
}

}  // namespace
}  // namespace tarvex
