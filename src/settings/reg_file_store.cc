#include "settings/reg_file_store.h"

#include <cstdio>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/codepage.h"

namespace tarvex {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// The first line of the format, as regedit writes it; version 5 files are read too.
constexpr std::string_view kSignature = "REGEDIT4";
constexpr std::string_view kSignature5 = "Windows Registry Editor Version";
constexpr size_t kShownLineLength = 60;  // of a line that does not parse
constexpr size_t kWrapColumn = 76;       // hex lists are continued on a new line beyond this

struct Line {
  std::string_view text;  // without its line end
  std::string_view eol;   // "\n", "\r\n", or empty for an unterminated last line
};

// A value line (with its continuation lines) of our section.
struct Entry {
  size_t first_line = 0;
  size_t end_line = 0;  // one past the last line
  std::string name;     // system text
  StoredValue value;
};

struct ParsedFile {
  std::string_view bom;
  std::vector<Line> lines;
  bool has_section = false;
  size_t insert_at = 0;  // where a new value goes: after the last non-blank line of our section
  std::vector<Entry> entries;  // the well-formed values of our section, in file order
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

size_t SkipSpaces(std::string_view text, size_t pos) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  return pos;
}

std::string_view Trim(std::string_view text) {
  const size_t begin = SkipSpaces(text, 0);
  size_t end = text.size();
  while (end > begin && IsSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool IsBlank(std::string_view text) { return SkipSpaces(text, 0) == text.size(); }

// Nothing but spaces or a comment follows pos.
bool RestIsBlank(std::string_view text, size_t pos) {
  pos = SkipSpaces(text, pos);
  return pos == text.size() || text[pos] == ';';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<Line> SplitLines(std::string_view contents) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < contents.size()) {
    const size_t newline = contents.find('\n', pos);
    const size_t end = newline == std::string_view::npos ? contents.size() : newline + 1;
    size_t text_end = newline == std::string_view::npos ? end : newline;
    if (text_end > pos && text_end < end && contents[text_end - 1] == '\r') --text_end;
    lines.push_back(
        {contents.substr(pos, text_end - pos), contents.substr(text_end, end - text_end)});
    pos = end;
  }
  return lines;
}

enum class Header { kNone, kOurs, kOther };

Header ClassifyHeader(std::string_view text) {
  text = Trim(text);
  if (text.empty() || text[0] != '[') return Header::kNone;
  const size_t close = text.rfind(']');
  if (close == std::string_view::npos) return Header::kOther;
  return EqualsIgnoreCase(Trim(text.substr(1, close - 1)), RegFileSettingsStore::kKeyName)
             ? Header::kOurs
             : Header::kOther;
}

// Reads a quoted text starting at the opening quote at text[*pos] and leaves
// *pos after the closing quote. False when the closing quote is missing.
bool ReadQuoted(std::string_view text, size_t* pos, std::string* out) {
  ++*pos;
  while (*pos < text.size()) {
    const char c = text[(*pos)++];
    if (c == '"') return true;
    if (c != '\\') {
      out->push_back(c);
      continue;
    }
    if (*pos == text.size()) return false;
    const char escaped = text[(*pos)++];
    switch (escaped) {
      case '\\':
      case '"':
        out->push_back(escaped);
        break;
      case 'n':
        out->push_back('\n');
        break;
      case 'r':
        out->push_back('\r');
        break;
      case 't':
        out->push_back('\t');
        break;
      case '0':
        out->push_back('\0');
        break;
      default:  // not an escape: kept as written
        out->push_back('\\');
        out->push_back(escaped);
        break;
    }
  }
  return false;
}

// A line continuing a hex list starts with a hex digit; anything else (a new
// value, a section, a comment, a blank line) means the list was cut short.
bool IsContinuation(std::string_view text) {
  const size_t pos = SkipSpaces(text, 0);
  return pos < text.size() && HexDigit(text[pos]) >= 0;
}

// Parses the comma-separated bytes from lines[*index].text[pos] on, following
// continuation lines; *index is left at the last line looked at.
bool ParseHexList(const std::vector<Line>& lines, size_t* index, size_t pos, std::string* out) {
  std::string_view text = lines[*index].text;
  for (;;) {  // expecting a byte, the end of the list or a continuation
    pos = SkipSpaces(text, pos);
    if (RestIsBlank(text, pos)) return true;
    if (text[pos] == '\\') {
      if (!IsBlank(text.substr(pos + 1))) return false;
      if (*index + 1 >= lines.size() || !IsContinuation(lines[*index + 1].text)) return false;
      text = lines[++*index].text;
      pos = 0;
      continue;
    }
    int byte = HexDigit(text[pos]);
    if (byte < 0) return false;
    ++pos;
    if (pos < text.size() && HexDigit(text[pos]) >= 0) byte = byte * 16 + HexDigit(text[pos++]);
    out->push_back(static_cast<char>(byte));
    pos = SkipSpaces(text, pos);
    if (RestIsBlank(text, pos)) return true;
    if (text[pos] != ',') return false;
    ++pos;
  }
}

// Parses the value line at lines[*index] into name and value; *index is left
// at the value's last line. False for anything that is not a well-formed named
// value (comments, the default value "@", garbage).
bool ParseValue(const std::vector<Line>& lines, size_t* index, std::string* name,
                StoredValue* value) {
  const std::string_view text = lines[*index].text;
  size_t pos = SkipSpaces(text, 0);
  std::string utf8_name;
  if (pos == text.size() || text[pos] != '"' || !ReadQuoted(text, &pos, &utf8_name)) return false;
  pos = SkipSpaces(text, pos);
  if (pos == text.size() || text[pos] != '=') return false;
  pos = SkipSpaces(text, pos + 1);
  const std::string_view data = text.substr(pos);

  if (!data.empty() && data[0] == '"') {
    std::string utf8;
    if (!ReadQuoted(text, &pos, &utf8) || !RestIsBlank(text, pos)) return false;
    *value = {ValueType::kString, cp1252::FromUtf8(utf8)};
  } else if (StartsWithIgnoreCase(data, "dword:")) {
    pos += 6;
    uint32_t number = 0;
    size_t digits = 0;
    for (; pos < text.size() && HexDigit(text[pos]) >= 0; ++pos, ++digits) {
      number = number << 4 | static_cast<uint32_t>(HexDigit(text[pos]));
    }
    if (digits == 0 || digits > 8 || !RestIsBlank(text, pos)) return false;
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    *value = {ValueType::kDword, std::move(bytes)};
  } else if (StartsWithIgnoreCase(data, "hex")) {
    pos += 3;
    uint32_t type = static_cast<uint32_t>(ValueType::kBinary);
    if (pos < text.size() && text[pos] == '(') {
      type = 0;
      size_t digits = 0;
      for (++pos; pos < text.size() && HexDigit(text[pos]) >= 0; ++pos, ++digits) {
        type = type << 4 | static_cast<uint32_t>(HexDigit(text[pos]));
      }
      if (digits == 0 || digits > 8 || pos == text.size() || text[pos] != ')') return false;
      ++pos;
    }
    if (pos == text.size() || text[pos] != ':') return false;
    std::string bytes;
    if (!ParseHexList(lines, index, pos + 1, &bytes)) return false;
    *value = {static_cast<ValueType>(type), std::move(bytes)};
  } else {
    return false;  // a deletion ("-") or an unknown form
  }
  *name = cp1252::FromUtf8(utf8_name);
  return true;
}

ParsedFile Parse(std::string_view contents) {
  ParsedFile file;
  if (contents.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    file.bom = contents.substr(0, kUtf8Bom.size());
    contents.remove_prefix(kUtf8Bom.size());
  }
  file.lines = SplitLines(contents);
  bool in_section = false;
  for (size_t i = 0; i < file.lines.size(); ++i) {
    const Header header = ClassifyHeader(file.lines[i].text);
    if (header != Header::kNone) {
      in_section = header == Header::kOurs;
      if (in_section) {
        file.has_section = true;
        file.insert_at = i + 1;
      }
      continue;
    }
    if (!in_section) continue;
    Entry entry;
    entry.first_line = i;
    if (ParseValue(file.lines, &i, &entry.name, &entry.value)) {
      entry.end_line = i + 1;
      file.entries.push_back(std::move(entry));
    }
    if (!IsBlank(file.lines[i].text)) file.insert_at = i + 1;
  }
  return file;
}

// New lines follow the file's own line ends.
std::string_view LineEnd(const ParsedFile& file) {
  for (const Line& line : file.lines) {
    if (!line.eol.empty()) return line.eol;
  }
  return "\n";
}

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

// Text that the quoted form carries exactly: no zero byte, and no control
// bytes other than the escaped ones.
bool IsPlainText(std::string_view data) {
  for (char c : data) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && c != '\n' && c != '\r' && c != '\t') return false;
  }
  return true;
}

// The value's line(s), each ending with eol.
std::string FormatValue(const std::string& name, const StoredValue& value, std::string_view eol) {
  std::string out = "\"" + Escape(cp1252::ToUtf8(name)) + "\"=";
  char number[32];
  if (value.type == ValueType::kString && IsPlainText(value.data)) {
    out += "\"" + Escape(cp1252::ToUtf8(value.data)) + "\"";
  } else if (value.type == ValueType::kDword && value.data.size() == 4) {
    uint32_t dword = 0;
    for (size_t i = 4; i > 0; --i)
      dword = dword << 8 | static_cast<unsigned char>(value.data[i - 1]);
    std::snprintf(number, sizeof number, "dword:%08x", static_cast<unsigned>(dword));
    out += number;
  } else {
    if (value.type == ValueType::kBinary) {
      out += "hex:";
    } else {
      std::snprintf(number, sizeof number, "hex(%x):", static_cast<unsigned>(value.type));
      out += number;
    }
    size_t line_start = 0;
    for (size_t i = 0; i < value.data.size(); ++i) {
      if (i > 0 && out.size() - line_start + 3 > kWrapColumn) {
        out += "\\";
        out += eol;
        line_start = out.size();
        out += "  ";
      }
      std::snprintf(number, sizeof number, "%02x", static_cast<unsigned char>(value.data[i]));
      out += number;
      if (i + 1 < value.data.size()) out += ",";
    }
  }
  out += eol;
  return out;
}

std::optional<ParsedFile> ReadSection(FileSystem& fs, const std::string& path,
                                      std::string* contents) {
  if (!fs.ReadFile(path, contents)) return std::nullopt;
  ParsedFile file = Parse(*contents);
  if (!file.has_section) return std::nullopt;
  return file;
}

class RegFileKey : public SettingsKey {
 public:
  RegFileKey(FileSystem& fs, const std::string& path) : fs_(fs), path_(path) {}

  std::optional<StoredValue> Query(const std::string& name) override {
    std::string contents;
    const std::optional<ParsedFile> file = ReadSection(fs_, path_, &contents);
    if (!file) return std::nullopt;
    // Like an import, a later line for the same name wins.
    const Entry* found = nullptr;
    for (const Entry& entry : file->entries) {
      if (EqualsIgnoreCase(entry.name, name)) found = &entry;
    }
    if (!found) return std::nullopt;
    return found->value;
  }

  void Set(const std::string& name, const StoredValue& value) override {
    std::string contents;
    const std::optional<ParsedFile> file = ReadSection(fs_, path_, &contents);
    if (!file) return;  // the key is gone
    // The last line for the name is replaced (keeping the name's spelling);
    // any earlier ones would be shadowed by it and are dropped.
    std::map<size_t, const Entry*> matches;
    const Entry* last = nullptr;
    for (const Entry& entry : file->entries) {
      if (EqualsIgnoreCase(entry.name, name)) matches[entry.first_line] = last = &entry;
    }
    const std::string_view eol = LineEnd(*file);
    const std::string value_text = FormatValue(last ? last->name : name, value, eol);
    auto put_value = [&](std::string* out) {
      if (!out->empty() && out->back() != '\n') *out += eol;
      *out += value_text;
    };

    std::string out(file->bom);
    for (size_t i = 0; i <= file->lines.size();) {
      if (!last && i == file->insert_at) put_value(&out);
      if (i == file->lines.size()) break;
      auto match = matches.find(i);
      if (match != matches.end()) {
        if (match->second == last) put_value(&out);
        i = match->second->end_line;
        continue;
      }
      out += file->lines[i].text;
      out += file->lines[i].eol;
      ++i;
    }
    WriteWholeFile(fs_, path_, out);  // a failed write is lost, as with the registry
  }

 private:
  FileSystem& fs_;
  const std::string path_;
};

}  // namespace

std::unique_ptr<SettingsKey> RegFileSettingsStore::OpenKey() {
  std::string contents;
  if (!ReadSection(fs_, path_, &contents)) return nullptr;
  return std::make_unique<RegFileKey>(fs_, path_);
}

bool RegFileSettingsStore::CreateKey() {
  std::string contents;
  if (fs_.ReadFile(path_, &contents)) {
    if (Parse(contents).has_section) return true;
  } else if (fs_.FileExists(path_)) {
    return false;  // there but unreadable: leave it alone
  } else {
    const size_t slash = path_.rfind('/');
    if (slash != std::string::npos && slash > 0) fs_.CreateDirectories(path_.substr(0, slash));
  }
  const ParsedFile file = Parse(contents);
  const std::string eol(LineEnd(file));
  const bool ends_with_blank_line = !file.lines.empty() && IsBlank(file.lines.back().text);
  std::string out = contents;
  if (out.empty()) {
    out = std::string(kSignature) + eol;
  } else if (out.back() != '\n') {
    out += eol;
  }
  if (!ends_with_blank_line) out += eol;
  out += "[" + std::string(kKeyName) + "]" + eol;
  WriteWholeFile(fs_, path_, out);
  return OpenKey() != nullptr;
}

Status RegFileSettingsStore::Check() {
  std::string contents;
  if (Status read = fs_.Read(path_, &contents); !read.ok()) return read;
  const std::string shown = cp1252::ToUtf8(path_);
  if (contents.find_first_not_of(" \t\r\n") == std::string::npos) {
    return Status::Invalid(shown, "the file is empty");
  }
  const ParsedFile file = Parse(contents);
  if (file.has_section) return Status::Ok();
  for (size_t i = 0; i < file.lines.size(); ++i) {
    const std::string_view text = Trim(file.lines[i].text);
    if (text.empty() || text[0] == ';' || ClassifyHeader(text) != Header::kNone) continue;
    if (i == 0 && (text == kSignature || StartsWithIgnoreCase(text, kSignature5))) continue;
    std::string name;
    StoredValue value;
    if (ParseValue(file.lines, &i, &name, &value)) continue;
    std::string excerpt(text.substr(0, kShownLineLength));
    for (char& c : excerpt) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return Status::Invalid(shown, "line " + std::to_string(i + 1) + " does not parse: \"" +
                                      excerpt + (text.size() > kShownLineLength ? "...\"" : "\""));
  }
  return Status::Invalid(shown, "no [" + std::string(kKeyName) + "] section in the file");
}

Status RegFileSettingsStore::Reset() {
  const size_t slash = path_.rfind('/');
  if (slash != std::string::npos && slash > 0) fs_.CreateDirectories(path_.substr(0, slash));
  return WriteWholeFile(fs_, path_, std::string(kSignature) + "\n\n[" + kKeyName + "]\n",
                        Backup::kKeepPrevious);
}

std::string DefaultSettingsPath(const std::function<const char*(const char*)>& getenv) {
  auto get = [&getenv](const char* name) {
    const char* value = getenv(name);
    return std::string(value ? value : "");
  };
  if (std::string path = get("TARVEX_CONFIG"); !path.empty()) return path;
  if (std::string config = get("XDG_CONFIG_HOME"); !config.empty()) {
    return config + "/tarvex/settings.reg";
  }
  return get("HOME") + "/.config/tarvex/settings.reg";
}

}  // namespace tarvex
