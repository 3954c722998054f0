#include "platform/event_loop.h"

namespace tarvex {

MessageWindow::~MessageWindow() { Destroy(); }

void MessageWindow::Create(const std::string& title) {
  title_ = title;
  exists_ = true;
}

void MessageWindow::Destroy() {
  if (!exists_) return;
  exists_ = false;
  loop_.Forget(this);
}

void MessageWindow::SetTimer(uint32_t id, uint32_t periodMs) {
  if (exists_) loop_.AddTimer(this, id, periodMs);
}

void MessageWindow::KillTimer(uint32_t id) {
  if (exists_) loop_.RemoveTimer(this, id);
}

void MessageWindow::PostCommand(uint32_t command) {
  if (exists_) loop_.Post(this, command);
}

// ------------------------------------------------------------------ ManualEventLoop

void ManualEventLoop::Advance(uint32_t ms) {
  now_ += ms;
  for (auto& [key, timer] : timers_) {
    if (timer.due > now_) continue;
    timer.ticked = true;
    while (timer.due <= now_) timer.due += timer.period ? timer.period : 1;
  }
}

bool ManualEventLoop::RunOnce() {
  if (!commands_.empty()) {
    auto [window, command] = commands_.front();
    commands_.pop_front();
    DeliverCommand(window, command);
    return true;
  }
  for (auto& [key, timer] : timers_) {
    if (!timer.ticked) continue;
    timer.ticked = false;
    const TimerKey k = key;  // the handler may change the timers
    DeliverTimer(const_cast<MessageWindow*>(k.first), k.second);
    return true;
  }
  return false;
}

void ManualEventLoop::RunPending() {
  while (RunOnce()) {
  }
}

bool ManualEventLoop::HasTimer(const MessageWindow* window, uint32_t id) const {
  return timers_.count({window, id}) != 0;
}

uint32_t ManualEventLoop::TimerPeriod(const MessageWindow* window, uint32_t id) const {
  auto it = timers_.find({window, id});
  return it == timers_.end() ? 0 : it->second.period;
}

void ManualEventLoop::AddTimer(MessageWindow* window, uint32_t id, uint32_t periodMs) {
  timers_[{window, id}] = Timer{periodMs, now_ + periodMs};
}

void ManualEventLoop::RemoveTimer(MessageWindow* window, uint32_t id) {
  timers_.erase({window, id});
}

void ManualEventLoop::Post(MessageWindow* window, uint32_t command) {
  commands_.emplace_back(window, command);
}

void ManualEventLoop::Forget(MessageWindow* window) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    it = it->first.first == window ? timers_.erase(it) : std::next(it);
  }
  for (auto it = commands_.begin(); it != commands_.end();) {
    it = it->first == window ? commands_.erase(it) : std::next(it);
  }
}

}  // namespace tarvex
