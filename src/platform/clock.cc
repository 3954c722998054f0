#include "platform/clock.h"

#include <ctime>

namespace tarvex {

int32_t SystemClock::Now() const { return static_cast<int32_t>(std::time(nullptr)); }

}  // namespace tarvex
