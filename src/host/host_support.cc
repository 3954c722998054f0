#include "host/host_support.h"

#include <algorithm>
#include <vector>

namespace tarvex {

HostStatus EventRegistry::Advise(const EntityKey& entity, const HostRef<HostEventSink>& sink,
                                 uint32_t* cookie, std::string* description) {
  if (!sink) {
    *description = "There is no sink to advise.";
    return status::kInvalidPointer;
  }
  *cookie = next_cookie_++;
  subscriptions_[*cookie] = Subscription{entity, sink};
  return status::kOk;
}

HostStatus EventRegistry::Unadvise(const EntityKey& entity, uint32_t cookie,
                                   std::string* description) {
  auto it = subscriptions_.find(cookie);
  if (it == subscriptions_.end() || it->second.entity != entity) {
    *description = "There is no subscription " + std::to_string(cookie) + " here.";
    return kNoConnection;
  }
  subscriptions_.erase(it);
  return status::kOk;
}

size_t EventRegistry::Count(const EntityKey& entity) const {
  return static_cast<size_t>(
      std::count_if(subscriptions_.begin(), subscriptions_.end(),
                    [&](const auto& entry) { return entry.second.entity == entity; }));
}

size_t EventRegistry::Count() const { return subscriptions_.size(); }

void EventRegistry::Raise(std::mutex& mutex, const EntityKey& entity, const HostEvent& event,
                          const Delivered& delivered) {
  using Lock = std::lock_guard<std::mutex>;
  // The sinks are taken while locked and called unlocked; holding them here
  // keeps a sink that unadvises itself alive until its call returns.
  std::vector<std::pair<uint32_t, HostRef<HostEventSink>>> sinks;
  {
    Lock lock(mutex);
    for (const auto& [cookie, subscription] : subscriptions_) {
      if (subscription.entity == entity) sinks.emplace_back(cookie, subscription.sink);
    }
  }
  for (const auto& [cookie, sink] : sinks) {
    {
      Lock lock(mutex);
      if (!subscriptions_.count(cookie)) continue;  // unadvised by an earlier sink
    }
    std::string description;
    const HostStatus result = sink->Invoke(event, &description);
    if (delivered) {
      Lock lock(mutex);
      delivered(cookie, result, std::move(description));
    }
  }
}

}  // namespace tarvex
