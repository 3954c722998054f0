// What a command found, printed in one of two forms: the text a person reads,
// or JSON for programs, one top-level value a line. A command describes its
// output once, as maps, lists and values, and says for each key how the text
// form shows it; the two forms cannot drift apart.
#ifndef TARVEX_CLI_PRINTER_H_
#define TARVEX_CLI_PRINTER_H_

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string_view>

namespace tarvex {

// How the text form shows a key's value: after before and followed by after;
// inside a list, every item so. A null before leaves the value (and all
// inside it) to the JSON form.
struct TextForm {
  const char* before = nullptr;
  const char* after = "\n";
};

// The calls nest as the values do: BeginMap, then Key and a value for each
// entry, then End. Strings are UTF-8.
class Printer {
 public:
  virtual ~Printer() = default;

  virtual void BeginMap() = 0;
  virtual void BeginList() = 0;
  // Ends the innermost map or list.
  virtual void End() = 0;
  virtual void Key(std::string_view key, TextForm text = {}) = 0;
  virtual void String(std::string_view utf8) = 0;
  virtual void Integer(int64_t value) = 0;
  // The text form says "on" or "off".
  virtual void Bool(bool value) = 0;
  // What only the text form shows, as it is.
  virtual void Text(std::string_view utf8) = 0;
};

// The JSON form, or the text form, on out.
std::unique_ptr<Printer> MakePrinter(bool json, std::ostream& out);

}  // namespace tarvex

#endif  // TARVEX_CLI_PRINTER_H_
