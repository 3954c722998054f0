#include "plugin/subscription.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "platform/codepage.h"

namespace tarvex {

HostRef<Subscription> Subscription::Create(HostLibrary& library, std::vector<EventBinding> events) {
  HostRef<Subscription> subscription(new Subscription(library, std::move(events)));
  subscription->self_ = subscription;
  return subscription;
}

Subscription::Subscription(HostLibrary& library, std::vector<EventBinding> events)
    : library_(library), events_(std::move(events)) {
  library_.InitializeComponents();
}

Subscription::~Subscription() { library_.UninitializeComponents(); }

void Subscription::Attach(HostRef<HostObject> object) {
  cookie_ = Required(object)->Advise(self_.lock());
  object_ = std::move(object);
}

void Subscription::Detach() {
  if (!object_) return;
  object_->Unadvise(cookie_);
  object_.reset();
  cookie_ = 0;
}

bool ToInt32(const HostVariant& value, int32_t* out) {
  switch (value.type) {
    case HostVariant::Type::kEmpty:
      *out = 0;
      return true;
    case HostVariant::Type::kInteger:
      if (value.integer < INT32_MIN || value.integer > INT32_MAX) return false;
      *out = static_cast<int32_t>(value.integer);
      return true;
    case HostVariant::Type::kReal: {
      const double rounded = std::nearbyint(value.real);  // round half to even
      if (!(rounded >= INT32_MIN && rounded <= INT32_MAX)) return false;
      *out = static_cast<int32_t>(rounded);
      return true;
    }
    case HostVariant::Type::kText: {
      const char* text = value.text.c_str();
      char* end = nullptr;
      errno = 0;
      const long long parsed = std::strtoll(text, &end, 10);
      if (end == text || *end != '\0' || errno || parsed < INT32_MIN || parsed > INT32_MAX) {
        return false;
      }
      *out = static_cast<int32_t>(parsed);
      return true;
    }
    case HostVariant::Type::kObject:
      return false;
  }
  return false;
}

HostStatus Subscription::Invoke(const HostEvent& event, std::string* error_description) {
  if (!linked_) return status::kOk;
  const EventBinding* binding = nullptr;
  for (const EventBinding& b : events_) {
    if (b.number == event.number) binding = &b;
  }
  if (!binding) return status::kMemberNotFound;
  if (!event.method_call) return status::kOk;
  if (event.named_arguments > 0) return status::kNoNamedArguments;
  if (event.arguments.size() != binding->arguments) return status::kBadParameterCount;
  std::vector<int32_t> arguments(event.arguments.size());
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (!ToInt32(event.arguments[i], &arguments[i])) return status::kBadVariableType;
  }
  if (!binding->handler) return status::kOk;
  // The handler may detach this subscription; keep it alive until it returns.
  HostRef<Subscription> keep = self_.lock();
  try {
    binding->handler(arguments);
  } catch (const HostError& error) {
    if (error_description) *error_description = cp1252::ToUtf8(error.description());
    return error.code();
  }
  return status::kOk;
}

}  // namespace tarvex
