// What the mail client hosts (the in-memory one, the Maildir one) have in
// common: the entities their objects stand for, the subscriptions of those
// entities to events, the counts of live objects and component
// initialisations, and the base of every host object.
#ifndef TARVEX_HOST_HOST_SUPPORT_H_
#define TARVEX_HOST_HOST_SUPPORT_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"

namespace tarvex {

// The kinds of entity a host object stands for.
enum class EntityKind { kInit, kFolderManager, kApi, kFolder, kToolbar, kMessage };

// One entity: its kind and a number the host gives it within the kind.
using EntityKey = std::pair<EntityKind, int64_t>;

// The subscriptions of a host's entities, by cookie. Subscriptions belong to
// the entity, not the object they were made on, and last until unadvised.
// Not locked by itself: every method but Raise expects the owner's mutex to
// be held.
class EventRegistry {
 public:
  // Unadvise of a cookie the entity does not hold.
  static constexpr HostStatus kNoConnection = 0x80040200;

  // Subscribes sink to the entity's events. On failure returns the status
  // and sets *description.
  HostStatus Advise(const EntityKey& entity, const HostRef<HostEventSink>& sink, uint32_t* cookie,
                    std::string* description);
  HostStatus Unadvise(const EntityKey& entity, uint32_t cookie, std::string* description);

  // The live subscriptions of the entity, and of all entities.
  size_t Count(const EntityKey& entity) const;
  size_t Count() const;

  // Calls every sink of the entity in order of advising, with mutex (the
  // owner's, guarding this registry) not held, so that sinks can call back
  // into the host and unadvise themselves or others; a sink unadvised before
  // its turn is not called. After each call, delivered (when given) is told
  // the cookie and the sink's result, with mutex held.
  using Delivered =
      std::function<void(uint32_t cookie, HostStatus status, std::string description)>;
  void Raise(std::mutex& mutex, const EntityKey& entity, const HostEvent& event,
             const Delivered& delivered = {});

 private:
  struct Subscription {
    EntityKey entity;
    HostRef<HostEventSink> sink;
  };

  std::map<uint32_t, Subscription> subscriptions_;  // by cookie, so in order of advising
  uint32_t next_cookie_ = 1;
};

// The accounting of a host: objects handed out and not yet released, and
// InitializeComponents/UninitializeComponents calls. Atomic, since objects
// change the count from their destructors.
struct HostCounts {
  std::atomic<int> live_objects{0};
  std::atomic<int> initializations{0};
  std::atomic<int> uninitializations{0};
};

// A walk over the selected message ids of a host's api object: First
// starts it, Next moves on; both give -1 when no id is left, and Next before
// First does too.
class SelectionCursor {
 public:
  int32_t First(const std::vector<int32_t>& selection) {
    next_ = 0;
    return Next(selection);
  }
  int32_t Next(const std::vector<int32_t>& selection) {
    if (next_ >= selection.size()) return -1;
    return selection[next_++];
  }

 private:
  size_t next_ = SIZE_MAX;  // the next selection index; past the end until First
};

// What every object of a host shares: its place in the live count, the
// entity it stands for and its error description. Store is the host's shared
// state, with a `std::mutex mutex` guarding it and a `HostCounts counts`.
template <typename Base, typename Store>
class HostObjectCore : public Base {
 public:
  HostObjectCore(std::shared_ptr<Store> store, EntityKey entity)
      : store_(std::move(store)), entity_(entity) {
    ++store_->counts.live_objects;
  }
  ~HostObjectCore() override { --store_->counts.live_objects; }
  HostObjectCore(const HostObjectCore&) = delete;
  HostObjectCore& operator=(const HostObjectCore&) = delete;

 protected:
  std::string DoErrorDescription() override {
    std::lock_guard<std::mutex> lock(store_->mutex);
    return error_description_;
  }

  // With the store locked: records description as the error description
  // and returns status.
  HostStatus Fail(HostStatus status, std::string description) {
    error_description_ = std::move(description);
    return status;
  }

  const std::shared_ptr<Store> store_;
  const EntityKey entity_;

 private:
  std::string error_description_;
};

}  // namespace tarvex

#endif  // TARVEX_HOST_HOST_SUPPORT_H_
