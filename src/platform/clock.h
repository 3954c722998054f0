// The system's notion of "now": signed 32-bit seconds since 1970, as stored in
// the word database. Core code receives a Clock so tests and reproducible
// command-line runs can fix the time.
#ifndef TARVEX_PLATFORM_CLOCK_H_
#define TARVEX_PLATFORM_CLOCK_H_

#include <cstdint>

namespace tarvex {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual int32_t Now() const = 0;
};

// The wall clock.
class SystemClock : public Clock {
 public:
  int32_t Now() const override;
};

// A clock that stands still until it is told otherwise.
class ManualClock : public Clock {
 public:
  explicit ManualClock(int32_t now) : now_(now) {}
  int32_t Now() const override { return now_; }
  void Set(int32_t now) { now_ = now; }
  void Advance(int32_t seconds) { now_ += seconds; }

 private:
  int32_t now_;
};

}  // namespace tarvex

#endif  // TARVEX_PLATFORM_CLOCK_H_
