#include "plugin/subscription.h"

#include <gtest/gtest.h>

#include "host/fault_injecting_host.h"
#include "host/memory/memory_host.h"

namespace tarvex {
namespace {

HostEvent Event(int32_t number, std::vector<HostVariant> arguments = {}) {
  HostEvent e;
  e.number = number;
  e.arguments = std::move(arguments);
  return e;
}

TEST(Subscription, DispatchesByEventNumberWithTheDeliveryContract) {
  MemoryHost host;
  std::vector<int32_t> received;
  HostRef<Subscription> s = Subscription::Create(
      host, {{1, 1, [&](const std::vector<int32_t>& a) { received.push_back(a[0]); }},
             {2, 0, nullptr},
             {3, 0, [](const std::vector<int32_t>&) {
                throw HostError(status::kAccessDenied, "caf\xE9 closed");
              }}});
  std::string description;
  EXPECT_EQ(s->Invoke(Event(1, {HostVariant::Integer(5)}), &description), status::kOk);
  EXPECT_TRUE(received.empty());  // not linked yet: ignored
  s->Link(true);
  EXPECT_EQ(s->Invoke(Event(1, {HostVariant::Integer(5)}), &description), status::kOk);
  HostVariant text;
  text.type = HostVariant::Type::kText;
  text.text = "-12";
  EXPECT_EQ(s->Invoke(Event(1, {text}), &description), status::kOk);
  HostVariant real;
  real.type = HostVariant::Type::kReal;
  real.real = 2.5;  // rounds half to even
  EXPECT_EQ(s->Invoke(Event(1, {real}), &description), status::kOk);
  EXPECT_EQ(received, (std::vector<int32_t>{5, -12, 2}));

  EXPECT_EQ(s->Invoke(Event(9), &description), status::kMemberNotFound);
  HostEvent named = Event(1, {HostVariant::Integer(1)});
  named.named_arguments = 1;
  EXPECT_EQ(s->Invoke(named, &description), status::kNoNamedArguments);
  EXPECT_EQ(s->Invoke(Event(1), &description), status::kBadParameterCount);
  HostVariant object;
  object.type = HostVariant::Type::kObject;
  EXPECT_EQ(s->Invoke(Event(1, {object}), &description), status::kBadVariableType);
  EXPECT_EQ(s->Invoke(Event(1, {HostVariant::Integer(1LL << 40)}), &description),
            status::kBadVariableType);
  HostEvent property = Event(1);
  property.method_call = false;
  EXPECT_EQ(s->Invoke(property, &description), status::kOk);
  EXPECT_EQ(s->Invoke(Event(2), &description), status::kOk);
  EXPECT_EQ(s->Invoke(Event(3), &description), status::kAccessDenied);
  EXPECT_EQ(description, "caf\xC3\xA9 closed");
  EXPECT_EQ(received.size(), 3u);
}

TEST(Subscription, HoldsOneReferenceAndBalancesTheComponentSystem) {
  MemoryHost host;
  {
    HostRef<Subscription> s = Subscription::Create(host, {{1, 0, nullptr}});
    s->Attach(host.CreateInit());
    EXPECT_EQ(host.LiveObjects(), 1);
    EXPECT_EQ(host.Subscriptions(), 1u);
    s->Detach();
    s->Detach();  // nothing held: nothing to do
    EXPECT_EQ(host.LiveObjects(), 0);
    EXPECT_EQ(host.Subscriptions(), 0u);
    FaultInjectingHost faults(host);
    faults.FailNext("Advise", status::kFail);
    EXPECT_THROW(s->Attach(faults.CreateInit()), HostError);
    EXPECT_FALSE(s->attached());
  }
  EXPECT_EQ(host.LiveObjects(), 0);
  EXPECT_EQ(host.ComponentInitializations(), 1);
  EXPECT_EQ(host.ComponentUninitializations(), 1);
}

}  // namespace
}  // namespace tarvex
