// What a mail window shows of a message file without parsing all of it: the
// list's summary from the header block alone, the preview from the whole
// message, and whether it was read, from its name.
#ifndef TARVEX_APP_MESSAGE_VIEW_H_
#define TARVEX_APP_MESSAGE_VIEW_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "ops/operations.h"

namespace tarvex {

// The most of a file read for the list (its header block) and for the
// preview (the whole message).
inline constexpr size_t kMaxHeaderRead = 256 * 1024;
inline constexpr size_t kMaxPreviewRead = 4 * 1024 * 1024;

// The start of a file: up to limit bytes, or up to the end of its header
// block when headerOnly; empty when it cannot be read.
std::string ReadFileStart(const std::string& file, size_t limit, bool headerOnly);

// The summary of a message from its start (the header block suffices).
MessageSummary SummaryOf(std::string_view message);
// The summary read from the message's file: its header block only.
MessageSummary ReadSummary(const std::string& file);
// The message's header block as it is, then the text of its body.
std::string PreviewOf(const std::string& message);

// Whether a message file's name says it has not been read (no "S" flag).
bool IsUnread(const std::string& file);

}  // namespace tarvex

#endif  // TARVEX_APP_MESSAGE_VIEW_H_
