// Feeds arbitrary bytes to the command socket's frame reader, once whole and
// once in pieces of varying size, and checks what must hold whatever a client
// sends: the pieces make no difference; the frames given, written out again,
// are exactly the bytes they came from; what is left is an unfinished frame
// within the limits, or the refusal says which limit was broken; and a frame
// that reads as a list of strings is that list written out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/command_socket.h"

namespace {

// Small limits, so that short inputs reach them.
constexpr size_t kMaxFrame = 300;
constexpr size_t kMaxStream = 2000;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

size_t Length(std::string_view head) {
  size_t length = 0;
  for (int i = 0; i < 4; ++i) length |= size_t{static_cast<unsigned char>(head[1 + i])} << (8 * i);
  return length;
}

std::string Encoded(const tarvex::Frame& frame) {
  std::string out(1, frame.type);
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<char>((frame.data.size() >> (8 * i)) & 0xFF));
  return out + frame.data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view stream(reinterpret_cast<const char*>(data), size);

  tarvex::FrameDecoder whole(kMaxFrame, kMaxStream);
  std::vector<tarvex::Frame> frames;
  const bool ok = whole.Feed(stream, &frames);
  Check(ok == !whole.failed());

  tarvex::FrameDecoder pieces(kMaxFrame, kMaxStream);
  std::vector<tarvex::Frame> piecewise;
  bool piecesOk = true;
  for (size_t at = 0, i = 0; at < size && piecesOk; ++i) {
    const size_t piece = 1 + static_cast<unsigned char>(stream[i % size]) % 13;
    piecesOk = pieces.Feed(stream.substr(at, piece), &piecewise);
    at += piece;
  }
  Check(piecesOk == ok && pieces.error() == whole.error() && piecewise == frames);

  std::string given;
  for (const tarvex::Frame& frame : frames) {
    Check(frame.data.size() <= kMaxFrame);
    given += Encoded(frame);
  }
  Check(stream.substr(0, given.size()) == given);
  const std::string_view rest = stream.substr(given.size());
  const bool headIn = rest.size() >= tarvex::kFrameHeadBytes;
  if (ok) {
    Check(size <= kMaxStream);
    Check(!headIn ||
          (Length(rest) <= kMaxFrame && tarvex::kFrameHeadBytes + Length(rest) > rest.size()));
  } else {
    Check((headIn && Length(rest) > kMaxFrame) || size > kMaxStream);
  }

  for (const tarvex::Frame& frame : frames) {
    std::vector<std::string> strings;
    if (tarvex::UnpackStrings(frame.data, &strings))
      Check(tarvex::PackStrings(strings) == frame.data);
  }
  return 0;
}
