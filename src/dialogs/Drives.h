#pragma once

#include <QString>
#include <vector>

// What the directory chooser needs of the operating system: the mounted file
// systems that the user can pick, and the process's current folder. One file
// per platform implements this (Drives_linux.cpp).

enum class TDriveKind { Removable, Fixed, Network, CD, RamDisk };

struct TDriveInfo {
  QString mountPoint;
  TDriveKind kind = TDriveKind::Fixed;
  QString label;   // volume label, empty when it has none
  QString source;  // device or network source ("server:/export", "//server/share")
};

// The kind of a mounted file system, or false for kinds the chooser leaves
// out (kernel pseudo file systems, images, overlays of containers).
bool ClassifyMount(const QString& fsType, const QString& source, const QString& mountPoint,
                   bool removableDevice, TDriveKind& kind);

// The drives to offer: "/" first, then the others by mount point; a mount
// point that is mounted over is listed once.
std::vector<TDriveInfo> ListDrives();

// Makes `folder` the process's current folder; 0 or the system's error number.
int ChangeCurrentFolder(const QString& folder);
// The process's current folder.
QString CurrentFolder();
