#include "scan/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

void LowerThreadPriority() {
  // On Linux a thread's id names that thread alone to setpriority().
  const auto self = static_cast<id_t>(::gettid());
  errno = 0;
  const int now = ::getpriority(PRIO_PROCESS, self);
  if (now == -1 && errno != 0) return;
  // Ten steps: the thread then gets about a tenth of the share of one at
  // the process's own level when both want the processor.
  ::setpriority(PRIO_PROCESS, self, std::min(now + 10, 19));
}
