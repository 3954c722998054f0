#include "app/store_notices.h"

#include <sys/socket.h>

#include <algorithm>

#include "app/remote_operations.h"
#include "ops/wire.h"

namespace tarvex {
namespace {

// Frame types of a subscription: the request, its answer, a notice.
constexpr char kSubscribe = 'S';
constexpr char kTaken = 's';
constexpr char kNotice = 'n';

}  // namespace

template <typename F>
void Fields(StoreNotice& n, F&& f) {
  f(n.kind, n.folder, n.message, n.outcome, n.moved, n.beeped);
}
constexpr uint32_t EnumLimit(StoreNotice::Kind) {
  return static_cast<uint32_t>(StoreNotice::Kind::kChanged);
}
constexpr uint32_t EnumLimit(Outcome) { return static_cast<uint32_t>(Outcome::kClean); }

namespace {

// Sends all of bytes at once or nothing more: false when the connection
// could not take them without waiting, or is gone.
bool SendNow(int fd, const std::string& bytes) {
  const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  return sent == static_cast<ssize_t>(bytes.size());
}

// Whether the peer hung up (or the connection broke); a subscriber sends
// nothing after its request, so anything readable is the end.
bool HungUp(int fd) {
  char byte;
  const ssize_t got = ::recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
  return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

}  // namespace

void Subscribers::Add(UniqueFd client) {
  clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                [](const UniqueFd& fd) { return HungUp(fd.get()); }),
                 clients_.end());
  if (clients_.size() >= limit_) return;
  if (SendNow(client.get(), EncodeFrame(kTaken, ""))) clients_.push_back(std::move(client));
}

void Subscribers::Tell(const StoreNotice& notice) {
  if (clients_.empty()) return;
  WireWriter data;
  data.Write(notice);
  const std::string frame = EncodeFrame(kNotice, data.bytes());
  // A frame sent in part would leave the stream broken: the subscriber is
  // dropped and sees the end, from which it can start again.
  clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                [&](const UniqueFd& fd) { return !SendNow(fd.get(), frame); }),
                 clients_.end());
}

void ServeClient(UniqueFd client, const Frame& request, Operations& ops, RoutedUi& ui,
                 Subscribers& subscribers) {
  if (request.type == kSubscribe && request.data.empty()) {
    subscribers.Add(std::move(client));
    return;
  }
  const bool changes = MovesMessages(request);
  ServeOperation(std::move(client), request, ops, ui);
  if (changes) subscribers.Tell({});
}

StoreNotice JudgedNotice(const ClassifyResult& result, int32_t folder, int32_t message) {
  return {StoreNotice::Kind::kJudged, folder, message, result.outcome, result.moved, result.beeped};
}

void AnswerClients(DaemonOptions* options, Operations& ops, RoutedUi& ui,
                   Subscribers& subscribers) {
  options->onRequest = [&ops, &ui, &subscribers](UniqueFd client, Frame request) {
    ServeClient(std::move(client), request, ops, ui, subscribers);
  };
  options->onJudged = [&subscribers](const ClassifyResult& result, int32_t folder,
                                     int32_t message) {
    subscribers.Tell(JudgedNotice(result, folder, message));
  };
}

UniqueFd Subscribe(const std::function<UniqueFd()>& connect) {
  UniqueFd daemon = connect();
  Frame answer;
  if (!daemon.valid() || !WriteFrame(daemon.get(), kSubscribe, "") ||
      !ReadFrame(daemon.get(), &answer) || answer.type != kTaken) {
    return UniqueFd();
  }
  return daemon;
}

bool ReadNotice(const Frame& frame, StoreNotice* notice) {
  if (frame.type != kNotice) return false;
  WireReader in(frame.data);
  in.Read(*notice);
  return in.done();
}

}  // namespace tarvex
