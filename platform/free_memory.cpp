#include "platform/free_memory.h"

#include <malloc.h>

namespace platform {

void LimitRetainedMemory() {
  constexpr int kLargestHeapBlock = 32 << 20;  // glibc's own upper bound for the heaps
  constexpr int kRetainedHeapEnd = 4 << 20;
  mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
  mallopt(M_TRIM_THRESHOLD, kRetainedHeapEnd);
}

void ReturnFreeMemory() {
  malloc_trim(0);
}

}  // namespace platform
