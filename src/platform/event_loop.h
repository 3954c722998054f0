// The hidden window's world: a window that receives timer ticks, commands and
// a close request, one at a time, from an event loop. The loop is the only
// source of these events, so handlers never run in parallel; a handler that
// runs a modal dialog lets the loop deliver further events inside it.
#ifndef TARVEX_PLATFORM_EVENT_LOOP_H_
#define TARVEX_PLATFORM_EVENT_LOOP_H_

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>

namespace tarvex {

class EventLoop;

class MessageWindow {
 public:
  explicit MessageWindow(EventLoop& loop) : loop_(loop) {}
  // Destroys the window: its timers stop and its queued commands are dropped.
  virtual ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  void Create(const std::string& title);
  void Destroy();
  bool exists() const { return exists_; }
  const std::string& title() const { return title_; }

  // A timer of the same id is replaced. Without a window, nothing happens.
  void SetTimer(uint32_t id, uint32_t periodMs);
  void KillTimer(uint32_t id);
  // Queues a command for the loop to deliver.
  void PostCommand(uint32_t command);
  // Delivers the close request now; by default it destroys the window.
  void SendClose() { OnClose(); }

 protected:
  virtual void OnTimer(uint32_t) {}
  virtual void OnCommand(uint32_t) {}
  virtual void OnClose() { Destroy(); }

 private:
  friend class ManualEventLoop;
  friend class EventLoop;
  EventLoop& loop_;
  bool exists_ = false;
  std::string title_;
};

class EventLoop {
 public:
  virtual ~EventLoop() = default;

 protected:
  friend class MessageWindow;
  virtual void AddTimer(MessageWindow* window, uint32_t id, uint32_t periodMs) = 0;
  virtual void RemoveTimer(MessageWindow* window, uint32_t id) = 0;
  virtual void Post(MessageWindow* window, uint32_t command) = 0;
  // The window is gone: forget its timers and queued commands.
  virtual void Forget(MessageWindow* window) = 0;

  static void DeliverTimer(MessageWindow* w, uint32_t id) { w->OnTimer(id); }
  static void DeliverCommand(MessageWindow* w, uint32_t command) { w->OnCommand(command); }
};

// A loop that tests drive by hand: time stands still until Advance, and events
// are delivered one at a time by RunOnce.
class ManualEventLoop : public EventLoop {
 public:
  // Moves time on; every timer whose period elapsed gets one pending tick (as
  // with window timers, ticks of one timer do not pile up).
  void Advance(uint32_t ms);
  // Delivers the oldest pending event: commands in the order posted, then
  // ticks. False when nothing is pending.
  bool RunOnce();
  // Delivers events until none is pending.
  void RunPending();

  size_t PendingCommands() const { return commands_.size(); }
  bool HasTimer(const MessageWindow* window, uint32_t id) const;
  uint32_t TimerPeriod(const MessageWindow* window, uint32_t id) const;

 protected:
  void AddTimer(MessageWindow* window, uint32_t id, uint32_t periodMs) override;
  void RemoveTimer(MessageWindow* window, uint32_t id) override;
  void Post(MessageWindow* window, uint32_t command) override;
  void Forget(MessageWindow* window) override;

 private:
  struct Timer {
    uint32_t period;
    uint64_t due;
    bool ticked = false;
  };
  using TimerKey = std::pair<const MessageWindow*, uint32_t>;
  uint64_t now_ = 0;
  std::map<TimerKey, Timer> timers_;
  std::deque<std::pair<MessageWindow*, uint32_t>> commands_;
};

}  // namespace tarvex

#endif  // TARVEX_PLATFORM_EVENT_LOOP_H_
