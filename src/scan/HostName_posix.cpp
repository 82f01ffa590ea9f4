#include "scan/HostName.h"

#include <unistd.h>

#include <climits>
#include <cstring>

std::string HostName() {
  // One more than the longest name, so a name cut short still ends.
  char name[HOST_NAME_MAX + 2] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return std::string(name, ::strnlen(name, sizeof name - 1));
}
