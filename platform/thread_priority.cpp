#include "platform/thread_priority.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

bool RunThisThreadAtIdlePriority() {
  sched_param param{};
  if (sched_setscheduler(0, SCHED_IDLE, &param) == 0) return true;
  // A nice level set for a thread id applies to that thread alone on Linux.
  return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19) == 0;
}

void RunThisThreadAtNormalPriority() {
  sched_param param{};
  sched_setscheduler(0, SCHED_OTHER, &param);
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 0);
}

}  // namespace platform
