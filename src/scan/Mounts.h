#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The mounted file systems. One file per platform implements this
// (Mounts_linux.cpp).
struct MountInfo {
  std::string mountPoint;
  std::string fsType;
  std::string source;        // device or network source
  std::uint64_t device = 0;  // the device number its files carry
  bool pseudo = false;       // a kernel file system with no files of the user's
};

std::vector<MountInfo> ReadMounts();

// proc, sysfs, devtmpfs, cgroup and their like.
bool IsPseudoFileSystem(const std::string& fsType);
