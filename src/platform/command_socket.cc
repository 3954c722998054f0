#include "platform/command_socket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tarvex {
namespace {

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

bool SameUser(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid();
}

[[noreturn]] void Throw(const std::string& path, const char* what) {
  throw std::runtime_error(path + ": " + what + ": " + std::strerror(errno));
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

bool WriteFrame(int fd, char type, std::string_view data) {
  if (data.size() > kMaxFrameBytes) return false;
  std::string head(1, type);
  PutLength(&head, data.size());
  return WriteAll(fd, head.data(), head.size()) && WriteAll(fd, data.data(), data.size());
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

CommandServer::CommandServer(const std::string& path) : path_(path) {
  const std::string folder = path.substr(0, path.rfind('/'));
  if (!folder.empty() && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    Throw(folder, "cannot create the folder");
  }
  sockaddr_un address;
  if (!Address(path, &address)) {
    errno = ENAMETOOLONG;
    Throw(path, "cannot listen");
  }
  listener_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listener_.valid()) Throw(path, "cannot make a socket");
  // The caller holds the profile lock, so a socket found here is a dead
  // daemon's.
  ::unlink(path.c_str());
  if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(path.c_str(), 0600) != 0 || ::listen(listener_.get(), 64) != 0) {
    Throw(path, "cannot listen");
  }
}

CommandServer::~CommandServer() { ::unlink(path_.c_str()); }

UniqueFd CommandServer::Accept() {
  for (;;) {
    UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client.valid()) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return UniqueFd();
    }
    if (!SameUser(client.get())) continue;
    SetTimeouts(client.get());
    return client;
  }
}

UniqueFd ConnectToServer(const std::string& path) {
  sockaddr_un address;
  if (!Address(path, &address)) return UniqueFd();
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid() ||
      ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return UniqueFd();
  }
  return fd;
}

}  // namespace tarvex
