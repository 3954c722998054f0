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

// For a long-running process that meets the odd very large block (a large
// message): blocks of `size` bytes or more get mappings of their own, given
// back as soon as they are freed, so that they never leave the heap that
// large.
void MapBlocksFrom(size_t size);

// Gives the heap's free memory back to the system when more than `above`
// bytes of it lie unused beyond the reserve PreferLargePages keeps, as after
// judging a large message: a long-running process returns to its usual size.
void ReturnFreeMemory(size_t above);

}  // namespace tarvex

#endif  // TARVEX_PLATFORM_MEMORY_H_
