#include "ops/wire.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

template <typename T>
std::string Bytes(const T& value) {
  WireWriter w;
  w.Write(value);
  return w.bytes();
}

TEST(Wire, RecordsComeBackFieldForField) {
  ScoreReport score{true, 97, true, "free 99\r\n", {{"X-TVX-RESULT", "Spam"}, {"A", ""}}};
  const std::string scoreBytes = Bytes(score);
  WireReader r(scoreBytes);
  ScoreReport back;
  r.Read(back);
  ASSERT_TRUE(r.done());
  EXPECT_EQ(back.nonEnglish, true);
  EXPECT_EQ(back.score, 97);
  EXPECT_EQ(back.topWords, "free 99\r\n");
  ASSERT_EQ(back.headers.size(), 2u);
  EXPECT_EQ(back.headers[0].value, "Spam");

  const std::vector<MessageRef> refs = {{3, -7, "/m/new/1.x", true, "Spam"}, {0, 0, "", false, ""}};
  const std::string refBytes = Bytes(refs);
  WireReader rr(refBytes);
  std::vector<MessageRef> refsBack;
  rr.Read(refsBack);
  ASSERT_TRUE(rr.done());
  ASSERT_EQ(refsBack.size(), 2u);
  EXPECT_EQ(refsBack[0].message, -7);
  EXPECT_EQ(refsBack[0].marker, "Spam");

  const std::string statusBytes = Bytes(Status::Invalid("f", "broken"));
  WireReader rs(statusBytes);
  Status status;
  rs.Read(status);
  ASSERT_TRUE(rs.done());
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "f: broken");
}

// What comes over the socket may be cut short, padded or made up: each is
// refused, and a count never makes the reader allocate what is not there.
TEST(Wire, RefusesBytesThatAreNotARecord) {
  const std::string good = Bytes(ListEdit{ListEdit::Outcome::kDuplicate, "taken"});
  for (size_t cut = 0; cut < good.size(); ++cut) {
    const std::string part = good.substr(0, cut);
    WireReader r(part);
    ListEdit edit;
    r.Read(edit);
    EXPECT_FALSE(r.ok()) << "cut at " << cut;
  }
  const std::string longer = good + "x";
  WireReader padded(longer);
  ListEdit edit;
  padded.Read(edit);
  EXPECT_TRUE(padded.ok());
  EXPECT_FALSE(padded.done());

  const std::string nine = Bytes(uint32_t{9}), two = Bytes(uint32_t{2}),
                    most = Bytes(uint32_t{0xffffffff});
  WireReader badEnum(nine);
  ListId list;
  badEnum.Read(list);
  EXPECT_FALSE(badEnum.ok());

  WireReader badBool(two);
  bool flag;
  badBool.Read(flag);
  EXPECT_FALSE(badBool.ok());

  WireReader huge(most);
  std::vector<std::string> strings;
  huge.Read(strings);
  EXPECT_FALSE(huge.ok());
  EXPECT_TRUE(strings.empty());
}

}  // namespace
}  // namespace tarvex
