#include "platform/memory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace tarvex {
namespace {

size_t heapReserve = 0;

}  // namespace

void PreferLargePages(size_t heap_reserve) {
  heapReserve = heap_reserve;
  // Blocks below the threshold come from the heap, the reserve itself included.
  const int threshold = static_cast<int>(4 * heap_reserve);
  mallopt(M_MMAP_THRESHOLD, threshold);
  mallopt(M_TRIM_THRESHOLD, threshold);
  mallopt(M_TOP_PAD, static_cast<int>(heap_reserve));
  // One large allocation extends the heap by the whole reserve, which stays
  // after it is freed; only pages that are touched are ever backed.
  void* first = std::malloc(heap_reserve);
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  const uintptr_t start = (reinterpret_cast<uintptr_t>(first) + kHugePage - 1) & ~(kHugePage - 1);
  const auto end = reinterpret_cast<uintptr_t>(sbrk(0)) & ~(kHugePage - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
  std::free(first);
}

void MapBlocksFrom(size_t size) { mallopt(M_MMAP_THRESHOLD, static_cast<int>(size)); }

void ReturnFreeMemory(size_t above) {
  if (mallinfo2().fordblks > heapReserve + above) malloc_trim(0);
}

}  // namespace tarvex
