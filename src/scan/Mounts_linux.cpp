#include "scan/Mounts.h"

#include <sys/sysmacros.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

// mountinfo writes blanks, tabs, newlines and backslashes as \ooo.
std::string Unescape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3') {
      out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                               (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

bool IsPseudoFileSystem(const std::string& fsType) {
  static constexpr std::array<std::string_view, 22> kPseudo = {
      "proc",       "sysfs",     "devtmpfs",   "devpts",      "cgroup", "cgroup2",
      "debugfs",    "tracefs",   "securityfs", "pstore",      "bpf",    "configfs",
      "mqueue",     "hugetlbfs", "fusectl",    "binfmt_misc", "autofs", "efivarfs",
      "rpc_pipefs", "nsfs",      "selinuxfs",  "nfsd"};
  for (auto name : kPseudo) {
    if (fsType == name) return true;
  }
  return false;
}

bool IsRealDisk(const MountInfo& mount, bool removableDevice, DiskType& type) {
  static constexpr std::array<std::string_view, 18> kNetwork = {
      "nfs",       "nfs4",        "cifs",       "smb3",  "smbfs",
      "ncpfs",     "afs",         "ceph",       "9p",    "glusterfs",
      "lustre",    "davfs",       "fuse.sshfs", "sshfs", "fuse.glusterfs",
      "fuse.s3fs", "fuse.rclone", "fuse.davfs2"};
  const std::string& fs = mount.fsType;
  const auto startsWith = [](const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
  };
  if (IsPseudoFileSystem(fs)) return false;
  if (std::find(kNetwork.begin(), kNetwork.end(), fs) != kNetwork.end()) {
    type = DiskType::Network;
  } else if (mount.mountPoint == "/") {
    type = DiskType::Fixed;  // whatever it is (an overlay in a container), the root is there
  } else if (fs == "tmpfs" || fs == "ramfs") {
    return false;  // memory, gone at the next start
  } else if (fs == "iso9660" || fs == "udf") {
    type = DiskType::CD;
  } else if (fs == "squashfs" || !startsWith(mount.source, "/dev/")) {
    return false;  // read-only images and file systems with no disk of their own
  } else if (removableDevice || startsWith(mount.mountPoint, "/media/") ||
             startsWith(mount.mountPoint, "/run/media/")) {
    type = DiskType::Removable;
  } else {
    type = DiskType::Fixed;
  }
  return true;
}

std::vector<MountInfo> ReadMounts() {
  std::vector<MountInfo> mounts;
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  while (std::getline(in, line)) {
    // id parent major:minor root mount-point options [optional...] - type source super-options
    std::istringstream fields(line);
    std::string id, parent, devText, root, mountPoint, options;
    if (!(fields >> id >> parent >> devText >> root >> mountPoint >> options)) continue;
    std::string word;
    while (fields >> word && word != "-") {
    }
    MountInfo info;
    if (!(fields >> info.fsType)) continue;
    fields >> info.source;
    info.mountPoint = Unescape(mountPoint);
    info.source = Unescape(info.source);
    const auto colon = devText.find(':');
    if (colon != std::string::npos && colon > 0 && colon + 1 < devText.size() &&
        devText.find_first_not_of("0123456789:") == std::string::npos) {
      const unsigned major = static_cast<unsigned>(std::stoul(devText.substr(0, colon)));
      const unsigned minor = static_cast<unsigned>(std::stoul(devText.substr(colon + 1)));
      info.device = makedev(major, minor);
    }
    info.pseudo = IsPseudoFileSystem(info.fsType);
    mounts.push_back(std::move(info));
  }
  return mounts;
}
