#include "scan/ThreadWaits.h"

#include <sys/resource.h>

ThreadWaitCounts ThreadWaits() {
  struct rusage usage;
  if (::getrusage(RUSAGE_THREAD, &usage) != 0) return {};
  ThreadWaitCounts counts;
  if (usage.ru_nvcsw > 0) counts.sleeps = static_cast<std::uint64_t>(usage.ru_nvcsw);
  if (usage.ru_inblock > 0) counts.blocksRead = static_cast<std::uint64_t>(usage.ru_inblock);
  return counts;
}
