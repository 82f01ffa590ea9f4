#include <sys/statvfs.h>
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

std::vector<TDriveInfo> ListDrives() {
  std::map<QString, TDriveInfo> byMountPoint;
  std::map<QString, QString> labels;
  bool labelsRead = false;
  for (const MountInfo& mount : ReadMounts()) {
    const QString mountPoint = QString::fromStdString(mount.mountPoint);
    const QString source = QString::fromStdString(mount.source);
    TDriveInfo info;
    if (!IsRealDisk(mount, IsRemovableDevice(mount.device), info.kind)) {
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

bool ReadDiskSpace(const QString& mountPoint, TDiskSpace& space) {
  struct statvfs fs {};
  if (::statvfs(QFile::encodeName(mountPoint).constData(), &fs) != 0) return false;
  const std::uint64_t unit = fs.f_frsize ? fs.f_frsize : fs.f_bsize;
  space.total = std::uint64_t{fs.f_blocks} * unit;
  space.used = std::uint64_t{fs.f_blocks - fs.f_bfree} * unit;
  space.available = std::uint64_t{fs.f_bavail} * unit;
  return true;
}

int ChangeCurrentFolder(const QString& folder) {
  if (::chdir(QFile::encodeName(folder).constData()) != 0) return errno;
  return 0;
}

QString CurrentFolder() {
  return QDir::currentPath();
}
