// Messages given to the command line as files: RFC 822 text, read either as
// the Maildir store reads a message or as raw text.
#ifndef TARVEX_MAIL_MESSAGE_FILE_H_
#define TARVEX_MAIL_MESSAGE_FILE_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvex::mail {

struct RawMessage {
  std::string header;  // the bytes before the first empty line
  std::string body;    // everything after that empty line
  // Whether a header's value is to be handed out as the Maildir store hands
  // it out (PresentedHeaderValue: decoded, addresses as a mail
  // library reads them) rather than as written.
  bool presented = false;
};

// Splits at the first empty line (LF or CRLF line ends), undecoded. A message
// without an empty line is all header.
RawMessage SplitRawMessage(std::string_view text);

// How a message file's text becomes the header and body the filter reads.
//   kDecoded: as the Maildir store hands a message to the filter. The header
//     is the header block as stored; the body is the message's text
//     (BodyText: its first text/plain part, else its first text/*
//     part, decoded and converted from its charset; else the body as stored).
//     Both are then converted to Windows-1252 as at the mail client's
//     boundary, characters it lacks becoming cp1252::kLackedCharacter.
//     Header values are presented as the store presents them (a bare
//     sender address as "<address>").
//   kRaw: SplitRawMessage, every byte as it is, header values as written.
enum class MessageReading { kDecoded, kRaw };
RawMessage ReadableMessage(std::string_view fileText, MessageReading reading);

// Reads a file named by a native path. On failure, false and the reason.
bool ReadNativeFile(const std::string& path, std::string* contents, std::string* error);

}  // namespace tarvex::mail

#endif  // TARVEX_MAIL_MESSAGE_FILE_H_
