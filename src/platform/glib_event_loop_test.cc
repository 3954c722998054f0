// The GLib loop in real time, with short periods. Nothing here asserts how
// fast anything happens: each test ends the loop from its own callbacks, with
// a generous guard against a loop that never ends.
#include "platform/glib_event_loop.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tarvex {
namespace {

using Events = std::vector<std::string>;

class RecordingWindow : public MessageWindow {
 public:
  using MessageWindow::MessageWindow;
  Events events;
  std::function<void(const std::string&)> react;

 protected:
  void OnTimer(uint32_t id) override { Record("timer " + std::to_string(id)); }
  void OnCommand(uint32_t c) override { Record("command " + std::to_string(c)); }

 private:
  void Record(const std::string& event) {
    events.push_back(event);
    if (react) react(event);
  }
};

class GLibEventLoopTest : public ::testing::Test {
 protected:
  // Runs the loop until a callback quits it; a loop still running after
  // ten seconds fails the test.
  void RunGuarded() {
    struct Guard {
      GLibEventLoop& loop;
      unsigned id;
      ~Guard() { loop.RemoveSource(id); }
    } guard{loop, loop.Every(10000, [this] {
              ADD_FAILURE() << "the loop did not end";
              loop.Quit();
            })};
    loop.Run();
  }
  // Runs the loop for a while, so that anything due keeps the chance to show.
  void RunFor(uint32_t ms) {
    const unsigned stop = loop.Every(ms, [this] { loop.Quit(); });
    loop.Run();
    loop.RemoveSource(stop);
  }

  GLibEventLoop loop;
};

TEST_F(GLibEventLoopTest, CommandsArriveInOrderBeforeTimersAndKillTimerStopsTicks) {
  RecordingWindow a(loop), b(loop);
  a.PostCommand(1);  // no window yet: dropped
  a.Create("a");
  b.Create("b");
  a.SetTimer(7, 1);
  a.PostCommand(2);
  b.PostCommand(3);
  a.PostCommand(4);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the timer is due: still after
  int ticks = 0;
  a.react = [&](const std::string& event) {
    if (event == "command 2") a.PostCommand(5);  // after those already queued
    if (event == "timer 7" && ++ticks == 3) {
      a.KillTimer(7);
      loop.Quit();
    }
  };
  RunGuarded();
  EXPECT_EQ(a.events,
            (Events{"command 2", "command 4", "command 5", "timer 7", "timer 7", "timer 7"}));
  EXPECT_EQ(b.events, Events{"command 3"});

  RunFor(30);  // killed: no more ticks
  EXPECT_EQ(ticks, 3);
}

TEST_F(GLibEventLoopTest, SettingATimerAgainReplacesIt) {
  RecordingWindow window(loop);
  window.Create("w");
  window.SetTimer(1, 1);
  window.SetTimer(1, 600000);  // replaces the 1 ms timer
  window.SetTimer(2, 1);
  window.react = [&](const std::string& event) {
    if (event == "timer 2") window.SetTimer(2, 600000);  // from its own tick
  };
  RunFor(50);
  EXPECT_EQ(window.events, Events{"timer 2"});
}

TEST_F(GLibEventLoopTest, DestroyingAWindowDropsItsTimersAndQueuedCommands) {
  RecordingWindow gone(loop), kept(loop);
  gone.Create("gone");
  kept.Create("kept");
  gone.SetTimer(1, 1);
  gone.PostCommand(10);
  kept.PostCommand(11);
  gone.PostCommand(12);
  kept.SetTimer(2, 1);
  kept.react = [&](const std::string& event) {
    if (event == "command 11") gone.Destroy();  // a command of its own is still queued
  };
  RunFor(30);
  EXPECT_EQ(gone.events, Events{"command 10"});
  ASSERT_GE(kept.events.size(), 2u);
  EXPECT_EQ(kept.events[0], "command 11");
  EXPECT_EQ(kept.events[1], "timer 2");

  // A window destroyed from inside its own timer's tick.
  RecordingWindow self(loop);
  self.Create("self");
  self.SetTimer(3, 1);
  self.react = [&](const std::string&) { self.Destroy(); };
  kept.Destroy();
  RunFor(30);
  EXPECT_EQ(self.events, Events{"timer 3"});
}

TEST_F(GLibEventLoopTest, ReadablePipeCallsBackUntilHangUpAndTheSourceIsRemoved) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
  std::string received;
  int hang_ups = 0;
  unsigned watch = 0;
  watch = loop.WatchReadable(fds[0], [&] {
    char buffer[16];
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n > 0) {
      received.append(buffer, static_cast<size_t>(n));
      if (received == "ab") ::close(fds[1]);  // hang up
      return;
    }
    ++hang_ups;
    loop.RemoveSource(watch);  // from its own callback
    loop.Quit();
  });
  const unsigned ticker = loop.Every(1, [&, sent = 0]() mutable {
    if (sent < 2) {
      ASSERT_EQ(::write(fds[1], sent++ ? "b" : "a", 1), 1);
    }
  });
  RunGuarded();
  loop.RemoveSource(ticker);
  EXPECT_EQ(received, "ab");
  EXPECT_EQ(hang_ups, 1);

  RunFor(20);  // removed: the hung-up pipe no longer calls back
  EXPECT_EQ(hang_ups, 1);
  ::close(fds[0]);
  loop.RemoveSource(watch);  // removing again is nothing
}

TEST_F(GLibEventLoopTest, SignalsCallBackOnTheLoopAndQuitEndsRun) {
  Events handled;
  loop.OnSignal(SIGUSR1, [&] { handled.push_back("usr1"); });
  const unsigned term = loop.OnSignal(SIGTERM, [&] {
    handled.push_back("term");
    loop.Quit();
  });
  ASSERT_EQ(std::raise(SIGUSR1), 0);
  EXPECT_TRUE(handled.empty());  // not in the signal handler: on the loop
  // SIGTERM only once SIGUSR1 came through: GLib may notice two signals
  // raised close together in either order.
  const unsigned raiser = loop.Every(1, [&] {
    if (!handled.empty()) std::raise(SIGTERM);
  });
  RunGuarded();
  loop.RemoveSource(raiser);
  loop.RemoveSource(term);
  ASSERT_GE(handled.size(), 2u);
  EXPECT_EQ(handled[0], "usr1");
  EXPECT_EQ(handled.back(), "term");
  EXPECT_THROW(loop.OnSignal(SIGSEGV, [] {}), std::invalid_argument);
}

TEST_F(GLibEventLoopTest, QuitBeforeRunEndsItAtOnceAndAThrowingCallbackEndsRun) {
  RecordingWindow window(loop);
  window.Create("w");
  window.PostCommand(1);
  loop.Quit();
  loop.Run();  // returns without delivering
  EXPECT_TRUE(window.events.empty());

  window.react = [](const std::string&) { throw std::runtime_error("handler failed"); };
  EXPECT_THROW(RunGuarded(), std::runtime_error);
  EXPECT_EQ(window.events, Events{"command 1"});
  window.PostCommand(2);  // the loop runs on afterwards
  window.react = [&](const std::string&) { loop.Quit(); };
  RunGuarded();
  EXPECT_EQ(window.events, (Events{"command 1", "command 2"}));
}

}  // namespace
}  // namespace tarvex
