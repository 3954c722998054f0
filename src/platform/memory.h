// Process-wide memory tuning for short, allocation-heavy runs.
#ifndef TARVEX_PLATFORM_MEMORY_H_
#define TARVEX_PLATFORM_MEMORY_H_

#include <cstddef>

namespace tarvex {

// Loading and saving the word database touches tens of megabytes of fresh
// memory, and on virtual machines the page faults cost more than the work
// itself. This keeps large blocks on the heap so freed ones are reused, grows
// the heap in one step of `heap_reserve` bytes and asks the kernel to back it
// with huge pages where it allows that. Call once, first thing in main.
void PreferLargePages(size_t heap_reserve);

}  // namespace tarvex

#endif  // TARVEX_PLATFORM_MEMORY_H_
