// Messages given to the command line as files of raw RFC 822 text.
#ifndef TARVEX_CLI_MESSAGE_FILE_H_
#define TARVEX_CLI_MESSAGE_FILE_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvex {

struct RawMessage {
  std::string header;  // the bytes before the first empty line
  std::string body;    // everything after that empty line
};

// Splits at the first empty line (LF or CRLF line ends), undecoded. A message
// without an empty line is all header.
RawMessage SplitRawMessage(std::string_view text);

// The header lines of a header block, unfolded: name and value (leading white
// space of the value removed). Lines without a colon are passed over.
std::vector<std::pair<std::string, std::string>> ParseHeaderLines(std::string_view header);

// Reads a file named by a native path. On failure, false and the reason.
bool ReadNativeFile(const std::string& path, std::string* contents, std::string* error);

}  // namespace tarvex

#endif  // TARVEX_CLI_MESSAGE_FILE_H_
