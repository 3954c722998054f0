#include "mail/message_text.h"

#include "platform/codepage.h"

namespace tarvex::mail {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

// ------------------------------------------------------------------ UTF-8

std::string ValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t run = 0;  // where the valid bytes not yet copied begin
  for (size_t pos = 0; pos < bytes.size();) {
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
    } else if (const size_t length = utf8::SequenceLength(bytes, pos)) {
      pos += length;
    } else {
      out.append(bytes, run, pos - run);
      out += cp1252::ToUtf8(bytes.substr(pos, 1));
      run = ++pos;
    }
  }
  out.append(bytes, run);
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  for (size_t pos = 0; pos < bytes.size();) {
    const size_t length = utf8::SequenceLength(bytes, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::u32string CodePoints(std::string_view bytes) {
  const std::string text = ValidUtf8(bytes);
  std::u32string out;
  for (size_t pos = 0; pos < text.size();) {
    out.push_back(static_cast<char32_t>(utf8::DecodeUtf8(text, &pos)));
  }
  return out;
}

// ------------------------------------------------------------------ layout

MessageLayout LayOut(std::string_view message) {
  MessageLayout layout;
  const size_t first_newline = message.find('\n');
  layout.crlf = first_newline != std::string_view::npos && first_newline > 0 &&
                message[first_newline - 1] == '\r';
  for (size_t pos = 0; pos < message.size();) {
    size_t end = pos;
    if (message[end] == '\r') ++end;
    if (end < message.size() && message[end] == '\n') {
      layout.header_end = pos;
      layout.body_start = end + 1;
      return layout;
    }
    const size_t newline = message.find('\n', pos);
    if (newline == std::string_view::npos) break;
    pos = newline + 1;
  }
  layout.header_end = layout.body_start = message.size();
  return layout;
}

// ------------------------------------------------------------------ fields

std::vector<HeaderField> HeaderFields(std::string_view block) {
  std::vector<HeaderField> fields;
  bool continues = false;  // whether a continuation line belongs to the last field
  for (size_t pos = 0; pos < block.size();) {
    const size_t newline = block.find('\n', pos);
    const size_t next = newline == std::string_view::npos ? block.size() : newline + 1;
    std::string_view line = block.substr(pos, next - pos);
    if (IsBlank(line[0])) {
      if (continues) fields.back().end = next;
    } else {
      const size_t colon = line.find(':');
      std::string_view name = line.substr(0, colon == std::string_view::npos ? 0 : colon);
      while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);  // "Name :" is seen
      continues = colon != std::string_view::npos && !name.empty();
      if (continues) fields.push_back({std::string(name), pos, next, pos + colon + 1});
    }
    pos = next;
  }
  return fields;
}

std::string FirstHeaderValue(std::string_view message, std::string_view name) {
  const std::string_view header = message.substr(0, LayOut(message).header_end);
  for (const HeaderField& field : HeaderFields(header)) {
    if (SameFieldName(field.name, name)) return UnfoldedValue(header, field);
  }
  return {};
}

std::string_view WithoutMboxFromLine(std::string_view message) {
  if (message.rfind("From ", 0) == 0) {
    message.remove_prefix(std::min(message.size(), message.find('\n') + 1));
  }
  return message;
}

std::string UnfoldedValue(std::string_view block, const HeaderField& field) {
  std::string value;
  for (size_t pos = field.value_begin; pos < field.end; ++pos) {
    if (block[pos] != '\r' && block[pos] != '\n') value.push_back(block[pos]);
  }
  size_t begin = 0, end = value.size();
  while (begin < end && IsBlank(value[begin])) ++begin;
  while (end > begin && IsBlank(value[end - 1])) --end;
  return value.substr(begin, end - begin);
}

std::vector<std::pair<std::string, std::string>> HeaderLines(std::string_view block) {
  std::vector<std::pair<std::string, std::string>> lines;
  for (const HeaderField& field : HeaderFields(block)) {
    lines.emplace_back(field.name, UnfoldedValue(block, field));
  }
  return lines;
}

bool SameFieldName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IsValidFieldName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (c <= ' ' || c > '~' || c == ':') return false;
  }
  return true;
}

bool IsValidFieldValue(std::string_view value) {
  return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string SetHeaderFields(std::string_view message,
                            const std::vector<std::pair<std::string, std::string>>& changes) {
  const MessageLayout layout = LayOut(message);
  const char* eol = layout.crlf ? "\r\n" : "\n";
  std::string block(message.substr(0, layout.header_end));
  for (const auto& [name, value] : changes) {
    const std::string line = name + ":" + (value.empty() ? "" : " ") + value + eol;
    const std::vector<HeaderField> fields = HeaderFields(block);
    // Later fields of the name go first, back to front, so that the offsets
    // of the earlier ones stay right.
    const HeaderField* first = nullptr;
    for (const HeaderField& field : fields) {
      if (SameFieldName(field.name, name) && !first) first = &field;
    }
    for (auto it = fields.rbegin(); it != fields.rend(); ++it) {
      if (&*it != first && SameFieldName(it->name, name))
        block.erase(it->begin, it->end - it->begin);
    }
    if (first) {
      block.replace(first->begin, first->end - first->begin, line);
    } else if (!block.empty() && block.back() == '\r' &&
               (block.size() == 1 || block[block.size() - 2] == '\n')) {
      // A last line that is a lone CR would, once ended, read as the empty
      // line that ends the header block; the field goes before it.
      block.insert(block.size() - 1, line);
    } else {
      if (!block.empty() && block.back() != '\n') block += eol;  // a last line without its end
      block += line;
    }
  }
  std::string out = std::move(block);
  out.append(message.substr(layout.header_end));
  return out;
}

}  // namespace tarvex::mail
