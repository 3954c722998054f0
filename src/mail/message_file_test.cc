#include "mail/message_file.h"

#include <gtest/gtest.h>

namespace tarvex::mail {
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

// A message file read decoded gives the filter what the Maildir store would:
// the header block as stored and the message's text, in Windows-1252.
TEST(ReadableMessage, DecodesTheTransferEncodingOfTheTextPart) {
  const std::string header = "Subject: caf\xC3\xA9\nContent-Type: text/plain; charset=utf-8\n";
  RawMessage m = ReadableMessage(
      header + "Content-Transfer-Encoding: quoted-printable\n\ncaf=C3=A9 au=\n lait\n",
      MessageReading::kDecoded);
  EXPECT_EQ(m.header,
            "Subject: caf\xE9\nContent-Type: text/plain; charset=utf-8\n"
            "Content-Transfer-Encoding: quoted-printable\n");
  EXPECT_EQ(m.body, "caf\xE9 au lait\n");
  m = ReadableMessage(header + "Content-Transfer-Encoding: base64\n\nY2Fmw6kgYXUgbGFpdA==\n",
                      MessageReading::kDecoded);
  EXPECT_EQ(m.body, "caf\xE9 au lait");
}

TEST(ReadableMessage, TakesThePlainTextPartAfterAnHtmlOne) {
  const std::string message =
      "From: a@b.example\r\nContent-Type: multipart/alternative; boundary=\"=-b\"\r\n\r\n"
      "--=-b\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<p>html</p>\r\n"
      "--=-b\r\nContent-Type: text/plain; charset=windows-1252\r\n"
      "Content-Transfer-Encoding: 8bit\r\n\r\nplain \x80 5\r\n--=-b--\r\n";
  const RawMessage m = ReadableMessage(message, MessageReading::kDecoded);
  EXPECT_EQ(m.header,
            "From: a@b.example\r\nContent-Type: multipart/alternative; boundary=\"=-b\"\r\n");
  EXPECT_EQ(m.body, "plain \x80 5");
}

// The filter reads a character Windows-1252 lacks as a byte above 127 that
// is no letter, so that runs of them are non-English.
TEST(ReadableMessage, CharactersOutsideWindows1252BecomeTheLackedCharacter) {
  // ISO-8859-2: a-ogonek and c-acute are not in Windows-1252, e-acute is.
  RawMessage m = ReadableMessage("Content-Type: text/plain; charset=iso-8859-2\n\n\xB1\xE6\xE9 ok",
                                 MessageReading::kDecoded);
  EXPECT_EQ(m.body, "\x81\x81\xE9 ok");
  // UTF-8: the euro sign is, Cyrillic is not. Raw header bytes are read as
  // UTF-8 when they are, else as Windows-1252, as the store reads them.
  m = ReadableMessage(
      "Subject: \xE2\x82\xAC \xD0\x96 \xE9\nContent-Type: text/plain; charset=utf-8\n\n"
      "\xE2\x82\xAC \xD0\x96",
      MessageReading::kDecoded);
  EXPECT_EQ(m.header, "Subject: \x80 \x81 \xE9\nContent-Type: text/plain; charset=utf-8\n");
  EXPECT_EQ(m.body, "\x80 \x81");
}

TEST(ReadableMessage, RawReadingKeepsEveryByte) {
  const std::string message =
      "Subject: \xD0\x96\r\nContent-Type: text/plain; charset=utf-8\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n\r\ncaf=C3=A9 \xD0\x96\r\n";
  const RawMessage m = ReadableMessage(message, MessageReading::kRaw);
  EXPECT_EQ(m.header,
            "Subject: \xD0\x96\r\nContent-Type: text/plain; charset=utf-8\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n");
  EXPECT_EQ(m.body, "caf=C3=A9 \xD0\x96\r\n");
}

}  // namespace
}  // namespace tarvex::mail
