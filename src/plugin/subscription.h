// A subscription to one host object's events: holds a counted reference on
// the object and a registration with its event source, and hands each event
// to its handler by the event's number.
//
// Delivery contract: arguments are converted to 32-bit integers before the
// handler runs. An event number the set does not have is answered with
// "member not found", named arguments with "no named arguments", a wrong
// argument count with "bad parameter count" and an argument that cannot be
// converted with "bad variable type"; a delivery that is not a method call
// succeeds without a handler. A host error leaving a handler goes back to the
// host as the delivery's result, with its description. While unlinked (before
// its owner starts, after it stops) a subscription ignores every event.
#ifndef TARVEX_PLUGIN_SUBSCRIPTION_H_
#define TARVEX_PLUGIN_SUBSCRIPTION_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "host/host.h"

namespace tarvex {

// One event of a set: its number, how many arguments it carries, and what to
// do (nothing, for the events that are only received).
struct EventBinding {
  int32_t number;
  size_t arguments;
  std::function<void(const std::vector<int32_t>&)> handler;
};

class Subscription : public HostEventSink {
 public:
  // Initialises the host's component system for this subscription.
  static HostRef<Subscription> Create(HostLibrary& library, std::vector<EventBinding> events);
  // Uninitialises it again.
  ~Subscription() override;

  // Holds object and subscribes to its events. Raises HostError.
  void Attach(HostRef<HostObject> object);
  // Unsubscribes and releases the object; nothing when none is held. Raises
  // HostError, in which case the object stays held.
  void Detach();
  // Events reach the handlers only while linked.
  void Link(bool linked) { linked_ = linked; }

  bool attached() const { return object_ != nullptr; }
  HostObject* object() const { return object_.get(); }

  HostStatus Invoke(const HostEvent& event, std::string* error_description) override;

 private:
  Subscription(HostLibrary& library, std::vector<EventBinding> events);

  HostLibrary& library_;
  std::vector<EventBinding> events_;
  std::weak_ptr<Subscription> self_;
  HostRef<HostObject> object_;
  uint32_t cookie_ = 0;
  bool linked_ = false;
};

// Converts an event argument to a 32-bit integer as the host's automation
// layer does; false when it cannot be converted.
bool ToInt32(const HostVariant& value, int32_t* out);

}  // namespace tarvex

#endif  // TARVEX_PLUGIN_SUBSCRIPTION_H_
