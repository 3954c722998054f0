// What a daemon tells the mail windows that subscribed on its socket: each
// message it judged and each change of the folders that a user's command
// made, as they happen, so that a window never has to poll. A subscription
// is a request whose connection stays open: the daemon answers that it is
// taken, then writes one frame per notice. It never waits on a subscriber: a
// notice that does not fit into the connection's buffer at once ends that
// subscription, so what the daemon keeps for its subscribers stays bounded.
#ifndef TARVEX_APP_STORE_NOTICES_H_
#define TARVEX_APP_STORE_NOTICES_H_

#include <cstdint>
#include <functional>
#include <vector>

#include "app/daemon.h"
#include "classify/classifier.h"
#include "ops/operations.h"
#include "platform/command_socket.h"
#include "ui/routed_ui.h"

namespace tarvex {

struct StoreNotice {
  enum class Kind { kJudged, kChanged };
  Kind kind = Kind::kChanged;
  // Where the judged message came in and its id; a change names no folder
  // (-1): any may have changed.
  int32_t folder = -1;
  int32_t message = 0;
  Outcome outcome = Outcome::kUntouched;
  // The judged message left its folder for the spam folder.
  bool moved = false;
  // The spam beep sounded for it (BeepAtSpam is on).
  bool beeped = false;
};

// The subscribers of one daemon.
class Subscribers {
 public:
  explicit Subscribers(size_t limit = 16) : limit_(limit) {}
  // Takes a subscription's connection and says it is taken; beyond the
  // limit (once the subscribers that hung up are gone) it is hung up on.
  void Add(UniqueFd client);
  // Writes the notice to each subscriber, dropping those that cannot take
  // it at once.
  void Tell(const StoreNotice& notice);
  size_t count() const { return clients_.size(); }

 private:
  size_t limit_;
  std::vector<UniqueFd> clients_;
};

// What the daemon does with a client's request: an operation is served on
// ops (and a change of the folders it made told to subscribers), a
// subscription joins them; anything else is answered as an operation that
// could not be read.
void ServeClient(UniqueFd client, const Frame& request, Operations& ops, RoutedUi& ui,
                 Subscribers& subscribers);
// The notice of a judged message.
StoreNotice JudgedNotice(const ClassifyResult& result, int32_t folder, int32_t message);
// Has the daemon of options answer its clients so, and tell subscribers of
// each message it judges.
void AnswerClients(DaemonOptions* options, Operations& ops, RoutedUi& ui, Subscribers& subscribers);

// ---- the window's side
// Subscribes over a connection from connect, waiting (up to the socket's
// timeout) for the daemon to take it; invalid when it did not.
UniqueFd Subscribe(const std::function<UniqueFd()>& connect);
// The notice a frame carries; false when it carries none.
bool ReadNotice(const Frame& frame, StoreNotice* notice);

}  // namespace tarvex

#endif  // TARVEX_APP_STORE_NOTICES_H_
