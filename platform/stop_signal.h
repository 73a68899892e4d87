// SIGINT, SIGTERM and SIGHUP as a request to stop, for loops that look at it between turns.
#pragma once

namespace platform {

// From now on SIGINT (Ctrl-C), SIGTERM (systemd's stop, kill) and SIGHUP (the terminal or
// the session went away) raise the stop flag instead of ending the process, so the server
// stops cleanly. A wait in progress (poll, sleep) returns early when one arrives.
void CatchStopSignals();
bool StopSignalled();

}  // namespace platform
