// The local channel between the command-line client and the daemon: a Unix
// stream socket carrying frames, each one type byte, a four-byte length
// (little endian) and that many bytes. Only the user who owns the daemon may
// talk to it: the socket's folder is private and every peer is checked.
#ifndef TARVEX_PLATFORM_COMMAND_SOCKET_H_
#define TARVEX_PLATFORM_COMMAND_SOCKET_H_

#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

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
};

// Frames bigger than this are refused: nothing the client sends comes near.
inline constexpr size_t kMaxFrameBytes = size_t{256} << 20;

// Both block until done (or the socket's timeout); false when the peer is
// gone, the frame is malformed or too big.
bool WriteFrame(int fd, char type, std::string_view data);
bool ReadFrame(int fd, Frame* frame);

// A list of strings as one frame's data, and back; false when malformed.
std::string PackStrings(const std::vector<std::string>& strings);
bool UnpackStrings(std::string_view data, std::vector<std::string>* strings);

class CommandServer {
 public:
  // Listens at path, making its folder (mode 0700) and replacing a socket a
  // dead daemon left there. Throws std::runtime_error.
  explicit CommandServer(const std::string& path);
  ~CommandServer();
  CommandServer(const CommandServer&) = delete;
  CommandServer& operator=(const CommandServer&) = delete;

  // Becomes readable when a client waits.
  int fd() const { return listener_.get(); }
  const std::string& path() const { return path_; }
  // The next waiting client of this user; invalid when none waits. The
  // connection blocks, with timeouts so that a stuck client cannot hold the
  // daemon for long.
  UniqueFd Accept();

 private:
  std::string path_;
  UniqueFd listener_;
};

// A connection to the server at path; invalid when nothing listens there.
UniqueFd ConnectToServer(const std::string& path);

}  // namespace tarvex

#endif  // TARVEX_PLATFORM_COMMAND_SOCKET_H_
