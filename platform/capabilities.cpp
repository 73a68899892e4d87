#include "platform/capabilities.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace platform {

const std::vector<int>& ServerDroppedCapabilities() {
  static const std::vector<int> capabilities = {
      CAP_CHOWN,           CAP_FOWNER,       CAP_SYS_PTRACE, CAP_SETUID,
      CAP_SETGID,          CAP_MAC_ADMIN,    CAP_SYS_MODULE, CAP_SYS_TIME,
      CAP_DAC_READ_SEARCH, CAP_DAC_OVERRIDE, CAP_SYS_BOOT,   CAP_AUDIT_WRITE,
  };
  return capabilities;
}

int DropCapabilities(const std::vector<int>& capabilities) {
  int first_error = 0;
  // The bounding set first: removing a capability from it needs CAP_SETPCAP, which the
  // permitted set still holds at this point.
  for (int capability : capabilities) {
    if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && first_error == 0) first_error = errno;
  }
  __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, data) != 0) return first_error != 0 ? first_error : errno;
  for (int capability : capabilities) {
    uint32_t bit = 1u << (capability % 32);
    __user_cap_data_struct& word = data[capability / 32];
    word.effective &= ~bit;
    word.permitted &= ~bit;
    word.inheritable &= ~bit;
  }
  // Clearing a capability from the permitted set also clears it from the ambient set.
  if (syscall(SYS_capset, &header, data) != 0 && first_error == 0) first_error = errno;
  return first_error;
}

}  // namespace platform
