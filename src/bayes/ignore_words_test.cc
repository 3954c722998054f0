#include "bayes/ignore_words.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(IgnoreWords, ReadsWordsSkippingCommentWordsAndWritesThemSorted) {
  IgnoreWords ignore;
  ignore.AddWordsOf("zebra\r\n;note apple\n\n  hello\tzebra ; some words\n" +
                    std::string(300, 'x'));
  EXPECT_TRUE(ignore.IsIgnored("hello"));
  EXPECT_FALSE(ignore.IsIgnored(";note"));
  EXPECT_FALSE(ignore.IsIgnored("Hello"));
  EXPECT_TRUE(ignore.IsIgnored("some"));  // only the first word of a comment is skipped
  EXPECT_FALSE(ignore.IsIgnored(std::string(300, 'x')));
  EXPECT_EQ(ignore.FileText(), "apple\nhello\nsome\nwords\nzebra\n");
}

}  // namespace
}  // namespace tarvex
