#include "platform/glib_event_loop.h"

#include <glib-unix.h>
#include <glib.h>

#include <csignal>
#include <stdexcept>

namespace tarvex {
namespace {

// A window timer's source carries the window and the timer's id.
struct WindowTimerTarget {
  GLibEventLoop* loop;
  MessageWindow* window;
  uint32_t id;
};

// The one source that delivers posted commands: ready while any is queued.
struct CommandSource {
  GSource base;
  GLibEventLoop* loop;
};

// A callback of Every, OnSignal or WatchReadable, with its loop.
struct OwnedCallback {
  GLibEventLoop* loop;
  GLibEventLoop::Callback call;
};

// Window timers tick only when no command (nor any other source of the
// default priority) is ready, as WM_TIMER comes only when a window's queue is
// otherwise empty.
constexpr int kWindowTimerPriority = G_PRIORITY_DEFAULT + 10;

void DestroySource(GSource* source) {
  g_source_destroy(source);
  g_source_unref(source);
}

}  // namespace

struct GLibEventLoop::Glue {
  static gboolean Callback(gpointer data) {
    auto* owned = static_cast<OwnedCallback*>(data);
    owned->loop->Guarded(owned->call);
    return G_SOURCE_CONTINUE;
  }

  static gboolean Readable(gint, GIOCondition, gpointer data) { return Callback(data); }

  static void Free(gpointer data) { delete static_cast<OwnedCallback*>(data); }

  static gboolean WindowTimer(gpointer data) {
    const auto* timer = static_cast<WindowTimerTarget*>(data);
    timer->loop->Guarded([timer] { DeliverTimer(timer->window, timer->id); });
    // Should the handler have killed or replaced the timer, GLib has
    // destroyed this source already and ignores what is returned.
    return G_SOURCE_CONTINUE;
  }

  static void FreeWindowTimer(gpointer data) { delete static_cast<WindowTimerTarget*>(data); }

  static gboolean PrepareCommands(GSource* source, gint* timeout) {
    *timeout = -1;
    return CheckCommands(source);
  }

  static gboolean CheckCommands(GSource* source) {
    return !reinterpret_cast<CommandSource*>(source)->loop->commands_.empty();
  }

  // One command per dispatch, as a window's message queue hands them out.
  static gboolean DispatchCommands(GSource* source, GSourceFunc, gpointer) {
    GLibEventLoop* loop = reinterpret_cast<CommandSource*>(source)->loop;
    if (loop->commands_.empty()) return G_SOURCE_CONTINUE;
    const auto [window, command] = loop->commands_.front();
    loop->commands_.pop_front();
    loop->Guarded([window = window, command = command] { DeliverCommand(window, command); });
    return G_SOURCE_CONTINUE;
  }

  static inline GSourceFuncs command_funcs = {PrepareCommands, CheckCommands, DispatchCommands,
                                              nullptr,         nullptr,       nullptr};
};

GLibEventLoop::GLibEventLoop() : GLibEventLoop(nullptr) {}

GLibEventLoop::GLibEventLoop(GMainContext* context)
    : context_(context ? g_main_context_ref(context) : g_main_context_new()) {
  GSource* source = g_source_new(&Glue::command_funcs, sizeof(CommandSource));
  reinterpret_cast<CommandSource*>(source)->loop = this;
  // A handler that runs a nested loop (a modal dialog) still gets commands.
  g_source_set_can_recurse(source, TRUE);
  g_source_attach(source, context_);
  commands_source_ = source;
}

GLibEventLoop::~GLibEventLoop() {
  DestroySource(commands_source_);
  for (const auto& [key, source] : timers_) DestroySource(source);
  for (const auto& [id, source] : sources_) DestroySource(source);
  g_main_context_unref(context_);
}

void GLibEventLoop::Run() {
  while (!quit_.load()) g_main_context_iteration(context_, TRUE);
  quit_ = false;
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void GLibEventLoop::Quit() {
  quit_ = true;
  g_main_context_wakeup(context_);
}

void GLibEventLoop::Guarded(const std::function<void()>& call) noexcept {
  try {
    call();
  } catch (...) {
    if (!failure_) failure_ = std::current_exception();
    Quit();
  }
}

unsigned GLibEventLoop::Own(GSource* source) {
  const unsigned id = g_source_attach(source, context_);
  sources_[id] = source;
  return id;
}

unsigned GLibEventLoop::WatchReadable(int fd, Callback onReadable) {
  GSource* source =
      g_unix_fd_source_new(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
  g_source_set_callback(source, G_SOURCE_FUNC(Glue::Readable),
                        new OwnedCallback{this, std::move(onReadable)}, Glue::Free);
  return Own(source);
}

unsigned GLibEventLoop::Every(uint32_t periodMs, Callback tick) {
  GSource* source = g_timeout_source_new(periodMs ? periodMs : 1);
  g_source_set_callback(source, Glue::Callback, new OwnedCallback{this, std::move(tick)},
                        Glue::Free);
  return Own(source);
}

unsigned GLibEventLoop::OnSignal(int signum, Callback handler) {
  switch (signum) {
    case SIGHUP:
    case SIGINT:
    case SIGTERM:
    case SIGUSR1:
    case SIGUSR2:
    case SIGWINCH:
      break;
    default:
      throw std::invalid_argument("Signal " + std::to_string(signum) + " cannot be handled.");
  }
  GSource* source = g_unix_signal_source_new(signum);
  g_source_set_callback(source, Glue::Callback, new OwnedCallback{this, std::move(handler)},
                        Glue::Free);
  return Own(source);
}

void GLibEventLoop::RemoveSource(unsigned id) {
  auto it = sources_.find(id);
  if (it == sources_.end()) return;
  GSource* source = it->second;
  sources_.erase(it);
  DestroySource(source);
}

// ------------------------------------------------------------------ window events

void GLibEventLoop::AddTimer(MessageWindow* window, uint32_t id, uint32_t periodMs) {
  RemoveTimer(window, id);
  // GLib counts the next period from the end of each dispatch, so ticks
  // missed while the loop was busy do not pile up.
  GSource* source = g_timeout_source_new(periodMs ? periodMs : 1);
  g_source_set_callback(source, Glue::WindowTimer, new WindowTimerTarget{this, window, id},
                        Glue::FreeWindowTimer);
  g_source_set_priority(source, kWindowTimerPriority);
  g_source_set_can_recurse(source, TRUE);
  g_source_attach(source, context_);
  timers_[{window, id}] = source;
}

void GLibEventLoop::RemoveTimer(MessageWindow* window, uint32_t id) {
  auto it = timers_.find({window, id});
  if (it == timers_.end()) return;
  GSource* source = it->second;
  timers_.erase(it);
  DestroySource(source);
}

void GLibEventLoop::Post(MessageWindow* window, uint32_t command) {
  commands_.emplace_back(window, command);
  g_main_context_wakeup(context_);
}

void GLibEventLoop::Forget(MessageWindow* window) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (it->first.first != window) {
      ++it;
      continue;
    }
    GSource* source = it->second;
    it = timers_.erase(it);
    DestroySource(source);
  }
  for (auto it = commands_.begin(); it != commands_.end();) {
    it = it->first == window ? commands_.erase(it) : std::next(it);
  }
}

}  // namespace tarvex
