// The daemon's event loop: GLib's main loop on a context of its own. Besides
// the hidden window's timers and commands it watches descriptors, runs
// periodic ticks and turns signals into callbacks, all on the thread that
// runs it, one at a time.
//
// Window timers behave like Win32 window timers: a timer that came due while
// the loop was busy ticks once, not once per period missed, and setting a
// timer of a window again under the same id replaces it (its countdown
// starts over). Posted commands are delivered in the order posted, one per
// turn of the loop; window timers tick only in a turn where no command and
// no other source is ready, as WM_TIMER comes only to an empty queue.
//
// A callback that throws ends Run, which throws the exception on to its
// caller; the exception never crosses GLib's C frames.
//
// Everything but Quit is called on the thread that runs the loop (or before
// it runs). The loop owns the sources it made and removes them when it is
// destroyed; it must outlive the windows made on it.
#ifndef TARVEX_PLATFORM_GLIB_EVENT_LOOP_H_
#define TARVEX_PLATFORM_GLIB_EVENT_LOOP_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <utility>

#include "platform/event_loop.h"

typedef struct _GMainContext GMainContext;
typedef struct _GSource GSource;

namespace tarvex {

class GLibEventLoop : public EventLoop {
 public:
  using Callback = std::function<void()>;

  GLibEventLoop();
  // Runs on context (holding a reference to it) rather than on a context of
  // its own; on GLib's default context its sources are served by whatever
  // else iterates that context too, such as a toolkit's own event loop.
  explicit GLibEventLoop(GMainContext* context);
  ~GLibEventLoop() override;
  GLibEventLoop(const GLibEventLoop&) = delete;
  GLibEventLoop& operator=(const GLibEventLoop&) = delete;

  // Delivers events until Quit; then throws what a callback threw, if one
  // did. A Quit while no Run is going ends the next Run before it delivers
  // anything.
  void Run();
  // Ends Run. Safe from any thread; from a signal, call it in an OnSignal
  // handler (which runs on the loop), not in a raw signal handler.
  void Quit();

  // The ids returned below are for RemoveSource; none is 0.

  // Calls onReadable whenever fd is readable, hung up or in error, until
  // the source is removed; so remove it before closing fd.
  unsigned WatchReadable(int fd, Callback onReadable);
  // Calls tick every periodMs (at least 1) until the source is removed.
  unsigned Every(uint32_t periodMs, Callback tick);
  // Calls handler on the loop after signum arrived (once however often it
  // arrived meanwhile). GLib takes the signal's disposition over until the
  // source is removed. SIGHUP, SIGINT, SIGTERM, SIGUSR1, SIGUSR2 and
  // SIGWINCH only; others throw std::invalid_argument.
  unsigned OnSignal(int signum, Callback handler);
  // Removes a source made above; an id already removed (or never made) is
  // ignored. A callback may remove its own source.
  void RemoveSource(unsigned id);

 protected:
  void AddTimer(MessageWindow* window, uint32_t id, uint32_t periodMs) override;
  void RemoveTimer(MessageWindow* window, uint32_t id) override;
  void Post(MessageWindow* window, uint32_t command) override;
  void Forget(MessageWindow* window) override;

 private:
  // The functions GLib calls back, which hand over to the loop.
  struct Glue;

  // Attaches source (taking over the caller's reference) and keeps it.
  unsigned Own(GSource* source);
  // Runs a callback at the C boundary: an exception is kept for Run, and
  // ends it.
  void Guarded(const std::function<void()>& call) noexcept;

  GMainContext* context_;
  GSource* commands_source_;
  std::deque<std::pair<MessageWindow*, uint32_t>> commands_;
  std::map<std::pair<const MessageWindow*, uint32_t>, GSource*> timers_;
  std::map<unsigned, GSource*> sources_;  // made by WatchReadable, Every and OnSignal
  std::atomic<bool> quit_{false};
  std::exception_ptr failure_;
};

}  // namespace tarvex

#endif  // TARVEX_PLATFORM_GLIB_EVENT_LOOP_H_
