#include "platform/event_loop.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvex {
namespace {

class RecordingWindow : public MessageWindow {
 public:
  using MessageWindow::MessageWindow;
  std::vector<std::string> events;

 protected:
  void OnTimer(uint32_t id) override { events.push_back("timer " + std::to_string(id)); }
  void OnCommand(uint32_t c) override { events.push_back("command " + std::to_string(c)); }
  void OnClose() override {
    events.push_back("close");
    MessageWindow::OnClose();
  }
};

TEST(ManualEventLoop, DeliversCommandsInOrderThenTicksWithoutPilingUp) {
  ManualEventLoop loop;
  RecordingWindow window(loop);
  window.PostCommand(600);  // no window yet: dropped
  window.Create("Tarvex");
  window.SetTimer(1999, 1000);
  window.PostCommand(601);
  window.PostCommand(602);
  loop.Advance(999);
  loop.RunPending();
  EXPECT_EQ(window.events, (std::vector<std::string>{"command 601", "command 602"}));
  loop.Advance(3001);  // three periods elapsed: still one tick
  loop.RunPending();
  EXPECT_EQ(window.events.back(), "timer 1999");
  EXPECT_EQ(window.events.size(), 3u);
  EXPECT_EQ(loop.TimerPeriod(&window, 1999), 1000u);

  window.KillTimer(1999);
  loop.Advance(5000);
  EXPECT_FALSE(loop.RunOnce());
}

TEST(ManualEventLoop, ClosingTheWindowDropsItsTimersAndCommands) {
  ManualEventLoop loop;
  RecordingWindow window(loop);
  window.Create("Tarvex");
  window.SetTimer(7, 10);
  window.PostCommand(1);
  window.SendClose();
  EXPECT_FALSE(window.exists());
  EXPECT_FALSE(loop.HasTimer(&window, 7));
  loop.Advance(100);
  EXPECT_FALSE(loop.RunOnce());
  EXPECT_EQ(window.events, (std::vector<std::string>{"close"}));
}

}  // namespace
}  // namespace tarvex
