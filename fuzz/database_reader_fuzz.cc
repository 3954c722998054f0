// Feeds arbitrary bytes to the word database reader, first as unscrambled text
// straight to the parser, then scrambled as a file that the engine loads and
// writes back, so the writer sees every table the reader can produce. The seeds
// are kept unscrambled for that reason.
//
// Checks on what the writer produced: three header lines, then word lines in
// strictly increasing unsigned byte order, each word longer than 3 bytes and
// with at least one non-zero count; and a file that was written twice comes
// back unchanged from another load and save. (Once is not enough: a hand-made
// word that reads as a header key after its leading characters are stripped,
// a version that prints as 0.00, or a word too long for the reader's line all
// change the file once more before it settles.)
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bayes/bayes_engine.h"
#include "bayes/database_file.h"
#include "bayes/word_table.h"
#include "platform/clock.h"
#include "platform/file_system.h"

namespace {

constexpr int32_t kNow = 1'700'000'000;
const char kPath[] = "/profile/words.db";

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool LessUnsigned(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

// The leading digits of text, as the writer prints a count.
int64_t Leading(std::string_view text) {
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
  }
  return value;
}

void CheckWrittenText(std::string text) {
  tarvex::Scramble(text.data(), text.size());
  std::string_view rest = text;
  const char* const kHeaderKeys[] = {"Version = ", "Spam = ", "Clean = "};
  std::string_view previous;
  for (int line_number = 0; !rest.empty(); ++line_number) {
    const size_t newline = rest.find('\n');
    Check(newline != std::string_view::npos);
    const std::string_view line = rest.substr(0, newline);
    rest.remove_prefix(newline + 1);
    if (line_number < 3) {
      Check(line.substr(0, std::string_view(kHeaderKeys[line_number]).size()) ==
            kHeaderKeys[line_number]);
      continue;
    }
    const size_t equals = line.find(" = ");
    Check(equals != std::string_view::npos);
    const std::string_view word = line.substr(0, equals);
    Check(word.size() > 3);
    Check(line_number == 3 || LessUnsigned(previous, word));
    previous = word;
    std::string_view numbers = line.substr(equals + 3);
    const size_t comma = numbers.find(',');
    Check(comma != std::string_view::npos);
    Check(Leading(numbers) > 0 || Leading(numbers.substr(comma + 1)) > 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  tarvex::WordTable table;
  tarvex::DatabaseHeader header;
  tarvex::ParseDatabaseText(text, kNow, 1, &table, &header);

  tarvex::ManualClock clock(kNow);
  tarvex::MemoryFileSystem fs;
  std::string file(text);
  tarvex::Scramble(file.data(), file.size());
  fs.files()[kPath] = file;
  {
    tarvex::BayesEngine engine(clock, fs);
    engine.SetDatabasePath(kPath);
    Check(engine.Load());
    Check(engine.WordDatabase().size() == table.size());
    Check(engine.Save(true).ok());
    const std::string written = fs.files()[kPath];
    CheckWrittenText(written);
    Check(engine.Load());
    Check(engine.Save(true).ok());
    const std::string settled = fs.files()[kPath];
    Check(engine.Load());
    Check(engine.Save(true).ok());
    Check(fs.files()[kPath] == settled);
    Check(engine.Close().ok());
  }
  return 0;
}
