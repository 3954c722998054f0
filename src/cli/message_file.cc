#include "cli/message_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/maildir/message_text.h"
#include "host/maildir/mime_message.h"
#include "platform/codepage.h"

namespace tarvex {
namespace {

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The header block as the Maildir store hands it over (made valid UTF-8),
// converted as at the mail client's boundary. ASCII passes both unchanged.
std::string HeaderBlockText(std::string_view block) {
  if (IsAscii(block)) return std::string(block);
  return cp1252::FilterTextFromUtf8(maildir::ValidUtf8(block));
}

}  // namespace

RawMessage SplitRawMessage(std::string_view text) {
  // An empty line is a line feed at the start of a line, possibly after a
  // carriage return.
  for (size_t pos = 0; pos < text.size();) {
    size_t end = pos;
    if (text[end] == '\r') ++end;
    if (end < text.size() && text[end] == '\n') {
      return {std::string(text.substr(0, pos)), std::string(text.substr(end + 1))};
    }
    const size_t newline = text.find('\n', pos);
    if (newline == std::string_view::npos) break;
    pos = newline + 1;
  }
  return {std::string(text), std::string()};
}

RawMessage ReadableMessage(std::string_view fileText, MessageReading reading) {
  if (reading == MessageReading::kRaw) return SplitRawMessage(fileText);
  const maildir::MessageLayout layout = maildir::LayOut(fileText);
  return {HeaderBlockText(fileText.substr(0, layout.header_end)),
          cp1252::FilterTextFromUtf8(maildir::BodyText(fileText)), true};
}

std::vector<std::pair<std::string, std::string>> ParseHeaderLines(std::string_view header) {
  std::vector<std::pair<std::string, std::string>> headers;
  bool last_counts = false;  // whether a continuation belongs to the last header
  while (!header.empty()) {
    const size_t newline = header.find('\n');
    std::string_view line = header.substr(0, newline);
    header.remove_prefix(newline == std::string_view::npos ? header.size() : newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      if (last_counts) headers.back().second.append(line);
      continue;
    }
    const size_t colon = line.find(':');
    last_counts = colon != std::string_view::npos && colon > 0;
    if (!last_counts) continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value[0] == ' ' || value[0] == '\t')) value.remove_prefix(1);
    headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
  }
  return headers;
}

bool ReadNativeFile(const std::string& path, std::string* contents, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    *error = fd < 0 ? std::strerror(errno) : "is a folder";
    if (fd >= 0) ::close(fd);
    return false;
  }
  contents->resize(static_cast<size_t>(st.st_size));
  size_t size = 0;
  for (;;) {
    if (size == contents->size()) contents->resize(size + 4096);  // the file grew
    const ssize_t n = ::read(fd, contents->data() + size, contents->size() - size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) *error = std::strerror(errno);
      ::close(fd);
      contents->resize(size);
      return n == 0;
    }
    size += static_cast<size_t>(n);
  }
}

}  // namespace tarvex
