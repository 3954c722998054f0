#include "classify/verdict_headers.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(VerdictHeaders, WritesExactlyTheSetOfEachOutcome) {
  EXPECT_EQ(BlacklistedAddressHeaders("Bad@Spam.example"),
            (VerdictHeaders{{"X-TVX-RESULT", "Spam"},
                            {"X-TVX-REASON", "Bad@Spam.example in blacklist"}}));
  EXPECT_EQ(BlacklistedDomainHeaders("spam.example"),
            (VerdictHeaders{{"X-TVX-RESULT", "Spam"},
                            {"X-TVX-REASON", "spam.example domain in blacklist"}}));
  MessageScore foreign;
  foreign.nonEnglish = 1;
  EXPECT_EQ(BayesianHeaders(foreign),
            (VerdictHeaders{{"X-TVX-RESULT", "Spam"}, {"X-TVX-NONENGLISH", "True"}}));
  MessageScore clean;
  clean.verdictText = "Clean";
  clean.scored = 1;
  EXPECT_EQ(BayesianHeaders(clean), (VerdictHeaders{{"X-TVX-RESULT", "Clean"},
                                                    {"X-TVX-SCORE", "Bayesian Score = 0"},
                                                    {"X-TVX-TOP-WORDS", ""}}));
}

}  // namespace
}  // namespace tarvex
