// Feeds arbitrary bytes to the tokenizer and checks what every token table must
// look like, whatever the text: words of at most 15 bytes (the length is checked
// before leading punctuation is stripped, so "-ab" yields "ab"), each counted at
// least once, in strictly increasing unsigned byte order, and none holding a
// space or a base64 character ("+", "/", "=").
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bayes/ignore_words.h"
#include "bayes/tokenizer.h"

namespace {

bool LessUnsigned(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const tarvex::IgnoreWords ignore;
  const tarvex::TokenizerLimits limits;
  tarvex::TokenTable table;
  const uint32_t n = tarvex::Tokenize(text, ignore, limits, &table);
  Check(n == table.size());
  for (size_t i = 0; i < table.size(); ++i) {
    const tarvex::Token& token = table[i];
    Check(!token.word.empty() && token.word.size() <= limits.maxWordLength);
    Check(token.count > 0);
    Check(token.word.find_first_of("+/= ") == std::string::npos);
    if (i > 0) Check(LessUnsigned(table[i - 1].word, token.word));
  }
  return 0;
}
