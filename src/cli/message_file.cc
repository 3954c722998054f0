#include "cli/message_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tarvex {

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

bool ReadNativeFile(const std::string& path, std::string* contents, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = std::strerror(errno);
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    *error = "read error";
    return false;
  }
  *contents = std::move(buffer).str();
  return true;
}

}  // namespace tarvex
