// The word database file: a text of "Key = value" lines, every byte XORed with
// one key byte so the file is not casually readable. Written lines:
//   Version = 1.01
//   Spam = <spam messages>
//   Clean = <clean messages>
//   <word> = <spamCount>,<cleanCount>,<probability %.8f>,<lastSeen>
// The reader is lenient: it keeps what it can of damaged or hand-edited files.
#ifndef TARVEX_BAYES_DATABASE_FILE_H_
#define TARVEX_BAYES_DATABASE_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "bayes/word_table.h"

namespace tarvex {

constexpr unsigned char kFileKey = 0xA7;

// XORs every byte with kFileKey (its own inverse).
void Scramble(char* bytes, size_t size);

// What a file held, besides its words.
struct DatabaseHeader {
  int32_t spamMessageCount = 0;
  int32_t cleanMessageCount = 0;
  float databaseVersion = 1.01f;
};

// Reads the unscrambled text of a database file into an empty table. Words
// come in pinned to `generation` (their stored probability is the file's).
// Returns true when something had to be repaired: a missing time stamp was set
// to now, or a word lost leading characters.
bool ParseDatabaseText(std::string_view text, int32_t now, uint32_t generation, WordTable* table,
                       DatabaseHeader* header);

// Appends the three header lines, unscrambled.
void AppendHeaderLines(const DatabaseHeader& header, std::string* out);
// Appends value as printf's "%.8f" of the value widened to double would.
void AppendFixed8(float value, std::string* out);
// Appends one word line, unscrambled.
void AppendWordLine(std::string_view word, const WordRecord& record, std::string* out);

}  // namespace tarvex

#endif  // TARVEX_BAYES_DATABASE_FILE_H_
