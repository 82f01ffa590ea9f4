#include "scan/DiskKind.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "scan/Mounts.h"

namespace fs = std::filesystem;

namespace {

// Mapped devices over loop devices over files end somewhere; a cycle in a
// made-up tree must not recurse for ever.
constexpr int kMostDepth = 8;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

bool ContainsAny(const std::string& text, std::initializer_list<std::string_view> words) {
  return std::any_of(words.begin(), words.end(),
                     [&text](std::string_view word) { return text.find(word) != text.npos; });
}

// Disk drivers of virtual machines and flash: their "disk" answers many
// requests at once whatever `rotational` says (a host often leaves it at 1).
bool IsParallelDriver(const std::string& driver) {
  static constexpr std::array<std::string_view, 11> kDrivers = {
      "virtio_blk", "virtio_scsi", "virtio-pci", "vbd",    "xen-blkfront", "vmw_pvscsi",
      "hv_storvsc", "storvsc",     "nvme",       "mmcblk", "iscsi_tcp"};
  return std::find(kDrivers.begin(), kDrivers.end(), driver) != kDrivers.end();
}

std::string DriverOf(const fs::path& device) {
  std::error_code error;
  const fs::path driver = fs::read_symlink(device / "driver", error);
  return error ? std::string() : driver.filename().string();
}

// Whether the disk at `disk` (its folder under devices/) is made up by a
// virtual machine's host or reached over a network: the drivers on its way
// up to the bus, its place in the tree, its vendor and model.
bool IsVirtualHardware(const fs::path& disk, const fs::path& devices) {
  const std::string where = Lower(disk.string().substr(devices.string().size()));
  if (ContainsAny(where, {"/virtio", "/vmbus", "/xen", "/vbd-", "/session"})) return true;
  for (fs::path up = disk.parent_path(); up.string().size() > devices.string().size();
       up = up.parent_path()) {
    if (IsParallelDriver(DriverOf(up))) return true;
  }
  const std::string names =
      Lower(FirstLine(disk / "device" / "vendor") + " " + FirstLine(disk / "device" / "model"));
  return ContainsAny(names, {"qemu", "vbox", "virtual", "vmware", "msft", "xen", "bochs", "google",
                             "amazon", "lio-org"});
}

DiskKind KindOfPath(const std::string& path, const std::string& sysRoot, int depth);

// The kind of the device whose folder under devices/ is `node` (a disk or a
// partition).
DiskKind KindOfNode(fs::path node, const fs::path& devices, const std::string& sysRoot, int depth) {
  std::error_code error;
  if (depth > kMostDepth) return DiskKind::Unknown;
  // A partition has no queue of its own; its disk is the folder above.
  if (fs::exists(node / "partition", error)) node = node.parent_path();
  // Mapped (LVM, encryption) and RAID devices spin when one of the disks
  // they are made of spins.
  DiskKind made = DiskKind::Unknown;
  bool composed = false;
  for (const auto& slave : fs::directory_iterator(node / "slaves", error)) {
    composed = true;
    const fs::path target = fs::canonical(slave.path(), error);
    if (error) continue;
    const DiskKind kind = KindOfNode(target, devices, sysRoot, depth + 1);
    if (kind == DiskKind::Spinning) return kind;
    if (kind == DiskKind::Parallel) made = kind;
  }
  if (composed) return made;
  // A loop device is as its backing file's disk.
  const std::string backing = FirstLine(node / "loop" / "backing_file");
  if (!backing.empty()) return KindOfPath(backing, sysRoot, depth + 1);
  // zram, RAM disks, network block devices: no disk under them.
  if (node.string().find("/devices/virtual/") != std::string::npos) return DiskKind::Parallel;
  std::ifstream in(node / "queue" / "rotational");
  int rotational = 0;
  if (!(in >> rotational)) return DiskKind::Unknown;
  if (rotational == 0 || IsVirtualHardware(node, devices)) return DiskKind::Parallel;
  return DiskKind::Spinning;
}

DiskKind KindOfBlock(const std::string& sysRoot, unsigned major, unsigned minor, int depth) {
  std::error_code error;
  const fs::path devices = fs::canonical(fs::path(sysRoot) / "devices", error);
  if (error) return DiskKind::Unknown;
  const fs::path node = fs::canonical(
      fs::path(sysRoot) / "dev" / "block" / (std::to_string(major) + ":" + std::to_string(minor)),
      error);
  if (error) return DiskKind::Unknown;
  return KindOfNode(node, devices, sysRoot, depth);
}

// File systems with no single local disk under them: over the network, in
// memory, in a user-space program or stacked over others.
bool IsParallelFileSystem(const std::string& type) {
  static constexpr std::array<std::string_view, 15> kTypes = {
      "nfs",       "nfs4",   "cifs", "smb3",  "smbfs", "9p",      "virtiofs", "ceph",
      "glusterfs", "lustre", "afs",  "tmpfs", "ramfs", "overlay", "gpfs"};
  if (type.rfind("fuse", 0) == 0) return true;  // fuse.sshfs, fuseblk and the like
  return std::find(kTypes.begin(), kTypes.end(), type) != kTypes.end();
}

DiskKind KindOfPath(const std::string& path, const std::string& sysRoot, int depth) {
  struct stat st;
  if (::stat(path.empty() ? "." : path.c_str(), &st) != 0) return DiskKind::Unknown;
  if (::major(st.st_dev) != 0) {
    const DiskKind kind = KindOfBlock(sysRoot, ::major(st.st_dev), ::minor(st.st_dev), depth);
    if (kind != DiskKind::Unknown) return kind;
  }
  for (const MountInfo& mount : ReadMounts()) {
    if (mount.device != st.st_dev) continue;
    if (IsParallelFileSystem(mount.fsType)) return DiskKind::Parallel;
    // A file system over several devices (btrfs, zfs) carries a number of
    // its own; its source names the device.
    struct stat source;
    if (mount.source.rfind("/dev/", 0) == 0 && ::stat(mount.source.c_str(), &source) == 0 &&
        S_ISBLK(source.st_mode)) {
      return KindOfBlock(sysRoot, ::major(source.st_rdev), ::minor(source.st_rdev), depth);
    }
    return DiskKind::Unknown;
  }
  return DiskKind::Unknown;
}

}  // namespace

DiskKind DiskKindOf(const std::string& path) {
  return KindOfPath(path, "/sys", 0);
}

DiskKind BlockDeviceKind(const std::string& sysRoot, unsigned major, unsigned minor) {
  return KindOfBlock(sysRoot, major, minor, 0);
}
