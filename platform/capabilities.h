// Giving up root's powers that a picture server never needs.
#pragma once

#include <vector>

namespace platform {

// The capabilities the server gives up at start: taking over and changing other users'
// files, reading past file permissions, tracing processes, changing identity, loading
// kernel modules, setting the clock, rebooting, and writing to the audit and security logs.
const std::vector<int>& ServerDroppedCapabilities();

// Removes each capability from the bounding, inheritable, permitted and effective sets, so
// neither this process nor anything it runs can hold it again. Returns 0, or the error
// number of the first step that failed; the other steps are still taken (an unprivileged
// process has nothing to drop, and its failures are harmless).
int DropCapabilities(const std::vector<int>& capabilities);

}  // namespace platform
