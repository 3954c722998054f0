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

}  // namespace
}  // namespace tarvex
