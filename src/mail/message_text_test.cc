#include "mail/message_text.h"

#include <gtest/gtest.h>

namespace tarvex::mail {
namespace {

using namespace std::string_literals;
using Changes = std::vector<std::pair<std::string, std::string>>;

TEST(MessageTextTest, ValidUtf8KeepsSequencesAndReadsOtherBytesAsWindows1252) {
  EXPECT_EQ(ValidUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(ValidUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");      // é, €
  EXPECT_EQ(ValidUtf8("\xC3"), "\xC3\x83");                              // cut off: Ã
  EXPECT_EQ(ValidUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");  // a surrogate is no UTF-8
  EXPECT_EQ(ValidUtf8("\xE9t\xC3\xA9\xE9 ok"), "\xC3\xA9t\xC3\xA9\xC3\xA9 ok");
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x93\xA7"));
  EXPECT_FALSE(IsValidUtf8("\xF5\x80\x80\x80"));
  EXPECT_EQ(CodePoints("a\xC3\xA9\xE9"), (std::u32string{'a', 0xE9, 0xE9}));
}

TEST(MessageTextTest, LayoutFindsTheEmptyLineAndTheLineEnding) {
  const MessageLayout crlf = LayOut("A: 1\r\nB: 2\r\n\r\nbody\r\n");
  EXPECT_EQ(crlf.header_end, 12u);
  EXPECT_EQ(crlf.body_start, 14u);
  EXPECT_TRUE(crlf.crlf);
  const MessageLayout lf = LayOut("A: 1\n\nbody");
  EXPECT_EQ(lf.header_end, 5u);
  EXPECT_EQ(lf.body_start, 6u);
  EXPECT_FALSE(lf.crlf);
  const MessageLayout header_only = LayOut("A: 1\nB: 2");
  EXPECT_EQ(header_only.header_end, 9u);
  EXPECT_EQ(header_only.body_start, 9u);
}

TEST(MessageTextTest, FieldsSpanTheirContinuationLines) {
  const std::string block = "Subject: one\r\n two\r\nX-A:v\r\nnot a field\r\n\tstray\r\nTo : b\r\n";
  const std::vector<HeaderField> fields = HeaderFields(block);
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].name, "Subject");
  EXPECT_EQ(block.substr(fields[0].begin, fields[0].end - fields[0].begin),
            "Subject: one\r\n two\r\n");
  EXPECT_EQ(UnfoldedValue(block, fields[0]), "one two");
  EXPECT_EQ(UnfoldedValue(block, fields[1]), "v");
  EXPECT_EQ(fields[2].name, "To");
  EXPECT_EQ(UnfoldedValue(block, fields[2]), "b");
  EXPECT_TRUE(SameFieldName("x-tvx-result", "X-TVX-RESULT"));
  EXPECT_FALSE(SameFieldName("X-TVX-RESULT", "X-TVX-RESULTS"));
  EXPECT_TRUE(IsValidFieldName("X-TVX-SCORE"));
  for (const char* bad : {"", "A B", "A:B", "\xC3\xA9"}) EXPECT_FALSE(IsValidFieldName(bad));
  EXPECT_FALSE(IsValidFieldValue("a\r\nBcc: x"));
}

TEST(MessageTextTest, SettingReplacesTheFirstInPlaceRemovesLaterOnesAndAppendsNewOnes) {
  const std::string message =
      "From: a\r\nX-TVX-RESULT: Clean\r\n  folded\r\nSubject: s\r\nx-tvx-result: old\r\n"
      "\r\nX-TVX-RESULT: in the body stays\r\n";
  EXPECT_EQ(SetHeaderFields(message, {{"X-TVX-RESULT", "Spam"}, {"X-TVX-SCORE", "99"}}),
            "From: a\r\nX-TVX-RESULT: Spam\r\nSubject: s\r\nX-TVX-SCORE: 99\r\n"
            "\r\nX-TVX-RESULT: in the body stays\r\n");
  // Line feeds only: the new line ends so too; the body bytes are kept as they are.
  EXPECT_EQ(SetHeaderFields("A: 1\n\n\x00\xFF\r\n\x00"s, {{"B", "2"}}),
            "A: 1\nB: 2\n\n\x00\xFF\r\n\x00"s);
  // Changes apply in order; an empty value is written without a space.
  EXPECT_EQ(SetHeaderFields("A: 1\n\nb", {{"B", "x"}, {"b", ""}}), "A: 1\nb:\n\nb");
  // A header block without an empty line or a last line end.
  EXPECT_EQ(SetHeaderFields("A: 1", Changes{{"B", "2"}}), "A: 1\nB: 2\n");
  EXPECT_EQ(SetHeaderFields("A: 1\r\n", Changes{{"A", "2"}}), "A: 2\r\n");
  // A last line that is a lone CR would, once ended with a line feed, be the
  // empty line that ends the header block, and the new fields would be body:
  // they go before it.
  EXPECT_EQ(SetHeaderFields("A: 1\n\r", Changes{{"B", "2"}}), "A: 1\nB: 2\n\r");
  EXPECT_EQ(SetHeaderFields("\r", Changes{{"B", "2"}, {"C", "3"}}), "B: 2\nC: 3\n\r");
  for (const std::string message : {"A: 1\n\r", "\r", "A: 1\r\n\r", "A: 1\n \r", "A: 1\n\r\r"}) {
    const std::string changed = SetHeaderFields(message, Changes{{"B", "2"}});
    const std::vector<HeaderField> fields =
        HeaderFields(std::string_view(changed).substr(0, LayOut(changed).header_end));
    ASSERT_FALSE(fields.empty()) << message;
    EXPECT_EQ(fields.back().name, "B") << message;
  }
}

TEST(MessageTextTest, HeaderLinesUnfoldEachField) {
  const auto headers = HeaderLines(
      "From: A <a@b.example>\r\nSubject: two\r\n\tlines\r\n  folded\r\nbroken line\r\n"
      " stray\r\nX-Empty:\r\n");
  ASSERT_EQ(headers.size(), 3u);
  EXPECT_EQ(headers[0].second, "A <a@b.example>");
  EXPECT_EQ(headers[1].second, "two\tlines  folded");
  EXPECT_EQ(headers[2], (std::pair<std::string, std::string>{"X-Empty", ""}));
}

}  // namespace
}  // namespace tarvex::mail
