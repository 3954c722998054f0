#include "bayes/database_file.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/codepage.h"

namespace tarvex {
namespace {

// The reader holds a line of 255 characters; a longer line is skipped whole.
constexpr size_t kMaxLineLength = 255;
constexpr uint32_t kMinWordLength = 3;

// Which bytes a key and a value keep: letters, digits and "$!'-_" in a key;
// digits, "," and "." in a value (so no value read is ever negative).
struct KeptBytes {
  bool key[256] = {};
  bool value[256] = {};
  constexpr KeptBytes() {
    for (int c = 0; c < 256; ++c) key[c] = cp1252::IsLetterOrDigit(static_cast<unsigned char>(c));
    for (unsigned char c : {'$', '!', '\'', '-', '_'}) key[c] = true;
    for (unsigned char c : {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', ',', '.'}) {
      value[c] = true;
    }
  }
};
constexpr KeptBytes kKept;

// Keeps the bytes of text that pass the filter, in a buffer as large as a line.
std::string_view Retain(std::string_view text, char* buffer, const bool (&keep)[256]) {
  size_t n = 0;
  for (char c : text) {
    buffer[n] = c;
    n += keep[static_cast<unsigned char>(c)];
  }
  return std::string_view(buffer, n);
}

// The leading digits of a field, saturating at the largest 32-bit number.
int32_t ReadInteger(std::string_view field) {
  int64_t value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(value);
}

double ReadDecimal(std::string_view field) {
  // Up to 15 digits with at most one point: digits / 10^decimals is exact in
  // both operands and correctly rounded, the same double a full parse gives.
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  uint64_t digits = 0;
  int count = 0, decimals = -1;
  for (char c : field) {
    if (c == '.' && decimals < 0) {
      decimals = 0;
      continue;
    }
    if (c < '0' || c > '9' || count == 15) break;
    digits = digits * 10 + static_cast<uint64_t>(c - '0');
    ++count;
    if (decimals >= 0) ++decimals;
  }
  const size_t used = static_cast<size_t>(count) + (decimals >= 0);
  if (used == field.size() && count > 0) {
    return static_cast<double>(digits) / kPowers[decimals < 0 ? 0 : decimals];
  }
  double value = 0;
  std::from_chars(field.data(), field.data() + field.size(), value, std::chars_format::fixed);
  return value;
}

// The next comma-separated field of value, consumed; empty when none is left.
std::string_view NextField(std::string_view* value) {
  const size_t comma = value->find(',');
  const std::string_view field = value->substr(0, comma);
  *value = comma == std::string_view::npos ? std::string_view() : value->substr(comma + 1);
  return field;
}

struct LineParser {
  int32_t now;
  uint32_t generation;
  WordTable* table;
  DatabaseHeader* header;
  bool repaired = false;

  void Parse(std::string_view line) {
    if (line.empty()) return;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    std::string_view raw_value = line.substr(equals + 1);
    raw_value = raw_value.substr(0, raw_value.find('='));
    if (raw_value.empty()) return;

    char key_buffer[kMaxLineLength], value_buffer[kMaxLineLength];
    const std::string_view key = Retain(line.substr(0, equals), key_buffer, kKept.key);
    std::string_view value = Retain(raw_value, value_buffer, kKept.value);
    if (key == "Spam") {
      header->spamMessageCount = ReadInteger(value);
    } else if (key == "Clean") {
      header->cleanMessageCount = ReadInteger(value);
    } else if (key == "Version") {
      header->databaseVersion = static_cast<float>(ReadDecimal(value));
    } else {
      ParseWord(key, value);
    }
  }

  void ParseWord(std::string_view word, std::string_view value) {
    WordRecord record;
    record.spamCount = ReadInteger(NextField(&value));
    record.cleanCount = ReadInteger(NextField(&value));
    record.probability = static_cast<float>(ReadDecimal(NextField(&value)));
    record.lastSeen = ReadInteger(NextField(&value));
    if (record.spamCount <= 0 && record.cleanCount <= 0) return;
    if (record.probability <= 0.0001f) record.probability = 0.0001f;
    if (record.probability >= 1.0f) record.probability = 1.0f;
    if (record.lastSeen == 0) {
      record.lastSeen = now;
      repaired = true;
    }
    size_t start = 0;
    while (start < word.size() &&
           !cp1252::IsLetterOrDigit(static_cast<unsigned char>(word[start]))) {
      ++start;
    }
    if (word.size() - start <= kMinWordLength) return;
    if (start > 0) repaired = true;
    Merge(word.substr(start), record);
  }

  void Merge(std::string_view word, const WordRecord& record) {
    bool inserted;
    WordEntry& entry = table->FindOrInsert(word, &inserted);
    if (inserted) {
      entry = {record, generation};
      return;
    }
    WordRecord& old = entry.record;
    old.spamCount = AddCount(old.spamCount, record.spamCount);
    old.cleanCount = AddCount(old.cleanCount, record.cleanCount);
    old.probability = static_cast<float>((record.probability + old.probability) * 0.5);
    if (record.lastSeen > old.lastSeen) old.lastSeen = record.lastSeen;
  }
};

}  // namespace

void Scramble(char* bytes, size_t size) {
  constexpr uint64_t kKeyWord = 0x0101010101010101u * kFileKey;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t chunk;
    std::memcpy(&chunk, bytes + i, 8);
    chunk ^= kKeyWord;
    std::memcpy(bytes + i, &chunk, 8);
  }
  for (; i < size; ++i) bytes[i] = static_cast<char>(bytes[i] ^ kFileKey);
}

bool ParseDatabaseText(std::string_view text, int32_t now, uint32_t generation, WordTable* table,
                       DatabaseHeader* header) {
  LineParser parser{now, generation, table, header};
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    const std::string_view line = text.substr(0, newline);
    if (line.size() <= kMaxLineLength) parser.Parse(line);
    if (newline == std::string_view::npos) break;
    text.remove_prefix(newline + 1);
  }
  return parser.repaired;
}

void AppendHeaderLines(const DatabaseHeader& header, std::string* out) {
  char line[96];
  const double version = header.databaseVersion == 0.0f ? 1.01f : header.databaseVersion;
  out->append(line,
              static_cast<size_t>(std::snprintf(line, sizeof line, "Version = %1.2f\n", version)));
  out->append(line, static_cast<size_t>(
                        std::snprintf(line, sizeof line, "Spam = %d\n", header.spamMessageCount)));
  out->append(line, static_cast<size_t>(std::snprintf(line, sizeof line, "Clean = %d\n",
                                                      header.cleanMessageCount)));
}

void AppendFixed8(float value, std::string* out) {
  int exponent;
  const float fraction = std::frexp(value, &exponent);  // value = fraction * 2^exponent
  if (!(value > 0) || exponent > 1 || exponent < -26) {
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%.8f", static_cast<double>(value));
    out->append(text, static_cast<size_t>(n));
    return;
  }
  // value = significand / 2^shift exactly; scale by 10^8 and round half to
  // even, as printf does with the exact binary value.
  const auto significand = static_cast<uint64_t>(std::ldexp(fraction, 24));
  const int shift = 24 - exponent;
  const uint64_t scaled = significand * 100000000u;
  uint64_t units = scaled >> shift;
  const uint64_t rest = scaled & ((uint64_t{1} << shift) - 1);
  const uint64_t half = uint64_t{1} << (shift - 1);
  if (rest > half || (rest == half && (units & 1))) ++units;
  char text[24];
  char* end = std::to_chars(text, text + sizeof text, units / 100000000u).ptr;
  *end++ = '.';
  uint64_t decimals = units % 100000000u;
  for (int i = 7; i >= 0; --i, decimals /= 10) end[i] = static_cast<char>('0' + decimals % 10);
  out->append(text, static_cast<size_t>(end + 8 - text));
}

void AppendWordLine(std::string_view word, const WordRecord& record, std::string* out) {
  const auto append_int = [out](int32_t n) {
    char text[12];
    out->append(text, static_cast<size_t>(std::to_chars(text, text + sizeof text, n).ptr - text));
  };
  out->append(word).append(" = ");
  append_int(record.spamCount);
  out->push_back(',');
  append_int(record.cleanCount);
  out->push_back(',');
  AppendFixed8(record.probability, out);
  out->push_back(',');
  append_int(record.lastSeen);
  out->push_back('\n');
}

}  // namespace tarvex
