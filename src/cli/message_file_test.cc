#include "cli/message_file.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(RawMessage, SplitsAtTheFirstEmptyLine) {
  const struct {
    std::string text, header, body;
  } cases[] = {
      {"A: b\nC: d\n\nbody\n\nmore", "A: b\nC: d\n", "body\n\nmore"},
      {"A: b\r\nC: d\r\n\r\nbody\r\n", "A: b\r\nC: d\r\n", "body\r\n"},
      {"\nbody only", "", "body only"},
      {"A: b\nno empty line", "A: b\nno empty line", ""},
      {"A: b\n\r", "A: b\n\r", ""},  // a lone CR at the end is no empty line
      {"", "", ""},
  };
  for (const auto& c : cases) {
    const RawMessage m = SplitRawMessage(c.text);
    EXPECT_EQ(m.header, c.header) << c.text;
    EXPECT_EQ(m.body, c.body) << c.text;
  }
}

TEST(RawMessage, UnfoldsHeaderLines) {
  const auto headers = ParseHeaderLines(
      "From: A <a@b.example>\r\nSubject: two\r\n\tlines\r\n  folded\r\nbroken line\r\n"
      " stray\r\nX-Empty:\r\n");
  ASSERT_EQ(headers.size(), 3u);
  EXPECT_EQ(headers[0].second, "A <a@b.example>");
  EXPECT_EQ(headers[1].second, "two\tlines  folded");
  EXPECT_EQ(headers[2], (std::pair<std::string, std::string>{"X-Empty", ""}));
}

}  // namespace
}  // namespace tarvex
