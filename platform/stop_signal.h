// SIGINT and SIGTERM as a request to stop, for loops that look at it between turns.
#pragma once

namespace platform {

// From now on SIGINT and SIGTERM raise the stop flag instead of ending the process. A wait
// in progress (poll, sleep) returns early when one arrives.
void CatchStopSignals();
bool StopSignalled();

}  // namespace platform
