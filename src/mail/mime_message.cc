#include "mail/mime_message.h"

#include <gmime/gmime.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>

#include "mail/message_text.h"
#include "platform/codepage.h"

namespace tarvex::mail {
namespace {

struct Unref {
  void operator()(gpointer object) const {
    if (object) g_object_unref(object);
  }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, Unref>;

struct GFree {
  void operator()(char* text) const { g_free(text); }
};
using GText = std::unique_ptr<char, GFree>;

// GMime is set up once for the life of the process and never shut down:
// objects of any host may use it until the very end.
GMimeParserOptions* ParserOptions() {
  static GMimeParserOptions* const options = [] {
    g_mime_init();
    GMimeParserOptions* created = g_mime_parser_options_new();
    // Raw 8-bit header text: UTF-8 when it is, else the code page this system
    // lives in.
    const char* fallback[] = {"UTF-8", "windows-1252", nullptr};
    g_mime_parser_options_set_fallback_charsets(created, fallback);
    return created;
  }();
  return options;
}

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Converts with iconv; a byte the charset cannot read is taken as Windows-1252.
std::string Convert(iconv_t cd, std::string_view bytes) {
  std::string out;
  char buffer[4096];
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  for (;;) {
    char* out_at = buffer;
    size_t out_left = sizeof buffer;
    const size_t result = g_mime_iconv(cd, in_left ? &in : nullptr, &in_left, &out_at, &out_left);
    out.append(buffer, static_cast<size_t>(out_at - buffer));
    if (result != static_cast<size_t>(-1)) {
      if (in_left == 0) break;
      continue;
    }
    if (errno == E2BIG) continue;
    if (in_left == 0) break;
    // EILSEQ or EINVAL: an impossible or cut-off sequence.
    out += cp1252::ToUtf8(std::string_view(in, 1));
    ++in;
    --in_left;
    g_mime_iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  }
  return out;
}

std::string CharsetToUtf8(std::string_view bytes, const char* charset) {
  if (!charset || !*charset) return ValidUtf8(bytes);
  const std::string canonical = g_mime_charset_canon_name(charset);
  if (canonical == "utf-8" || canonical == "us-ascii") return ValidUtf8(bytes);
  // Latin-1 as written by mail programs is nearly always Windows-1252, which
  // only differs in the otherwise unused 0x80..0x9F.
  if (canonical == "iso-8859-1" || canonical == "windows-1252" || canonical == "cp1252") {
    return cp1252::ToUtf8(bytes);
  }
  iconv_t cd = g_mime_iconv_open("UTF-8", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return ValidUtf8(bytes);
  std::string out = Convert(cd, bytes);
  g_mime_iconv_close(cd);
  return out;
}

struct TextParts {
  GMimePart* plain = nullptr;
  GMimePart* text = nullptr;
};

// Parts marked as attachments are not what the message says, so they are
// not taken for its text.
void NoteTextPart(GMimeObject*, GMimeObject* object, gpointer data) {
  auto* found = static_cast<TextParts*>(data);
  if (!GMIME_IS_PART(object) || g_mime_part_is_attachment(GMIME_PART(object))) return;
  GMimeContentType* type = g_mime_object_get_content_type(object);
  if (!found->plain && g_mime_content_type_is_type(type, "text", "plain")) {
    found->plain = GMIME_PART(object);
  }
  if (!found->text && g_mime_content_type_is_type(type, "text", "*")) {
    found->text = GMIME_PART(object);
  }
}

std::string PartText(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return {};
  GObjectPtr<GMimeStream> decoded(g_mime_stream_mem_new());
  if (g_mime_data_wrapper_write_to_stream(content, decoded.get()) < 0) return {};
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(decoded.get()));
  const std::string_view raw(reinterpret_cast<const char*>(bytes->data), bytes->len);
  return CharsetToUtf8(raw,
                       g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset"));
}

// ------------------------------------------------------------------ the shortcut
//
// Most mail is one text part: its text is its body as stored, decoded from
// its transfer encoding and converted from its charset. Having GMime build
// its objects for that (one per header field) costs far more than reading
// it, so such a message is read here when its header block is plainly laid
// out; whatever this reading is not sure to read as GMime does goes to the
// parser. mime_message_test.cc holds both readings side by side.

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Where a field's value lies in the header block: after the colon up to the
// end of its last line, folded as stored.
struct FieldValue {
  bool present = false;
  size_t begin = 0, end = 0;
};

// The fields that decide how the body is read.
struct MimeFields {
  FieldValue type, encoding, disposition;

  FieldValue* Named(std::string_view name) {
    if (SameFieldName(name, "Content-Type")) return &type;
    if (SameFieldName(name, "Content-Transfer-Encoding")) return &encoding;
    if (SameFieldName(name, "Content-Disposition")) return &disposition;
    return nullptr;
  }
};

// Finds the MIME fields of a header block made only of fields ("Name:" with
// nothing between name and colon), their continuation lines and, first, an
// mbox "From " line (which GMime passes over). False for any other line, for
// a NUL or a CR that does not end a line, and for a MIME field given twice.
bool ReadMimeFields(std::string_view block, MimeFields* fields) {
  if (block.find('\0') != std::string_view::npos) return false;
  for (size_t cr = block.find('\r'); cr != std::string_view::npos; cr = block.find('\r', cr + 1)) {
    if (cr + 1 == block.size() || block[cr + 1] != '\n') return false;
  }
  size_t covered = 0;  // every byte up to here is a field, its continuation or the "From " line
  if (block.substr(0, 5) == "From ") {
    const size_t newline = block.find('\n');
    covered = newline == std::string_view::npos ? block.size() : newline + 1;
  }
  const size_t offset = covered;
  const std::string_view rest = block.substr(offset);
  for (const HeaderField& field : HeaderFields(rest)) {
    // A line the field parser passed over leaves a gap.
    if (covered != offset + field.begin) return false;
    if (!IsValidFieldName(field.name) || field.value_begin != field.begin + field.name.size() + 1)
      return false;
    size_t end = field.end;
    if (end > field.value_begin && rest[end - 1] == '\n') --end;
    if (end > field.value_begin && rest[end - 1] == '\r') --end;
    if (FieldValue* mime = fields->Named(field.name)) {
      if (mime->present) return false;
      *mime = {true, offset + field.value_begin, offset + end};
    }
    covered = offset + field.end;
  }
  return covered == block.size();
}

// The transfer encodings read here; any other goes to the parser.
std::optional<GMimeContentEncoding> KnownEncoding(std::string_view value) {
  const auto space = [](char c) { return IsBlank(c) || c == '\r' || c == '\n'; };
  while (!value.empty() && space(value.front())) value.remove_prefix(1);
  while (!value.empty() && space(value.back())) value.remove_suffix(1);
  const struct {
    const char* name;
    GMimeContentEncoding encoding;
  } known[] = {
      {"7bit", GMIME_CONTENT_ENCODING_7BIT},
      {"8bit", GMIME_CONTENT_ENCODING_8BIT},
      {"binary", GMIME_CONTENT_ENCODING_BINARY},
      {"quoted-printable", GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE},
      {"base64", GMIME_CONTENT_ENCODING_BASE64},
  };
  for (const auto& k : known) {
    if (SameFieldName(value, k.name)) return k.encoding;
  }
  return std::nullopt;
}

// The body decoded from quoted-printable or base64, with the decoder GMime's
// own reading uses.
std::string Decoded(std::string_view body, GMimeContentEncoding encoding) {
  GMimeEncoding state;
  g_mime_encoding_init_decode(&state, encoding);
  std::string out(g_mime_encoding_outlen(&state, body.size()), '\0');
  out.resize(g_mime_encoding_flush(&state, body.data(), body.size(), out.data()));
  return out;
}

}  // namespace

namespace internal {

std::optional<std::string> SinglePartBodyText(std::string_view message) {
  const MessageLayout layout = LayOut(message);
  const std::string_view block = message.substr(0, layout.header_end);
  MimeFields fields;
  if (!ReadMimeFields(block, &fields)) return std::nullopt;
  const auto value = [&](const FieldValue& field) {
    return std::string(block.substr(field.begin, field.end - field.begin));
  };
  GMimeContentEncoding encoding = GMIME_CONTENT_ENCODING_DEFAULT;
  if (fields.encoding.present) {
    const std::optional<GMimeContentEncoding> known = KnownEncoding(value(fields.encoding));
    if (!known) return std::nullopt;
    encoding = *known;
  }
  const std::string_view body = message.substr(layout.body_start);
  GMimeParserOptions* options = ParserOptions();
  GObjectPtr<GMimeContentType> type(
      fields.type.present ? g_mime_content_type_parse(options, value(fields.type).c_str())
                          : g_mime_content_type_new("text", "plain"));
  if (!type || g_mime_content_type_is_type(type.get(), "multipart", "*") ||
      g_mime_content_type_is_type(type.get(), "message", "*")) {
    return std::nullopt;
  }
  bool attachment = false;
  if (fields.disposition.present) {
    GObjectPtr<GMimeContentDisposition> disposition(
        g_mime_content_disposition_parse(options, value(fields.disposition).c_str()));
    if (!disposition) return std::nullopt;
    attachment = g_mime_content_disposition_is_attachment(disposition.get());
  }
  // A single part that is no text, or an attachment: the message has no text.
  if (attachment || !g_mime_content_type_is_type(type.get(), "text", "*")) return ValidUtf8(body);
  const char* charset = g_mime_content_type_get_parameter(type.get(), "charset");
  if (encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
      encoding == GMIME_CONTENT_ENCODING_BASE64) {
    return CharsetToUtf8(Decoded(body, encoding), charset);
  }
  return CharsetToUtf8(body, charset);
}

std::string ParsedBodyText(std::string_view message) {
  GMimeParserOptions* options = ParserOptions();
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(message.data(), message.size()));
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  GObjectPtr<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), options));
  TextParts found;
  if (parsed) g_mime_message_foreach(parsed.get(), NoteTextPart, &found);
  if (GMimePart* part = found.plain ? found.plain : found.text) return PartText(part);
  return ValidUtf8(message.substr(LayOut(message).body_start));
}

}  // namespace internal

std::string BodyText(std::string_view message) {
  if (std::optional<std::string> text = internal::SinglePartBodyText(message)) {
    return std::move(*text);
  }
  return internal::ParsedBodyText(message);
}

std::string DecodeHeaderValue(std::string_view raw_value) {
  GMimeParserOptions* options = ParserOptions();
  const std::string raw(raw_value);
  GText decoded(g_mime_utils_header_decode_text(options, raw.c_str()));
  return decoded ? ValidUtf8(decoded.get()) : ValidUtf8(raw);
}

namespace {

// The header fields that hold mailboxes (RFC 5322 3.6.2, 3.6.3, 3.6.6, and
// the common list extensions).
constexpr const char* kAddressFields[] = {
    "From",       "Sender",           "Reply-To",      "To",        "Cc",
    "Bcc",        "Resent-From",      "Resent-Sender", "Resent-To", "Resent-Cc",
    "Resent-Bcc", "Mail-Followup-To", "Mail-Reply-To",
};

bool IsAddressField(std::string_view name) {
  for (const char* field : kAddressFields) {
    if (SameFieldName(name, field)) return true;
  }
  return false;
}

std::string DisplayName(const char* name) {
  const std::string text = ValidUtf8(name ? name : "");
  if (text.find_first_of("<>\",;:()@[]") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

void AppendAddresses(InternetAddressList* list, std::string* out) {
  const int count = internet_address_list_length(list);
  for (int i = 0; i < count; ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (i > 0) *out += ", ";
    const std::string name = DisplayName(internet_address_get_name(address));
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
      *out += name + ": ";
      AppendAddresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), out);
      *out += ";";
    } else if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
      const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
      if (!name.empty()) *out += name + " ";
      *out += "<" + ValidUtf8(addr ? addr : "") + ">";
    }
  }
}

}  // namespace

std::string PresentedHeaderValue(std::string_view name, std::string_view raw_value) {
  if (IsAddressField(name)) {
    const std::string raw(raw_value);
    GObjectPtr<InternetAddressList> list(internet_address_list_parse(ParserOptions(), raw.c_str()));
    std::string presented;
    if (list) AppendAddresses(list.get(), &presented);
    if (!presented.empty()) return presented;
  }
  return DecodeHeaderValue(raw_value);
}

std::string EncodeHeaderValue(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  ParserOptions();  // GMime set up
  const std::string text = ValidUtf8(utf8);
  GText encoded(g_mime_utils_header_encode_text(nullptr, text.c_str(), "utf-8"));
  std::string out;
  // Encoded words are never folded here; should a line end slip in, it goes.
  for (const char* c = encoded.get(); c && *c; ++c) {
    if (*c != '\r' && *c != '\n') out.push_back(*c);
  }
  return out;
}

}  // namespace tarvex::mail
