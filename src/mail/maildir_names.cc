#include "mail/maildir_names.h"

#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "mail/message_text.h"
#include "platform/codepage.h"

namespace tarvex::mail {
namespace {

// Modified base64: the usual alphabet with "," in place of "/", no padding.
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == ',') return 63;
  return -1;
}

bool IsPrintableAscii(char32_t c) { return c >= 0x20 && c <= 0x7E; }

// Decodes the base64 run of a "&...-" escape into UTF-8; false when it is
// not whole UTF-16.
bool DecodeRun(std::string_view run, std::string* out) {
  std::u16string units;
  uint32_t bits = 0;
  int count = 0;
  std::string bytes;
  for (char c : run) {
    const int value = Base64Value(c);
    if (value < 0) return false;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  // What is left over must be padding bits of zero; the bytes whole units.
  if ((bits & ((1u << count) - 1)) != 0 || bytes.size() % 2 != 0 || bytes.empty()) return false;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>((static_cast<unsigned char>(bytes[i]) << 8) |
                                          static_cast<unsigned char>(bytes[i + 1])));
  }
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t cp = units[i];
    if (cp >= 0xD800 && cp < 0xDC00) {
      if (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] >= 0xE000) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (cp >= 0xDC00 && cp < 0xE000) {
      return false;
    }
    utf8::AppendUtf8(cp, out);
  }
  return true;
}

void EncodeRun(const std::u32string& run, std::string* out) {
  std::string bytes;
  for (char32_t cp : run) {
    std::u16string units;
    if (cp >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(cp));
    }
    for (char16_t unit : units) {
      bytes.push_back(static_cast<char>(unit >> 8));
      bytes.push_back(static_cast<char>(unit & 0xFF));
    }
  }
  out->push_back('&');
  uint32_t bits = 0;
  int count = 0;
  for (char byte : bytes) {
    bits = (bits << 8) | static_cast<unsigned char>(byte);
    count += 8;
    while (count >= 6) {
      count -= 6;
      out->push_back(kBase64[(bits >> count) & 0x3F]);
    }
  }
  if (count > 0) out->push_back(kBase64[(bits << (6 - count)) & 0x3F]);
  out->push_back('-');
}

}  // namespace

// ------------------------------------------------------------------ folder names

std::optional<std::string> DecodeFolderName(std::string_view mutf7) {
  std::string out;
  for (size_t pos = 0; pos < mutf7.size();) {
    const char c = mutf7[pos];
    if (!IsPrintableAscii(static_cast<unsigned char>(c))) return std::nullopt;
    if (c != '&') {
      out.push_back(c);
      ++pos;
      continue;
    }
    const size_t dash = mutf7.find('-', pos + 1);
    if (dash == std::string_view::npos) return std::nullopt;
    if (dash == pos + 1) {
      out.push_back('&');
    } else if (!DecodeRun(mutf7.substr(pos + 1, dash - pos - 1), &out)) {
      return std::nullopt;
    }
    pos = dash + 1;
  }
  return out;
}

std::string EncodeFolderName(std::string_view utf8) {
  std::string out;
  std::u32string run;  // characters waiting to be written as one escape
  for (char32_t cp : CodePoints(utf8)) {
    if (!IsPrintableAscii(cp)) {
      run.push_back(cp);
      continue;
    }
    if (!run.empty()) EncodeRun(run, &out), run.clear();
    if (cp == '&') {
      out += "&-";
    } else {
      out.push_back(static_cast<char>(cp));
    }
  }
  if (!run.empty()) EncodeRun(run, &out);
  return out;
}

std::string FolderLevelName(std::string_view spelling) {
  std::optional<std::string> decoded = DecodeFolderName(spelling);
  return decoded ? *decoded : ValidUtf8(spelling);
}

bool IsValidFolderName(std::string_view utf8) {
  if (utf8.empty()) return false;
  for (char c : utf8) {
    if (c == '.' || c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  }
  return true;
}

std::vector<std::string> FolderDirLevels(std::string_view dir_name) {
  if (dir_name.size() < 2 || dir_name[0] != '.' || dir_name == "..") return {};
  std::vector<std::string> levels;
  for (size_t pos = 1;;) {
    const size_t dot = dir_name.find('.', pos);
    std::string_view level = dir_name.substr(pos, dot == std::string_view::npos ? dot : dot - pos);
    if (level.empty()) return {};
    levels.emplace_back(level);
    if (dot == std::string_view::npos) return levels;
    pos = dot + 1;
  }
}

const std::vector<StandardFolder>& StandardFolders() {
  // The host's own name comes last, so that a directory called so is taken
  // when none of the usual ones is there.
  static const std::vector<StandardFolder> folders = {
      {"Sent Items", {"Sent", "Sent Messages", "Sent Items"}},
      {"Deleted Items", {"Trash", "Deleted Messages", "Deleted Items"}},
      {"Drafts", {"Drafts"}},
      {"Outbox", {"Outbox"}},
  };
  return folders;
}

bool IsInboxLevel(std::string_view level) { return SameFieldName(level, kInboxLevel); }

// ------------------------------------------------------------------ message files

MessageFileName ParseMessageFileName(std::string_view file_name) {
  MessageFileName parsed;
  const size_t colon = file_name.find(':');
  parsed.unique = std::string(file_name.substr(0, colon));
  if (colon != std::string_view::npos) {
    const std::string_view info = file_name.substr(colon + 1);
    parsed.has_info = true;
    if (info.substr(0, 2) == "2,") parsed.flags = std::string(info.substr(2));
  }
  return parsed;
}

std::string AddFlag(std::string_view flags, char flag) {
  std::string out(flags);
  out.push_back(flag);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

bool HasFlag(std::string_view flags, char flag) {
  return flags.find(flag) != std::string_view::npos;
}

std::string CurFileName(std::string_view unique, std::string_view flags) {
  return std::string(unique) + ":2," + std::string(flags);
}

std::string NewUniqueName() {
  static std::atomic<unsigned long> counter{0};
  struct timeval now;
  ::gettimeofday(&now, nullptr);
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) host[0] = 0;
  // "/" and ":" cannot stand in a unique name; they are written as octal escapes.
  std::string host_name;
  for (const char* c = host; *c; ++c) {
    host_name += *c == '/' ? "\\057" : *c == ':' ? "\\072" : std::string(1, *c);
  }
  if (host_name.empty()) host_name = "localhost";
  return std::to_string(now.tv_sec) + ".M" + std::to_string(now.tv_usec) + "P" +
         std::to_string(::getpid()) + "Q" + std::to_string(++counter) + "." + host_name;
}

bool IsMessageFileName(std::string_view file_name) {
  return !file_name.empty() && file_name[0] != '.';
}

}  // namespace tarvex::mail
