// Scheduling of the calling thread.
#pragma once

namespace platform {

// Lets the calling thread run only when nothing else wants the processor (SCHED_IDLE; where
// that is refused, the lowest nice level). True when either took effect.
bool RunThisThreadAtIdlePriority();
// Back to the normal policy and nice level 0 (or as near as the system allows).
void RunThisThreadAtNormalPriority();

}  // namespace platform
