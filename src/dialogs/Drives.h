#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "scan/Mounts.h"

// What the directory chooser and the start page need of the operating
// system: the disks that the user can pick, their space, and the process's
// current folder. One file per platform implements this (Drives_linux.cpp).

using TDriveKind = DiskType;

struct TDriveInfo {
  QString mountPoint;
  TDriveKind kind = TDriveKind::Fixed;
  QString label;   // volume label, empty when it has none
  QString source;  // device or network source ("server:/export", "//server/share")
};

// The real disks mounted now (IsRealDisk): "/" first, then the others by
// mount point; a mount point that is mounted over is listed once, and not at
// all when what covers it is no disk.
std::vector<TDriveInfo> ListDrives();

// The space of a file system, in bytes.
struct TDiskSpace {
  std::uint64_t total = 0;
  std::uint64_t used = 0;
  std::uint64_t available = 0;  // what an ordinary user may still fill
};

// The space of the file system mounted at `mountPoint`; false when it cannot
// be read. Not for a network disk on the interface thread: a dead server
// would hold the window.
bool ReadDiskSpace(const QString& mountPoint, TDiskSpace& space);

// Makes `folder` the process's current folder; 0 or the system's error number.
int ChangeCurrentFolder(const QString& folder);
// The process's current folder.
QString CurrentFolder();
