#include "host/maildir/mime_message.h"

#include <gtest/gtest.h>

namespace tarvex::maildir {
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
}  // namespace tarvex::maildir
