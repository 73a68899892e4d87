// Scheduling of the calling thread.
#pragma once

namespace platform {

// Lets the calling thread run only when nothing else wants the processor (SCHED_IDLE; where
// that is refused, the lowest nice level). True when either took effect.
bool RunThisThreadAtIdlePriority();

}  // namespace platform
