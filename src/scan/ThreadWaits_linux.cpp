#include "scan/ThreadWaits.h"

#include <sys/resource.h>

std::uint64_t ThreadWaits() {
  struct rusage usage;
  if (::getrusage(RUSAGE_THREAD, &usage) != 0 || usage.ru_nvcsw < 0) return 0;
  return static_cast<std::uint64_t>(usage.ru_nvcsw);
}
