#include "platform/command_socket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "platform/glib_event_loop.h"

namespace tarvex {
namespace {

// How long a write to a client that does not read may wait.
constexpr int kPeerTimeoutSeconds = 30;

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::recv(fd, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void PutLength(std::string* out, size_t length) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
}

size_t GetLength(const char* in) {
  size_t length = 0;
  for (int i = 0; i < 4; ++i) length |= size_t{static_cast<unsigned char>(in[i])} << (8 * i);
  return length;
}

bool Address(const std::string& path, sockaddr_un* address) {
  *address = {};
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

void SetTimeouts(int fd) {
  const timeval timeout{kPeerTimeoutSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

// The user the process at the other end ran as when it connected, or
// listened; -1 when the system does not say.
uid_t PeerUser(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 ? peer.uid
                                                                      : static_cast<uid_t>(-1);
}

[[noreturn]] void Throw(const std::string& path, const char* what) {
  throw std::runtime_error(path + ": " + what + ": " + std::strerror(errno));
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Why a folder with this status is no private folder of this user; empty
// when it is one.
std::string ProblemOf(const struct stat& status) {
  if (S_ISLNK(status.st_mode)) return "it is a symbolic link";
  if (!S_ISDIR(status.st_mode)) return "it is not a folder";
  if (status.st_uid != ::geteuid()) return "it belongs to user " + std::to_string(status.st_uid);
  if (status.st_mode & 077) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
    return std::string("its mode ") + mode + " lets other users in (it must be 0700)";
  }
  return {};
}

std::string NotPrivate(const std::string& folder, const std::string& why) {
  return folder + ": not a private folder: " + why;
}

bool SetBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  reset(other.release());
  return *this;
}

int UniqueFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

std::string EncodeFrame(char type, std::string_view data) {
  std::string frame(1, type);
  PutLength(&frame, data.size());
  return frame.append(data);
}

bool WriteFrame(int fd, char type, std::string_view data) {
  if (data.size() > kMaxFrameBytes) return false;
  std::string head(1, type);
  PutLength(&head, data.size());
  return WriteAll(fd, head.data(), head.size()) && WriteAll(fd, data.data(), data.size());
}

void WaitForAnswers(int fd) {
  const timeval none{0, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &none, sizeof none);
}

bool ReadFrame(int fd, Frame* frame) {
  char head[5];
  if (!ReadAll(fd, head, sizeof head)) return false;
  const size_t length = GetLength(head + 1);
  if (length > kMaxFrameBytes) return false;
  frame->type = head[0];
  frame->data.resize(length);
  return ReadAll(fd, frame->data.data(), length);
}

FrameDecoder::FrameDecoder(size_t maxFrameBytes, size_t maxStreamBytes)
    : maxFrame_(maxFrameBytes), maxStream_(maxStreamBytes) {}

bool FrameDecoder::Feed(std::string_view bytes, std::vector<Frame>* frames) {
  if (failed()) return false;
  const bool over = bytes.size() > maxStream_ - streamBytes_;
  if (over) bytes = bytes.substr(0, maxStream_ - streamBytes_);
  streamBytes_ += bytes.size();
  while (!bytes.empty() || head_.size() == kFrameHeadBytes) {
    if (head_.size() < kFrameHeadBytes) {
      const size_t take = std::min(bytes.size(), kFrameHeadBytes - head_.size());
      head_.append(bytes.substr(0, take));
      bytes.remove_prefix(take);
      if (head_.size() < kFrameHeadBytes) break;
      length_ = GetLength(head_.data() + 1);
      if (length_ > maxFrame_) {
        error_ = "a frame of " + std::to_string(length_) + " bytes is over the limit of " +
                 std::to_string(maxFrame_);
        return false;
      }
      frame_.type = head_[0];
    }
    const size_t take = std::min(bytes.size(), length_ - frame_.data.size());
    frame_.data.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (frame_.data.size() < length_) break;
    frames->push_back(std::move(frame_));
    frame_ = Frame();
    head_.clear();
  }
  if (over) error_ = "more than " + std::to_string(maxStream_) + " bytes on one connection";
  return !over;
}

std::string PackStrings(const std::vector<std::string>& strings) {
  std::string data;
  for (const std::string& s : strings) {
    PutLength(&data, s.size());
    data += s;
  }
  return data;
}

bool UnpackStrings(std::string_view data, std::vector<std::string>* strings) {
  strings->clear();
  while (!data.empty()) {
    if (data.size() < 4) return false;
    const size_t length = GetLength(data.data());
    data.remove_prefix(4);
    if (length > data.size()) return false;
    strings->emplace_back(data.substr(0, length));
    data.remove_prefix(length);
  }
  return true;
}

std::string PrivateFolderProblem(const std::string& folder) {
  struct stat status;
  if (::lstat(folder.c_str(), &status) != 0) return std::strerror(errno);
  return ProblemOf(status);
}

struct CommandServer::Connection {
  UniqueFd fd;
  FrameDecoder decoder;
  unsigned watch = 0, idleTimer = 0;
  bool heard = false;  // bytes came since the idle timer last ticked
};

CommandServer::CommandServer(const std::string& path) : path_(path) {
  const std::string folder = FolderOf(path);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    Throw(folder, "cannot create the folder");
  }
  if (const std::string why = PrivateFolderProblem(folder); !why.empty()) {
    throw std::runtime_error(NotPrivate(folder, why));
  }
  sockaddr_un address;
  if (!Address(path, &address)) {
    errno = ENAMETOOLONG;
    Throw(path, "cannot listen");
  }
  listener_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listener_.valid()) Throw(path, "cannot make a socket");
  // The caller holds the profile lock, and no one else can enter the
  // folder, so a socket found here is a dead daemon's.
  ::unlink(path.c_str());
  if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(path.c_str(), 0600) != 0 || ::listen(listener_.get(), 64) != 0) {
    Throw(path, "cannot listen");
  }
}

CommandServer::~CommandServer() {
  while (!connections_.empty()) Close(connections_.begin()->first);
  if (loop_) Listen(false);
  ::unlink(path_.c_str());
}

void CommandServer::Serve(GLibEventLoop& loop, RequestHandler onRequest, uint32_t idleMs,
                          size_t maxPending) {
  loop_ = &loop;
  onRequest_ = std::move(onRequest);
  idleMs_ = idleMs;
  maxPending_ = std::max<size_t>(maxPending, 1);
  Listen(true);
}

void CommandServer::Listen(bool on) {
  if (on && !listenWatch_) {
    listenWatch_ = loop_->WatchReadable(listener_.get(), [this] { AcceptWaiting(); });
  } else if (!on && listenWatch_) {
    loop_->RemoveSource(std::exchange(listenWatch_, 0));
  }
}

void CommandServer::AcceptWaiting() {
  while (connections_.size() < maxPending_) {
    UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!client.valid()) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    if (PeerUser(client.get()) != ::geteuid()) continue;
    const int fd = client.get();
    auto connection = std::make_unique<Connection>();
    connection->fd = std::move(client);
    connection->watch = loop_->WatchReadable(fd, [this, fd] { Read(fd, false); });
    connection->idleTimer = loop_->Every(idleMs_, [this, fd] { Read(fd, true); });
    connections_[fd] = std::move(connection);
  }
  // Full: the rest wait in the listen queue until a connection ends.
  Listen(false);
}

void CommandServer::Read(int fd, bool idleTick) {
  const auto it = connections_.find(fd);
  if (it == connections_.end()) return;
  Connection& connection = *it->second;
  // The loop may have been busy with a command while bytes came: they count
  // before the connection is called idle.
  std::vector<Frame> frames;
  const bool open = Drain(connection, &frames);
  if (!frames.empty()) {
    UniqueFd client = std::move(connection.fd);
    Close(fd);
    if (!SetBlocking(client.get())) return;
    SetTimeouts(client.get());
    onRequest_(std::move(client), std::move(frames.front()));
    return;
  }
  if (!open || (idleTick && !connection.heard)) {
    Close(fd);
  } else if (idleTick) {
    connection.heard = false;
  }
}

bool CommandServer::Drain(Connection& connection, std::vector<Frame>* frames) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::recv(connection.fd.get(), buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) return false;
    connection.heard = true;
    if (!connection.decoder.Feed(std::string_view(buffer, static_cast<size_t>(n)), frames)) {
      return false;
    }
    if (!frames->empty()) return true;
  }
}

void CommandServer::Close(int fd) {
  const auto it = connections_.find(fd);
  if (it == connections_.end()) return;
  loop_->RemoveSource(it->second->watch);
  loop_->RemoveSource(it->second->idleTimer);
  connections_.erase(it);
  if (connections_.size() < maxPending_) Listen(true);
}

UniqueFd ConnectToServer(const std::string& path, std::string* problem) {
  problem->clear();
  const std::string folder = FolderOf(path);
  struct stat status;
  if (::lstat(folder.c_str(), &status) != 0) return UniqueFd();  // no folder, no server
  if (std::string why = ProblemOf(status); !why.empty()) {
    *problem = NotPrivate(folder, why);
    return UniqueFd();
  }
  sockaddr_un address;
  if (!Address(path, &address)) return UniqueFd();
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid() ||
      ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return UniqueFd();
  }
  // Not a byte before the listener is known to be this user's.
  if (const uid_t peer = PeerUser(fd.get()); peer != ::geteuid()) {
    *problem = path + ": the process listening there runs as user " +
               std::to_string(static_cast<long>(peer)) + ", not as you";
    return UniqueFd();
  }
  return fd;
}

}  // namespace tarvex
