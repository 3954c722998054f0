#include "app/message_view.h"

#include <fstream>

#include "classify/verdict_headers.h"
#include "mail/message_text.h"
#include "mail/mime_message.h"

namespace tarvex {
namespace {

std::string Header(std::string_view message, const char* name) {
  return mail::PresentedHeaderValue(name, mail::FirstHeaderValue(message, name));
}

std::string Trimmed(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t\r\n") + 1 - start);
}

}  // namespace

std::string ReadFileStart(const std::string& file, size_t limit, bool headerOnly) {
  std::ifstream in(file, std::ios::binary);
  std::string text;
  char buffer[8192];
  while (in && text.size() < limit) {
    in.read(buffer, sizeof buffer);
    text.append(buffer, static_cast<size_t>(in.gcount()));
    if (headerOnly &&
        (text.find("\n\n") != std::string::npos || text.find("\r\n\r\n") != std::string::npos)) {
      break;
    }
  }
  return text;
}

MessageSummary SummaryOf(std::string_view message) {
  MessageSummary summary;
  summary.sender = Header(message, "From");
  summary.subject = Header(message, "Subject");
  summary.date = Trimmed(Header(message, "Date"));
  summary.result = Header(message, header::kResult);
  summary.score = Header(message, header::kScore);
  summary.learn = Header(message, header::kLearn);
  return summary;
}

MessageSummary ReadSummary(const std::string& file) {
  return SummaryOf(ReadFileStart(file, kMaxHeaderRead, true));
}

std::string PreviewOf(const std::string& message) {
  const mail::MessageLayout layout = mail::LayOut(message);
  const std::string text =
      mail::ValidUtf8(message.substr(0, layout.body_start)) + mail::BodyText(message);
  // Lines end as the desktop ends them.
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') lines += text[i];
  }
  return lines;
}

bool IsUnread(const std::string& file) {
  const size_t info = file.rfind(":2,");
  if (info == std::string::npos) return true;
  return file.find('S', info + 3) == std::string::npos;
}

}  // namespace tarvex
