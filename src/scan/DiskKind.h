#pragma once

#include <string>

// How the storage under a folder answers requests, which decides how many
// folders are worth reading at once. One file per platform implements this
// (DiskKind_linux.cpp).
enum class DiskKind {
  Unknown,   // the system does not say
  Spinning,  // a real disk with moving heads: requests in parallel make them jump
  Parallel,  // flash, a virtual machine's disk, memory, a network or user-space file system
};

// The kind of storage the folder lies on.
DiskKind DiskKindOf(const std::string& path);

// The kind of the block device major:minor, read from the device tree under
// `sysRoot` ("/sys" on a running system). A partition counts as its disk, a
// mapped or RAID device as the devices it is made of.
DiskKind BlockDeviceKind(const std::string& sysRoot, unsigned major, unsigned minor);
