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

// What a person would call a disk, by what holds its files.
enum class DiskType { Fixed, Removable, Network, CD };

// Whether a mounted file system is a disk a person would look at or scan,
// and which kind: not a kernel pseudo file system, not memory (tmpfs,
// ramfs: /dev/shm, /run, a sandbox's scratch space), not a read-only image
// (squashfs snaps) and not an overlay or anything else without a disk of
// its own; "/" always is one. `removableDevice`: its device says it is.
bool IsRealDisk(const MountInfo& mount, bool removableDevice, DiskType& type);
