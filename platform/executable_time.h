// The last-write time of the running program's own file, the date its built-in resources carry.
#pragma once

#include <cstdint>

namespace platform {

// Seconds since 1970-01-01 UTC of the last write of the running executable, read through
// /proc/self/exe (which names the file this process was started from even after it has been
// replaced on disk). False when it cannot be read.
bool ExecutableWriteTime(int64_t* seconds);

}  // namespace platform
