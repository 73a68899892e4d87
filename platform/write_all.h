// Writing a whole buffer to a file descriptor, across short writes and interrupted calls.
#pragma once

#include <string_view>

namespace platform {

// False when a write fails or the file takes no more bytes (a full disk, a size limit).
bool WriteAll(int fd, std::string_view bytes);

}  // namespace platform
