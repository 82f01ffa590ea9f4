#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <map>

#include "dialogs/Drives.h"
#include "scan/Mounts.h"

namespace {

// /dev/disk/by-label writes blanks and other awkward characters as \xHH.
QString DecodeLabel(const QString& name) {
  QByteArray out;
  const QByteArray raw = name.toUtf8();
  for (int i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 3 < raw.size() && raw[i + 1] == 'x') {
      bool ok = false;
      const int value = raw.mid(i + 2, 2).toInt(&ok, 16);
      if (ok) {
        out += static_cast<char>(value);
        i += 3;
        continue;
      }
    }
    out += raw[i];
  }
  return QString::fromUtf8(out);
}

// Labels by the device they belong to. Read from the links the system keeps,
// so no mounted file system is ever touched (a dead network mount would hang).
std::map<QString, QString> LabelsByDevice() {
  std::map<QString, QString> labels;
  const QDir dir(QStringLiteral("/dev/disk/by-label"));
  for (const QFileInfo& link :
       dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
    const QString device = link.canonicalFilePath();
    if (!device.isEmpty()) labels[device] = DecodeLabel(link.fileName());
  }
  return labels;
}

bool IsRemovableDevice(std::uint64_t device) {
  if (device == 0) return false;
  const QString base = QStringLiteral("/sys/dev/block/%1:%2").arg(major(device)).arg(minor(device));
  // A partition has no "removable" of its own; its disk is the folder above.
  for (const QString& candidate : {base + "/removable", base + "/../removable"}) {
    QFile file(candidate);
    if (file.open(QIODevice::ReadOnly)) return file.readAll().trimmed() == "1";
  }
  return false;
}

}  // namespace

bool ClassifyMount(const QString& fsType, const QString& source, const QString& mountPoint,
                   bool removableDevice, TDriveKind& kind) {
  static const QStringList network = {
      "nfs",       "nfs4",        "cifs",       "smb3",  "smbfs",
      "ncpfs",     "afs",         "ceph",       "9p",    "glusterfs",
      "lustre",    "davfs",       "fuse.sshfs", "sshfs", "fuse.glusterfs",
      "fuse.s3fs", "fuse.rclone", "fuse.davfs2"};
  if (IsPseudoFileSystem(fsType.toStdString())) return false;
  if (network.contains(fsType)) {
    kind = TDriveKind::Network;
  } else if (fsType == "iso9660" || fsType == "udf") {
    kind = TDriveKind::CD;
  } else if (fsType == "tmpfs" || fsType == "ramfs") {
    kind = TDriveKind::RamDisk;
  } else if (mountPoint == "/") {
    kind = TDriveKind::Fixed;  // whatever it is (an overlay in a container), the root is there
  } else if (fsType == "squashfs" || !source.startsWith("/dev/")) {
    return false;  // read-only images and file systems with no disk of their own
  } else if (removableDevice || mountPoint.startsWith("/media/") ||
             mountPoint.startsWith("/run/media/")) {
    kind = TDriveKind::Removable;
  } else {
    kind = TDriveKind::Fixed;
  }
  return true;
}

std::vector<TDriveInfo> ListDrives() {
  std::map<QString, TDriveInfo> byMountPoint;
  std::map<QString, QString> labels;
  bool labelsRead = false;
  for (const MountInfo& mount : ReadMounts()) {
    const QString mountPoint = QString::fromStdString(mount.mountPoint);
    const QString fsType = QString::fromStdString(mount.fsType);
    const QString source = QString::fromStdString(mount.source);
    TDriveInfo info;
    if (!ClassifyMount(fsType, source, mountPoint, IsRemovableDevice(mount.device), info.kind)) {
      byMountPoint.erase(mountPoint);  // mounted over by something not listed
      continue;
    }
    info.mountPoint = mountPoint;
    info.source = source;
    if (info.kind != TDriveKind::Network && source.startsWith("/dev/")) {
      if (!labelsRead) {
        labels = LabelsByDevice();
        labelsRead = true;
      }
      const auto found = labels.find(QFileInfo(source).canonicalFilePath());
      if (found != labels.end()) info.label = found->second;
    }
    byMountPoint[mountPoint] = info;  // a later mount hides an earlier one
  }
  if (byMountPoint.find("/") == byMountPoint.end()) {
    TDriveInfo root;
    root.mountPoint = "/";
    byMountPoint["/"] = root;
  }
  std::vector<TDriveInfo> drives;
  drives.push_back(byMountPoint["/"]);
  for (const auto& [mountPoint, info] : byMountPoint) {
    if (mountPoint != "/") drives.push_back(info);
  }
  return drives;
}

int ChangeCurrentFolder(const QString& folder) {
  if (::chdir(QFile::encodeName(folder).constData()) != 0) return errno;
  return 0;
}

QString CurrentFolder() {
  return QDir::currentPath();
}
