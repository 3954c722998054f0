#include "platform/codepage.h"

#include <array>
#include <cstdint>

namespace tarvex::utf8 {

void AppendUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

int64_t DecodeUtf8(std::string_view text, size_t* pos) {
  const auto lead = static_cast<unsigned char>(text[(*pos)++]);
  if (lead < 0x80) return lead;
  int extra = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
  if (extra < 0 || lead >= 0xF5) return -1;
  int64_t cp = lead & (0x3F >> extra);
  for (int i = 0; i < extra; ++i) {
    if (*pos >= text.size()) return -1;
    const auto next = static_cast<unsigned char>(text[*pos]);
    if ((next & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (next & 0x3F);
    ++*pos;
  }
  static constexpr int64_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return -1;
  return cp;
}

size_t SequenceLength(std::string_view text, size_t pos) {
  size_t end = pos;
  return DecodeUtf8(text, &end) < 0 ? 0 : end - pos;
}

}  // namespace tarvex::utf8

namespace tarvex::cp1252 {
namespace {

// Unicode code points of the bytes 0x80..0x9F; the undefined ones map to the
// C1 control of the same value.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CodePoint(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

int EncodedByte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == cp) return static_cast<int>(0x80 + i);
  }
  return -1;
}

}  // namespace

// Both conversions copy runs of ASCII, which most mail text is, whole.
std::string ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t run = 0;  // where the ASCII not yet copied begins
  for (size_t pos = 0; pos < text.size(); ++pos) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) continue;
    out.append(text, run, pos - run);
    utf8::AppendUtf8(CodePoint(byte), &out);
    run = pos + 1;
  }
  out.append(text, run);
  return out;
}

namespace {

std::string FromUtf8Replacing(std::string_view text, char lacked) {
  std::string out;
  out.reserve(text.size());
  size_t run = 0;  // where the ASCII not yet copied begins
  for (size_t pos = 0; pos < text.size();) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
      continue;
    }
    out.append(text, run, pos - run);
    const int64_t cp = utf8::DecodeUtf8(text, &pos);
    const int byte = cp < 0 ? -1 : EncodedByte(static_cast<char32_t>(cp));
    out.push_back(cp < 0 ? '?' : byte < 0 ? lacked : static_cast<char>(byte));
    run = pos;
  }
  out.append(text, run);
  return out;
}

}  // namespace

std::string FromUtf8(std::string_view text) { return FromUtf8Replacing(text, '?'); }

std::string FilterTextFromUtf8(std::string_view text) {
  return FromUtf8Replacing(text, kLackedCharacter);
}

}  // namespace tarvex::cp1252
