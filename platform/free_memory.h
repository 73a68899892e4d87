// Giving memory that the program has freed back to the system.
#pragma once

namespace platform {

// Sets the allocator up so that freed memory does not stay resident. glibc gives every
// thread that allocates its own heap, and keeps the free space at the end of each one for
// as long as it is below a threshold that grows with the largest block freed so far (up to
// 64 MiB per heap). A worker that has built and freed a large list, a scan result of
// 100 000 paths say, would keep that much resident for good. With a fixed threshold the end
// of a heap goes back once more than 4 MiB of it is free; blocks of up to 32 MiB still come
// from the heaps, where the growing threshold would have put them too. Call it first in
// main, before any thread starts.
void LimitRetainedMemory();

// Returns the free pages of the allocator's heaps to the system, so that memory freed in
// many small blocks stops counting as resident. Costs a walk over the heaps: call it after a
// large structure has been freed, not on every turn.
void ReturnFreeMemory();

}  // namespace platform
