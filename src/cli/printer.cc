#include "cli/printer.h"

#include <ostream>
#include <string>
#include <vector>

#include "cli/json.h"

namespace tarvex {
namespace {

class JsonPrinter : public Printer {
 public:
  explicit JsonPrinter(std::ostream& out) : out_(out) {}

  void BeginMap() override { Open('{', '}'); }
  void BeginList() override { Open('[', ']'); }
  void End() override {
    out_ << closers_.back();
    closers_.pop_back();
    first_ = false;
    if (closers_.empty()) out_ << '\n';
  }
  void Key(std::string_view key, TextForm) override {
    Separate();
    out_ << JsonString(key) << ':';
    keyed_ = true;
  }
  void String(std::string_view utf8) override { Value(JsonString(utf8)); }
  void Integer(int64_t value) override { Value(std::to_string(value)); }
  void Bool(bool value) override { Value(value ? "true" : "false"); }
  void Text(std::string_view) override {}

 private:
  // A comma before every value of a list and every key of a map but the first.
  void Separate() {
    if (!first_) out_ << ',';
    first_ = false;
  }
  void Before() {
    if (!keyed_ && !closers_.empty()) Separate();
    keyed_ = false;
  }
  void Open(char opener, char closer) {
    Before();
    out_ << opener;
    closers_.push_back(closer);
    first_ = true;
  }
  void Value(const std::string& json) {
    Before();
    out_ << json;
    if (closers_.empty()) out_ << '\n';
  }

  std::ostream& out_;
  std::vector<char> closers_;
  bool first_ = true;   // nothing yet in the innermost map or list
  bool keyed_ = false;  // a key waits for its value
};

class TextPrinter : public Printer {
 public:
  explicit TextPrinter(std::ostream& out) : out_(out) {}

  void BeginMap() override { Open(false); }
  void BeginList() override { Open(true); }
  void End() override { frames_.pop_back(); }
  void Key(std::string_view, TextForm text) override { key_ = Form(text); }
  void String(std::string_view utf8) override { Value(utf8); }
  void Integer(int64_t value) override { Value(std::to_string(value)); }
  void Bool(bool value) override { Value(value ? "on" : "off"); }
  void Text(std::string_view utf8) override {
    if (!Hidden()) out_ << utf8;
  }

 private:
  // A TextForm kept beyond the call that gave it.
  struct Form {
    Form() = default;
    explicit Form(const TextForm& text)
        : shown(text.before != nullptr),
          before(shown ? text.before : ""),
          after(text.after ? text.after : "") {}
    bool shown = false;
    std::string before, after;
  };
  struct Frame {
    bool list;
    Form form;  // a list's, for its items
    bool hidden;
  };

  // The form of the value that comes now: its key's, or its list's.
  const Form& Current() const {
    return !frames_.empty() && frames_.back().list ? frames_.back().form : key_;
  }
  bool Hidden() const { return !frames_.empty() && frames_.back().hidden; }

  void Open(bool list) {
    const Form form = Current();
    frames_.push_back({list, form, Hidden() || (!frames_.empty() && !form.shown)});
  }
  void Value(std::string_view text) {
    const Form& form = Current();
    if (Hidden() || !form.shown) return;
    out_ << form.before << text << form.after;
  }

  std::ostream& out_;
  std::vector<Frame> frames_;
  Form key_;
};

}  // namespace

std::unique_ptr<Printer> MakePrinter(bool json, std::ostream& out) {
  if (json) return std::make_unique<JsonPrinter>(out);
  return std::make_unique<TextPrinter>(out);
}

}  // namespace tarvex
