// Character classes, case mapping and conversions of the system's single-byte
// code page, Windows-1252. Every text inside the system is a byte string in this
// code page; UTF-8 is what the rest of the Linux world speaks, so texts are
// converted at the boundaries (files named by the user, the mail store, output).
#ifndef TARVEX_PLATFORM_CODEPAGE_H_
#define TARVEX_PLATFORM_CODEPAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// UTF-8 encoding and decoding of single code points.
namespace tarvex::utf8 {

// Appends the UTF-8 encoding of code_point (at most 0x10FFFF) to *out.
void AppendUtf8(char32_t code_point, std::string* out);

// Decodes one UTF-8 sequence at text[*pos] (pos below the size), advancing
// *pos past it; returns -1 for a malformed, overlong, surrogate or too large
// sequence, after skipping its first byte only.
int64_t DecodeUtf8(std::string_view text, size_t* pos);

// The length of the valid UTF-8 sequence at text[pos], 0 when there is none.
size_t SequenceLength(std::string_view text, size_t pos);

}  // namespace tarvex::utf8

namespace tarvex::cp1252 {

namespace internal {
#include "platform/cp1252_tables.inc"
}  // namespace internal

constexpr unsigned char kLetterBit = 1;
constexpr unsigned char kDigitBit = 2;

constexpr bool IsLetter(unsigned char c) { return internal::kCharClass[c] & kLetterBit; }
constexpr bool IsDigit(unsigned char c) { return internal::kCharClass[c] & kDigitBit; }
constexpr bool IsLetterOrDigit(unsigned char c) { return internal::kCharClass[c] != 0; }
constexpr unsigned char ToLower(unsigned char c) { return internal::kToLower[c]; }

// Bytes the code page leaves undefined are carried as the C1 control of the
// same value, so a round trip through UTF-8 keeps every byte.
std::string ToUtf8(std::string_view text);

// Characters that Windows-1252 lacks, and malformed UTF-8 sequences, become "?".
std::string FromUtf8(std::string_view utf8);

// The byte that stands in the filter's text for a character Windows-1252
// lacks. It is above 127, so a run of such characters (a word of Cyrillic or
// Chinese) counts as non-English, as a run of accented letters does; the code
// page leaves it undefined, so it is neither letter nor digit and separates
// words as "?" would.
constexpr char kLackedCharacter = '\x81';

// The text the Bayesian filter reads (a message's header text and body): as
// FromUtf8, but a character Windows-1252 lacks becomes kLackedCharacter.
std::string FilterTextFromUtf8(std::string_view utf8);

}  // namespace tarvex::cp1252

#endif  // TARVEX_PLATFORM_CODEPAGE_H_
