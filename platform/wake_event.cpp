#include "platform/wake_event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

WakeEvent::WakeEvent() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeEvent::~WakeEvent() {
  if (fd_ >= 0) close(fd_);
}

void WakeEvent::Signal() {
  if (raised_.exchange(true)) return;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
}

void WakeEvent::Clear() {
  uint64_t value;
  [[maybe_unused]] ssize_t n = read(fd_, &value, sizeof value);
  // Lowered only after the read: a raise between the two is skipped, and its work is taken
  // up by the caller, which looks for work after Clear. A raise after this writes again.
  raised_.store(false);
}

}  // namespace platform
