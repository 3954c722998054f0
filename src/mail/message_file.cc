#include "mail/message_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mail/message_text.h"
#include "mail/mime_message.h"
#include "platform/codepage.h"

namespace tarvex::mail {
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
  return cp1252::FilterTextFromUtf8(ValidUtf8(block));
}

}  // namespace

RawMessage SplitRawMessage(std::string_view text) {
  const MessageLayout layout = LayOut(text);
  return {std::string(text.substr(0, layout.header_end)),
          std::string(text.substr(layout.body_start))};
}

RawMessage ReadableMessage(std::string_view fileText, MessageReading reading) {
  if (reading == MessageReading::kRaw) return SplitRawMessage(fileText);
  const MessageLayout layout = LayOut(fileText);
  return {HeaderBlockText(fileText.substr(0, layout.header_end)),
          cp1252::FilterTextFromUtf8(BodyText(fileText)), true};
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

}  // namespace tarvex::mail
