// MIME decoding of stored messages, over GMime. This is the only place that
// speaks to GMime; everything it returns is UTF-8.
#ifndef TARVEX_MAIL_MIME_MESSAGE_H_
#define TARVEX_MAIL_MIME_MESSAGE_H_

#include <optional>
#include <string>
#include <string_view>

namespace tarvex::mail {

// The text a reader reads from the message: its first text/plain part, else
// its first text/* part, decoded from its transfer encoding and converted
// from its charset to UTF-8; else, when it has no text part (or cannot be
// parsed), the whole body as stored. Bytes that do not fit the charset, or
// a charset nobody knows, are read as Windows-1252 (see ValidUtf8).
std::string BodyText(std::string_view message);

namespace internal {

// The two ways BodyText reads, apart so that tests can hold them side by
// side. SinglePartBodyText is the shortcut for a message that is one part
// (neither multipart nor message/*) in 7bit, 8bit, binary, quoted-printable
// or base64 with a plainly laid out header block: it reads what the parser
// reads without building the parser's objects, and is empty for any other
// message. ParsedBodyText always has GMime parse the whole message.
std::optional<std::string> SinglePartBodyText(std::string_view message);
std::string ParsedBodyText(std::string_view message);

}  // namespace internal

// A header value as stored (unfolded) made readable: RFC 2047 encoded words
// decoded, raw 8-bit bytes read as UTF-8 or else Windows-1252.
std::string DecodeHeaderValue(std::string_view raw_value);

// A header value as the store hands it out. An address header (From, To,
// Cc, Reply-To, ...) as a mail library reads it: each mailbox as
// "Display Name <address>", or "<address>" when it has no name, joined with
// ", " (a name that holds any of "<>\",;:()@[]" is quoted), so that a bare
// address and one in angle brackets read alike; a group as "Name: members;".
// Any other header, and an address header in which no address is found, as
// DecodeHeaderValue reads it.
std::string PresentedHeaderValue(std::string_view name, std::string_view raw_value);

// The value as it may be written into a header: unchanged when it is ASCII,
// else with its non-ASCII words as RFC 2047 UTF-8 encoded words. One line;
// nothing is folded.
std::string EncodeHeaderValue(std::string_view utf8);

}  // namespace tarvex::mail

#endif  // TARVEX_MAIL_MIME_MESSAGE_H_
