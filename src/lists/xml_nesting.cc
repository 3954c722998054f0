#include "lists/xml_nesting.h"

#include <cctype>
#include <cstring>
#include <string_view>
#include <vector>

namespace tarvex {
namespace {

// TinyXML classifies ASCII bytes with the C library and takes every byte from
// 127 up as a letter.
bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) || c == '\n' || c == '\r';
}

bool IsNameStart(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 127 || std::isalpha(byte) || c == '_';
}

bool IsNameChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 127 || std::isalnum(byte) || c == '_' || c == '-' || c == '.' || c == ':';
}

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) {
  return IsDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

const char* SkipSpace(const char* p) {
  while (*p && IsSpace(*p)) ++p;
  return p;
}

const char* EndOf(const char* p) { return p + std::strlen(p); }

bool StartsWith(const char* p, std::string_view prefix) {
  for (char c : prefix) {
    if (*p++ != c) return false;  // also stops at the terminator
  }
  return true;
}

// prefix is lower case.
bool StartsWithIgnoringCase(const char* p, std::string_view prefix) {
  for (char c : prefix) {
    if (!*p || std::tolower(static_cast<unsigned char>(*p++)) != c) return false;
  }
  return true;
}

// Each reader below takes p at the start of its construct and returns where
// TinyXML goes on reading, or null where TinyXML gives up.

// p at "&". A character reference runs to the next ";" anywhere ahead and is
// accepted when everything back to the last "x" (hexadecimal) or "#" is a
// digit, so "&#x</a>x1;" swallows the end tag. Anything else that is not one
// of the five named entities is a plain "&".
const char* SkipEntity(const char* p) {
  if (p[1] == '#' && p[2]) {
    const bool hex = p[2] == 'x';
    if (hex && !p[3]) return nullptr;
    const char* semicolon = std::strchr(p + (hex ? 3 : 2), ';');
    if (semicolon == nullptr) return nullptr;
    for (const char* q = semicolon - 1; *q != (hex ? 'x' : '#'); --q) {
      if (!(hex ? IsHexDigit(*q) : IsDecimalDigit(*q))) return nullptr;
    }
    return semicolon + 1;
  }
  for (std::string_view entity : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
    if (StartsWith(p, entity)) return p + entity.size();
  }
  return p + 1;
}

// Text content, up to the next "<". Running into the end is an error.
const char* ReadText(const char* p) {
  while (*p && *p != '<') {
    p = *p == '&' ? SkipEntity(p) : p + 1;
    if (p == nullptr) return nullptr;
  }
  return *p ? p : nullptr;
}

// p after the opening quote. A value that closes at the very end of the text is
// an error too.
const char* ReadQuoted(const char* p, char quote) {
  while (*p && *p != quote) {
    p = *p == '&' ? SkipEntity(p) : p + 1;
    if (p == nullptr) return nullptr;
  }
  if (!*p) return nullptr;
  ++p;
  return *p ? p : nullptr;
}

const char* ReadName(const char* p) {
  if (!IsNameStart(*p)) return nullptr;
  while (IsNameChar(*p)) ++p;
  return p;
}

// name = value, the value quoted or running to white space, "/" or ">".
const char* ReadAttribute(const char* p) {
  p = SkipSpace(p);
  if (!*p) return nullptr;
  p = ReadName(p);
  if (p == nullptr || !*p) return nullptr;
  p = SkipSpace(p);
  if (*p != '=') return nullptr;
  p = SkipSpace(p + 1);
  if (!*p) return nullptr;
  if (*p == '"' || *p == '\'') return ReadQuoted(p + 1, *p);
  for (; *p && !IsSpace(*p) && *p != '/' && *p != '>'; ++p) {
    if (*p == '"' || *p == '\'') return nullptr;
  }
  return p;
}

// "<?xml" in any case, up to a ">" outside the quoted values of its version,
// encoding and standalone attributes.
const char* ReadDeclaration(const char* p) {
  p += 5;
  while (*p) {
    if (*p == '>') return p + 1;
    p = SkipSpace(p);
    if (StartsWithIgnoringCase(p, "version") || StartsWithIgnoringCase(p, "encoding") ||
        StartsWithIgnoringCase(p, "standalone")) {
      p = ReadAttribute(p);
      if (p == nullptr) return nullptr;
    } else {
      while (*p && *p != '>' && !IsSpace(*p)) ++p;
    }
  }
  return nullptr;
}

// An unclosed comment quietly runs to the end.
const char* ReadComment(const char* p) {
  const char* end = std::strstr(p + 4, "-->");
  return end ? end + 3 : EndOf(p);
}

// An unclosed section, or one closing at the very end, is an error.
const char* ReadCdata(const char* p) {
  const char* end = std::strstr(p + 9, "]]>");
  if (end == nullptr || !end[3]) return nullptr;
  return end + 3;
}

// "<!..." and any other "<" that starts nothing known: up to the first ">".
const char* ReadUnknown(const char* p) {
  const char* end = std::strchr(p + 1, '>');
  return end ? end + 1 : EndOf(p);
}

// p at "<" of a start tag. Sets name and whether the tag closed itself ("/>").
const char* ReadStartTag(const char* p, std::string_view* name, bool* closed) {
  p = SkipSpace(p + 1);
  const char* name_end = ReadName(p);
  if (name_end == nullptr || !*name_end) return nullptr;
  *name = std::string_view(p, name_end - p);
  p = name_end;
  while (*p) {
    p = SkipSpace(p);
    if (!*p) return nullptr;
    if (*p == '/') {
      *closed = true;
      return p[1] == '>' ? p + 2 : nullptr;
    }
    if (*p == '>') {
      *closed = false;
      return p + 1;
    }
    p = ReadAttribute(p);
    if (p == nullptr || !*p) return nullptr;
  }
  return nullptr;
}

// p at "</". Only the end tag of the open element is accepted: its name (as a
// prefix, like TinyXML), optional white space, ">".
const char* ReadEndTag(const char* p, std::string_view name) {
  if (!StartsWith(p + 2, name)) return nullptr;
  p = SkipSpace(p + 2 + name.size());
  return *p == '>' ? p + 1 : nullptr;
}

}  // namespace

size_t XmlNestingDepth(const char* text, size_t limit) {
  std::vector<std::string_view> open;  // the elements whose content is being read
  size_t deepest = 0;
  const char* p = text;
  while (p != nullptr) {
    p = SkipSpace(p);
    if (!*p) break;
    if (*p != '<') {
      if (open.empty()) break;  // text at the top level ends the document
      p = ReadText(p);
    } else if (!open.empty() && p[1] == '/') {
      p = ReadEndTag(p, open.back());
      open.pop_back();
    } else if (StartsWithIgnoringCase(p, "<?xml")) {
      p = ReadDeclaration(p);
    } else if (StartsWith(p, "<!--")) {
      p = ReadComment(p);
    } else if (StartsWith(p, "<![CDATA[")) {
      p = ReadCdata(p);
    } else if (StartsWith(p, "<!")) {
      p = ReadUnknown(p);
    } else if (IsNameStart(p[1])) {
      if (open.size() + 1 > deepest) deepest = open.size() + 1;
      if (deepest > limit) break;
      std::string_view name;
      bool closed = false;
      p = ReadStartTag(p, &name, &closed);
      if (p != nullptr && !closed) open.push_back(name);
    } else {
      p = ReadUnknown(p);
    }
  }
  return deepest;
}

}  // namespace tarvex
