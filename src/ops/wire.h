// The operations' requests and results as bytes, for the trip over the
// profile's socket: numbers in four little-endian bytes, texts and lists
// after their length, records field by field. A reader never trusts what it
// reads: a length past the end, a number out of an enum's range or bytes
// left over make the whole message malformed.
#ifndef TARVEX_OPS_WIRE_H_
#define TARVEX_OPS_WIRE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "ops/operations.h"

namespace tarvex {

// A message box the owner showed while it worked, for the caller to show.
struct ShownBox {
  bool hostError = false;  // shown through ShowHostError, with details
  std::string text, caption, details;
  uint32_t style = 0;
};

// Each record's fields, in the order they travel.
template <typename F>
void Fields(MessageRef& m, F&& f) {
  f(m.folder, m.message, m.name, m.marked, m.marker);
}
template <typename F>
void Fields(DatabaseStats& s, F&& f) {
  f(s.words, s.spamMessages, s.cleanMessages);
}
template <typename F>
void Fields(HeaderValue& h, F&& f) {
  f(h.name, h.value);
}
template <typename F>
void Fields(ScoreReport& r, F&& f) {
  f(r.nonEnglish, r.score, r.spam, r.topWords, r.headers);
}
template <typename F>
void Fields(FilterReport& r, F&& f) {
  f(r.verdict, r.message);
}
template <typename F>
void Fields(Destination& d, F&& f) {
  f(d.folder, d.remember);
}
template <typename F>
void Fields(NotSpamReport& r, F&& f) {
  f(r.asked, r.now);
}
template <typename F>
void Fields(TrainingReport& r, F&& f) {
  f(r.spamLearnt, r.cleanLearnt, r.words);
}
template <typename F>
void Fields(SettingValue& v, F&& f) {
  f(v.on, v.text);
}
template <typename F>
void Fields(ListEdit& e, F&& f) {
  f(e.outcome, e.message);
}
template <typename F>
void Fields(mail::RawMessage& m, F&& f) {
  f(m.header, m.body, m.presented);
}
template <typename F>
void Fields(FolderEntry& e, F&& f) {
  f(e.id, e.parent, e.name, e.unread, e.total);
}
template <typename F>
void Fields(ListedRef& r, F&& f) {
  f(r.message, r.unread);
}
template <typename F>
void Fields(MessageSummary& s, F&& f) {
  f(s.message, s.sender, s.subject, s.date, s.result, s.score, s.learn);
}
template <typename F>
void Fields(ShownBox& b, F&& f) {
  f(b.hostError, b.text, b.caption, b.details, b.style);
}

// The largest value of each enum that travels.
constexpr uint32_t EnumLimit(ListId) { return static_cast<uint32_t>(ListId::Whitelist); }
constexpr uint32_t EnumLimit(EntryKind) { return static_cast<uint32_t>(EntryKind::Domain); }
constexpr uint32_t EnumLimit(ListEdit::Outcome) {
  return static_cast<uint32_t>(ListEdit::Outcome::kNotFound);
}
constexpr uint32_t EnumLimit(FilterReport::Verdict) {
  return static_cast<uint32_t>(FilterReport::Verdict::kNotJudged);
}

class WireWriter {
 public:
  const std::string& bytes() const { return bytes_; }

  void Write(uint32_t n) {
    for (int shift = 0; shift < 32; shift += 8) bytes_ += static_cast<char>((n >> shift) & 0xff);
  }
  void Write(int32_t n) { Write(static_cast<uint32_t>(n)); }
  void Write(bool b) { Write(uint32_t{b}); }
  void Write(const std::string& s) {
    Write(static_cast<uint32_t>(s.size()));
    bytes_ += s;
  }
  void Write(const Status& s) {
    Write(!s.ok());
    Write(static_cast<int32_t>(s.error()));
    Write(s.message());
  }
  template <typename T>
  void Write(const std::vector<T>& items) {
    Write(static_cast<uint32_t>(items.size()));
    for (const T& item : items) Write(item);
  }
  template <typename T, typename = std::enable_if_t<std::is_enum_v<T>>>
  void Write(T e) {
    Write(static_cast<uint32_t>(e));
  }
  template <typename T, typename = std::enable_if_t<std::is_class_v<T>>, typename = void>
  void Write(const T& record) {
    Fields(const_cast<T&>(record), [&](const auto&... field) { (Write(field), ...); });
  }

 private:
  std::string bytes_;
};

class WireReader {
 public:
  explicit WireReader(std::string_view bytes) : rest_(bytes) {}
  // The reader keeps no copy: the bytes must outlive it.
  explicit WireReader(std::string&&) = delete;
  // Everything read was well formed and nothing is left over.
  bool done() const { return ok_ && rest_.empty(); }
  bool ok() const { return ok_; }

  void Read(uint32_t& n) {
    n = 0;
    if (!Need(4)) return;
    for (int i = 0; i < 4; ++i) n |= uint32_t{static_cast<unsigned char>(rest_[i])} << (8 * i);
    rest_.remove_prefix(4);
  }
  void Read(int32_t& n) {
    uint32_t u;
    Read(u);
    n = static_cast<int32_t>(u);
  }
  void Read(bool& b) {
    uint32_t u;
    Read(u);
    if (u > 1) ok_ = false;
    b = u == 1;
  }
  void Read(std::string& s) {
    uint32_t size;
    Read(size);
    if (!Need(size)) return;
    s.assign(rest_.data(), size);
    rest_.remove_prefix(size);
  }
  void Read(Status& s) {
    bool failed;
    int32_t error;
    std::string message;
    Read(failed);
    Read(error);
    Read(message);
    s = failed ? Status::Failure(error, message) : Status::Ok();
  }
  template <typename T>
  void Read(std::vector<T>& items) {
    uint32_t count;
    Read(count);
    items.clear();
    // Every item takes at least a byte: a count past what is left is a lie.
    if (!Need(count / 4)) return;
    for (uint32_t i = 0; i < count && ok_; ++i) Read(items.emplace_back());
  }
  template <typename T, typename = std::enable_if_t<std::is_enum_v<T>>>
  void Read(T& e) {
    uint32_t u;
    Read(u);
    if (u > EnumLimit(T{})) ok_ = false;
    e = ok_ ? static_cast<T>(u) : T{};
  }
  template <typename T, typename = std::enable_if_t<std::is_class_v<T>>, typename = void>
  void Read(T& record) {
    Fields(record, [&](auto&... field) { (Read(field), ...); });
  }

 private:
  bool Need(size_t size) {
    if (ok_ && rest_.size() >= size) return true;
    ok_ = false;
    return false;
  }

  std::string_view rest_;
  bool ok_ = true;
};

}  // namespace tarvex

#endif  // TARVEX_OPS_WIRE_H_
