#include "bayes/database_file.h"

#include <charconv>
#include <cstdio>
#include <limits>

#include "platform/codepage.h"

namespace tarvex {
namespace {

// The reader holds a line of 255 characters; a longer line is skipped whole.
constexpr size_t kMaxLineLength = 255;
constexpr uint32_t kMinWordLength = 3;

bool IsKeyChar(unsigned char c) {
  return cp1252::IsLetterOrDigit(c) || c == '$' || c == '!' || c == '\'' || c == '-' || c == '_';
}
bool IsValueChar(char c) { return (c >= '0' && c <= '9') || c == ',' || c == '.'; }

// Keeps the bytes of text that pass the filter, in a buffer as large as a line.
template <typename Filter>
std::string_view Retain(std::string_view text, char* buffer, Filter keep) {
  size_t n = 0;
  for (char c : text) {
    if (keep(c)) buffer[n++] = c;
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
    const std::string_view key = Retain(line.substr(0, equals), key_buffer, [](char c) {
      return IsKeyChar(static_cast<unsigned char>(c));
    });
    std::string_view value = Retain(raw_value, value_buffer, IsValueChar);
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
    WordEntry* existing = table->Find(word);
    if (!existing) {
      table->FindOrInsert(word) = {record, generation};
      return;
    }
    WordRecord& old = existing->record;
    old.spamCount += record.spamCount;
    old.cleanCount += record.cleanCount;
    old.probability = static_cast<float>((record.probability + old.probability) * 0.5);
    if (record.lastSeen > old.lastSeen) old.lastSeen = record.lastSeen;
  }
};

}  // namespace

void Scramble(char* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(bytes[i] ^ kFileKey);
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

void AppendWordLine(std::string_view word, const WordRecord& record, std::string* out) {
  char numbers[64];
  const int n =
      std::snprintf(numbers, sizeof numbers, " = %d,%d,%.8f,%d\n", record.spamCount,
                    record.cleanCount, static_cast<double>(record.probability), record.lastSeen);
  out->append(word).append(numbers, static_cast<size_t>(n));
}

}  // namespace tarvex
