#include "mail/mime_message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace tarvex::mail {
namespace {

TEST(MimeMessageTest, SinglePartBodiesAreDecodedAndConverted) {
  EXPECT_EQ(BodyText("Subject: plain\n\nNoon?"), "Noon?");
  EXPECT_EQ(BodyText("Content-Type: text/plain; charset=utf-8\n"
                     "Content-Transfer-Encoding: quoted-printable\n\n"
                     "caf=C3=A9 au lait, a long line=\n continued\n"),
            "caf\xC3\xA9 au lait, a long line continued\n");
  EXPECT_EQ(BodyText("Content-Type: text/plain; charset=\"ISO-8859-1\"\n"
                     "Content-Transfer-Encoding: base64\n\n"
                     "Q2Fm6SDgIGxhIGNy6G1l\n"),  // "Café à la crème" in Latin-1
            "Caf\xC3\xA9 \xC3\xA0 la cr\xC3\xA8me");
  EXPECT_EQ(BodyText("Content-Type: text/plain; charset=koi8-r\n\n\xF0\xD2\xC9\xD7\xC5\xD4"),
            "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");  // "Привет"
  // Bytes the charset does not have, and a charset nobody knows: Windows-1252.
  EXPECT_EQ(BodyText("Content-Type: text/plain; charset=utf-8\n\nna\xEFve"), "na\xC3\xAFve");
  EXPECT_EQ(BodyText("Content-Type: text/plain; charset=x-unheard-of\n\n\x80 5"), "\xE2\x82\xAC 5");
}

// A bare address and one in angle brackets are the same mailbox: both come
// out with brackets, so the sender lists see them alike.
TEST(MimeMessageTest, AddressHeadersArePresentedAsParsedMailboxes) {
  const struct {
    const char* name;
    const char* raw;
    const char* presented;
  } cases[] = {
      {"From", "spammer@evil.example", "<spammer@evil.example>"},
      {"From", "x@evil.example (X)", "X <x@evil.example>"},
      {"From", "Name <spammer@evil.example>", "Name <spammer@evil.example>"},
      {"from", "\"Doe, John\" <j@d.example>", "\"Doe, John\" <j@d.example>"},
      {"To", "a@b.example, Bee <b@b.example>", "<a@b.example>, Bee <b@b.example>"},
      {"Cc", "Team: a@b.example, c@d.example;", "Team: <a@b.example>, <c@d.example>;"},
      {"Reply-To", "=?utf-8?q?Ren=C3=A9?= <r@e.example>", "Ren\xC3\xA9 <r@e.example>"},
      // Nothing a mail library takes for an address, and other headers: decoded only.
      {"From", "", ""},
      {"Subject", "a@b.example", "a@b.example"},
      {"Subject", "=?utf-8?q?caf=C3=A9?=", "caf\xC3\xA9"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PresentedHeaderValue(c.name, c.raw), c.presented) << c.name << ": " << c.raw;
  }
}

TEST(MimeMessageTest, MultipartTakesThePlainTextElseAnyTextElseTheBody) {
  const std::string alternative =
      "Content-Type: multipart/alternative; boundary=\"b\"\n\n"
      "preamble\n--b\nContent-Type: text/html; charset=utf-8\n\n<p>html</p>\n"
      "--b\nContent-Type: text/plain; charset=iso-8859-1\n"
      "Content-Transfer-Encoding: quoted-printable\n\nplain =E9t=E9\n--b--\n";
  // The line end before a boundary belongs to the boundary.
  EXPECT_EQ(BodyText(alternative), "plain \xC3\xA9t\xC3\xA9");

  const std::string html_only =
      "Content-Type: multipart/mixed; boundary=b\n\n--b\n"
      "Content-Type: text/plain; name=log.txt\nContent-Disposition: attachment\n\nattached\n"
      "--b\nContent-Type: text/html\n\n<b>hi</b>\n--b--\n";
  EXPECT_EQ(BodyText(html_only), "<b>hi</b>");

  const std::string no_text =
      "Content-Type: multipart/mixed; boundary=b\n\n--b\n"
      "Content-Type: application/pdf\n\n%PDF\n--b--\n";
  EXPECT_EQ(BodyText(no_text), "--b\nContent-Type: application/pdf\n\n%PDF\n--b--\n");
}

// Each message, and whether BodyText reads it without the parser. Whichever
// way it is read, the text must be what the parser reads.
struct ShortcutCase {
  std::string message;
  bool shortcut;
};

const ShortcutCase kShortcutCases[] = {
    {"Subject: plain\n\nNoon?\n", true},
    {"Subject: no body", true},
    {"\nContent-Type: text/plain; charset=koi8-r\n\n\xF0", true},  // all body
    {"From a@b.example  Thu Aug 22 12:36:23 2002\nContent-Type: text/plain; charset=koi8-r\n\n"
     "\xF0\xD2\xC9\n",
     true},
    {"content-type: TEXT/PLAIN; CHARSET=KOI8-R\r\n\r\n\xF0\xD2\xC9\r\n", true},
    {"Content-Type: text/plain;\r\n\tcharset=\"iso-8859-2\"\r\nX-A: b\r\n\r\n\xB1\xE6\r\n", true},
    {"Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit\n\nna\xEFve "
     "\xC3\xA9",
     true},
    {"Content-Type: text/plain; charset=x-unheard-of\n\n\x80 5", true},
    {"Content-Type: text/plain charset=koi8-r\n\n\xF0", true},  // no parameter without ";"
    {"Content-Type:\n\nempty \xE9", true},
    {"Content-Type: garbage\n\ngarbage \xE9", true},
    {std::string("Content-Type: text/plain\n\nnul \0 inside\n", 37), true},
    {"Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding:  Quoted-Printable\n\n"
     "caf=C3=A9 au lait, a long line=\n continued=\r\n=E9=\n",
     true},
    {"Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: base64\n\n"
     "Q2Fm6SDgIGxh\nIGNy6G1l\n",
     true},
    {"Content-Type: text/html\nContent-Transfer-Encoding: 7bit\n\n<p>caf\xE9</p>\n", true},
    {"Content-Type: text/plain\nContent-Disposition: inline\n\ninline \xE9", true},
    {"Content-Type: text/plain; charset=koi8-r\nContent-Disposition: attachment; filename=a.txt\n"
     "Content-Transfer-Encoding: quoted-printable\n\n=F0 attached",
     true},
    {"Content-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\nR0lG\n", true},

    {"Content-Type: multipart/alternative; boundary=b\n\n--b\nContent-Type: text/html\n\n<p>h</p>\n"
     "--b\nContent-Type: text/plain\n\nplain\n--b--\n",
     false},
    {"Content-Type: message/rfc822\n\nContent-Type: text/plain; charset=koi8-r\n\n\xF0", false},
    // GMime takes the last of two, but whether a shortcut does is not worth
    // a guess; nor is any other odd layout of the header block.
    {"Content-Type: text/plain; charset=koi8-r\nContent-Type: text/plain\n\n\xF0", false},
    {"X-A: b\nbroken line\nContent-Type: text/plain; charset=koi8-r\n\n\xF0", false},
    {" X-A: b\nContent-Type: text/plain; charset=koi8-r\n\n\xF0", false},
    {"Content-Type : text/plain; charset=koi8-r\n\n\xF0", false},
    {"Content-Type: text/plain; charset=koi8-r\rX-A: b\n\n\xF0", false},
    {std::string("X-A: \0\nContent-Type: text/plain; charset=koi8-r\n\n\xF0", 49), false},
    {"Content-Type: text/plain\nContent-Transfer-Encoding: x-uuencode\n\nbegin 644 a\n", false},
    {"Content-Type: text/plain\nContent-Transfer-Encoding: x-weird\n\n=E9", false},
};

TEST(MimeMessageTest, TheShortcutReadsWhatTheParserReads) {
  for (const ShortcutCase& c : kShortcutCases) {
    const std::optional<std::string> shortcut = internal::SinglePartBodyText(c.message);
    EXPECT_EQ(shortcut.has_value(), c.shortcut) << c.message;
    const std::string parsed = internal::ParsedBodyText(c.message);
    if (shortcut) {
      EXPECT_EQ(*shortcut, parsed) << c.message;
    }
    EXPECT_EQ(BodyText(c.message), parsed) << c.message;
  }
}

// The same over a corpus of real mail, when TARVEX_CORPUS names one: every
// *.txt file in its folders, one message each.
TEST(MimeMessageTest, TheShortcutReadsWhatTheParserReadsOverACorpus) {
  const char* corpus = std::getenv("TARVEX_CORPUS");
  if (!corpus || !*corpus) GTEST_SKIP() << "TARVEX_CORPUS names no corpus";
  int messages = 0, shortcuts = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
    if (entry.path().extension() != ".txt") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string message = text.str();
    ++messages;
    if (const std::optional<std::string> shortcut = internal::SinglePartBodyText(message)) {
      ++shortcuts;
      EXPECT_EQ(*shortcut, internal::ParsedBodyText(message)) << entry.path();
    }
  }
  EXPECT_GT(messages, 0) << corpus;
  std::cout << messages << " messages, " << shortcuts << " read without the parser\n";
}

TEST(MimeMessageTest, HeaderValuesAreDecodedAndEncoded) {
  EXPECT_EQ(DecodeHeaderValue("=?ISO-8859-1?Q?Caf=E9?= au lait"), "Caf\xC3\xA9 au lait");
  EXPECT_EQ(DecodeHeaderValue("=?utf-8?B?w6l0w6k=?= =?utf-8?Q?_ok?="), "\xC3\xA9t\xC3\xA9 ok");
  EXPECT_EQ(DecodeHeaderValue("raw caf\xE9"), "raw caf\xC3\xA9");
  EXPECT_EQ(DecodeHeaderValue("raw caf\xC3\xA9"), "raw caf\xC3\xA9");
  EXPECT_EQ(DecodeHeaderValue("alice@example.com"), "alice@example.com");

  EXPECT_EQ(EncodeHeaderValue("Bayesian Score = 12"), "Bayesian Score = 12");
  const std::string encoded = EncodeHeaderValue("Spam \xC3\xA9t\xC3\xA9 and a long tail of words");
  EXPECT_NE(encoded.find("=?UTF-8?"), std::string::npos) << encoded;
  EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
  for (char c : encoded) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
  EXPECT_EQ(DecodeHeaderValue(encoded), "Spam \xC3\xA9t\xC3\xA9 and a long tail of words");
}

}  // namespace
}  // namespace tarvex::mail
