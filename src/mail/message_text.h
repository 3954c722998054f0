// A stored message as bytes: where its header block ends, its header fields
// and how one field is changed without touching anything else. Nothing here
// decodes MIME; that is mime_message.h.
#ifndef TARVEX_MAIL_MESSAGE_TEXT_H_
#define TARVEX_MAIL_MESSAGE_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvex::mail {

// ------------------------------------------------------------------ UTF-8

// The bytes as UTF-8: valid UTF-8 sequences are kept, every other byte is
// read as Windows-1252, so no byte is lost.
std::string ValidUtf8(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);
// The code points of text after ValidUtf8.
std::u32string CodePoints(std::string_view bytes);

// ------------------------------------------------------------------ layout

struct MessageLayout {
  size_t header_end = 0;  // end of the header block: after the last header line's line end
  size_t body_start = 0;  // after the empty line; the size when there is none
  bool crlf = false;      // the header block ends its lines with CR LF
};

// Splits at the first empty line (LF or CR LF). A message without one is all
// header block. The line ending is the first line's.
MessageLayout LayOut(std::string_view message);

// ------------------------------------------------------------------ fields

// One header field of a header block: the bytes [begin, end) hold its first
// line, its continuation lines and their line ends.
struct HeaderField {
  std::string name;
  size_t begin = 0, end = 0;
  size_t value_begin = 0;  // just after the colon
};

// The fields of a header block in order. A line that is neither a field nor
// a continuation is passed over; a continuation with no field before it too.
std::vector<HeaderField> HeaderFields(std::string_view header_block);

// A field's value unfolded: continuation line ends removed, white space at
// both ends removed. Still undecoded.
std::string UnfoldedValue(std::string_view header_block, const HeaderField& field);

// Every field of a header block as name and unfolded value, in order.
std::vector<std::pair<std::string, std::string>> HeaderLines(std::string_view header_block);

bool SameFieldName(std::string_view a, std::string_view b);

// The unfolded value of the first field called name in message's header
// block; empty when there is none.
std::string FirstHeaderValue(std::string_view message, std::string_view name);

// A message as a mail reader pipes it, without the mbox "From " line it may
// start with.
std::string_view WithoutMboxFromLine(std::string_view message);

// Whether name can be written as a field name: printable ASCII without ":".
bool IsValidFieldName(std::string_view name);
// Whether value can be written on one line: no CR, LF or NUL.
bool IsValidFieldValue(std::string_view value);

// The message with each (name, value) set in order: the first field of that
// name (any case) is replaced where it stands by "name: value", later fields
// of that name go, and a name not there is appended at the end of the header
// block. The values are written as given, on one line each, with the
// message's own line ending; every byte outside the changed fields, the body
// included, stays as it is.
std::string SetHeaderFields(std::string_view message,
                            const std::vector<std::pair<std::string, std::string>>& fields);

}  // namespace tarvex::mail

#endif  // TARVEX_MAIL_MESSAGE_TEXT_H_
