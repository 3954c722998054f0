#include "bayes/scoring.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

SelectedWords WithProbabilities(std::initializer_list<float> probabilities) {
  SelectedWords selected;
  char name = 'a';
  for (float p : probabilities) selected.push_back({std::string(3, name++), {5, 5, p, 0}});
  return selected;
}

TEST(Scoring, CombinesProbabilities) {
  EXPECT_EQ(CombineProbabilities({}), 50u);
  EXPECT_EQ(CombineProbabilities(WithProbabilities({0.99f, 0.99f, 0.2f})), 99u);
  EXPECT_EQ(CombineProbabilities(WithProbabilities({0.5f, 0.5f})), 50u);
  EXPECT_EQ(CombineProbabilities(WithProbabilities({0.0001f, 0.0002f})), 0u);
  EXPECT_EQ(CombineProbabilities(WithProbabilities({1.0f, 0.3f})), 100u);  // Q is 0
  // Fifteen tiny probabilities underflow single precision: the score is 0.
  EXPECT_EQ(CombineProbabilities(SelectedWords(15, {"abc", {0, 9, 0.0001f, 0}})), 0u);
}

TEST(Scoring, WritesTopWordsAsTruncatedPercentages) {
  SelectedWords selected = {{"cheap", {9, 0, 0.9998f, 0}}, {"meeting", {0, 9, 0.0001f, 0}}};
  EXPECT_EQ(TopWordsText(selected), " cheap 99 meeting 0\r\n");
  selected = {
      {"meeting", {1, 1, 0.012f, 0}}, {"offer", {1, 1, 0.9934f, 0}}, {"sure", {1, 1, 1.0f, 0}}};
  EXPECT_EQ(TopWordsText(selected), " meeting 1 offer 99 sure 100\r\n");
  EXPECT_EQ(TopWordsText({}), "");
}

TEST(Scoring, KeepsTheMostTellingWordsReplacingTheFirstNearestToNeutral) {
  SelectedWords selected;
  WordSelection selection(&selected, 2);
  selection.Offer("aaa", {0, 0, 0.75f, 0});
  selection.Offer("bbb", {0, 0, 0.25f, 0});  // same distance as aaa
  selection.Offer("ccc", {0, 0, 0.125f, 0});
  ASSERT_EQ(selected.size(), 2u);
  EXPECT_EQ(selected[0].word, "bbb");  // aaa was first of the two nearest
  EXPECT_EQ(selected[1].word, "ccc");
  selection.Offer("ddd", {0, 0, 0.75f, 0});  // not strictly farther than bbb
  EXPECT_EQ(selected[0].word, "bbb");
  EXPECT_EQ(selected.size(), 2u);
}

TEST(Scoring, FindsThreeHighBytesInARow) {
  EXPECT_TRUE(IsNonEnglish("ab\xE9\xE9\xE9"));
  EXPECT_FALSE(IsNonEnglish("\xE9\xE9z\xE9\xE9"));
  EXPECT_FALSE(IsNonEnglish(""));
}

}  // namespace
}  // namespace tarvex
