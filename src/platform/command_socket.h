// The local channel between the command-line client and the daemon: a Unix
// stream socket carrying frames, each one type byte, a four-byte length
// (little endian) and that many bytes. Only the user who owns the daemon may
// talk to it: the socket's folder is private, checked before every use, and
// each side checks the other's user before it trusts a byte.
#ifndef TARVEX_PLATFORM_COMMAND_SOCKET_H_
#define TARVEX_PLATFORM_COMMAND_SOCKET_H_

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

class GLibEventLoop;

// A file descriptor closed when it goes out of scope.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  ~UniqueFd() { reset(); }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release();
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

struct Frame {
  char type = 0;
  std::string data;
  bool operator==(const Frame& other) const { return type == other.type && data == other.data; }
};

// Frames bigger than this are refused: nothing the client sends comes near.
inline constexpr size_t kMaxFrameBytes = size_t{256} << 20;
// The type byte and the length before each frame's data.
inline constexpr size_t kFrameHeadBytes = 5;

// A frame as it travels: its head, then its data.
std::string EncodeFrame(char type, std::string_view data);

// Both block until done (or the socket's timeout); false when the peer is
// gone, the frame is malformed or too big.
bool WriteFrame(int fd, char type, std::string_view data);
bool ReadFrame(int fd, Frame* frame);

// Cuts a byte stream into frames as its bytes come, in pieces of any size:
// the reading half of the channel with no descriptor in it, for a reader
// that must never wait. A frame longer than maxFrameBytes is refused as soon
// as its head is in, before anything is kept for it, and a stream longer
// than maxStreamBytes at the byte that crosses that bound; what is kept
// grows with the bytes that came, never with what a head announces.
class FrameDecoder {
 public:
  explicit FrameDecoder(size_t maxFrameBytes = kMaxFrameBytes,
                        size_t maxStreamBytes = kFrameHeadBytes + kMaxFrameBytes);

  // Takes the stream's next bytes and appends each frame they complete to
  // frames. False once the stream broke a limit (error() says how); from
  // then on it takes nothing.
  bool Feed(std::string_view bytes, std::vector<Frame>* frames);
  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }

 private:
  size_t maxFrame_, maxStream_;
  size_t streamBytes_ = 0;
  std::string head_;  // of the frame under way, until complete
  size_t length_ = 0;
  Frame frame_;
  std::string error_;
};

// A list of strings as one frame's data, and back; false when malformed.
std::string PackStrings(const std::vector<std::string>& strings);
bool UnpackStrings(std::string_view data, std::vector<std::string>* strings);

// What is wrong with folder as a home for this user's socket: empty when it
// is a real folder (not a link to one) of this user that no one else may
// enter, read or write; else a short reason ("it belongs to user 0", ...).
std::string PrivateFolderProblem(const std::string& folder);

// The server's side. Each connection's request is read as its bytes come, by
// the event loop, so a client that sends half a request, or nothing, holds
// no one up; requests are answered one at a time.
class CommandServer {
 public:
  // A complete request and its connection, which blocks again (a stuck
  // reader makes a write fail after a while rather than hang).
  using RequestHandler = std::function<void(UniqueFd client, Frame request)>;

  // Listens at path, making its folder (mode 0700) if missing and replacing
  // a socket a dead daemon left there. Throws std::runtime_error, also when
  // the folder is not private (PrivateFolderProblem).
  explicit CommandServer(const std::string& path);
  ~CommandServer();
  CommandServer(const CommandServer&) = delete;
  CommandServer& operator=(const CommandServer&) = delete;

  const std::string& path() const { return path_; }
  // From now on accepts this user's clients on loop (others are hung up on)
  // and hands each one's first frame to onRequest. A connection that sends
  // nothing for idleMs (up to twice that), breaks the frame limits or hangs
  // up mid-request is closed. At most maxPending connections are read at once; the rest wait
  // in the listen queue. The loop must outlive the server.
  void Serve(GLibEventLoop& loop, RequestHandler onRequest, uint32_t idleMs = 2500,
             size_t maxPending = 32);
  // Connections accepted and not yet answered or closed.
  size_t pending() const { return connections_.size(); }

 private:
  struct Connection;
  void Listen(bool on);
  void AcceptWaiting();
  // Reads what came on fd: a complete request goes to onRequest_; a
  // connection that broke a limit, hung up or (at an idle tick) sent
  // nothing since the last tick is closed.
  void Read(int fd, bool idleTick);
  // Reads until the connection has nothing more or a frame is complete;
  // false when it hung up or broke a limit.
  bool Drain(Connection& connection, std::vector<Frame>* frames);
  void Close(int fd);

  std::string path_;
  UniqueFd listener_;
  GLibEventLoop* loop_ = nullptr;
  RequestHandler onRequest_;
  uint32_t idleMs_ = 0;
  size_t maxPending_ = 0;
  unsigned listenWatch_ = 0;
  std::map<int, std::unique_ptr<Connection>> connections_;  // by descriptor
};

// A connection to this user's server at path; invalid when none listens
// there. A folder or a listener that is not to be trusted is not talked to,
// and *problem then says why ("FOLDER: not a private folder: it belongs to
// user 0"); otherwise it is left empty.
UniqueFd ConnectToServer(const std::string& path, std::string* problem);
// From now on reads on the connection wait as long as the other end takes:
// for an answer that may take a while, from a server that closes the
// connection when it gives up.
void WaitForAnswers(int fd);

}  // namespace tarvex

#endif  // TARVEX_PLATFORM_COMMAND_SOCKET_H_
