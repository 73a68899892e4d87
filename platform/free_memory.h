// Giving memory that the program has freed back to the system.
#pragma once

namespace platform {

// Returns the free pages of the allocator's heaps to the system, so that memory freed in
// many small blocks stops counting as resident. Costs a walk over the heaps: call it after a
// large structure has been freed, not on every turn.
void ReturnFreeMemory();

}  // namespace platform
