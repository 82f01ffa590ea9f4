#include "scan/ScannedFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "scan/Mounts.h"

namespace {

// Reaching needs only search permission on the way: a folder that cannot
// be read can still be moved or deleted by its parent.
constexpr int kReachFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
constexpr int kListFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// The names in an open folder ("." and ".." left out), read whole before
// any is acted on: a listing changed while it is read may skip entries.
bool ListNames(int folder, std::vector<std::string>& names, int& error) {
  const int fd = ::openat(folder, ".", kListFlags);
  if (fd < 0) {
    error = errno;
    return false;
  }
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    error = errno;
    ::close(fd);
    return false;
  }
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    names.emplace_back(name);
  }
  error = errno;
  ::closedir(dir);
  return error == 0;
}

std::int64_t CountBelow(int folder) {
  std::vector<std::string> names;
  int error = 0;
  if (!ListNames(folder, names, error)) return -1;
  std::int64_t items = 0;
  for (const std::string& name : names) {
    ++items;
    struct stat st;
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) {
      continue;
    }
    const Fd child(::openat(folder, name.c_str(), kReachFlags | O_NOFOLLOW));
    if (child.Get() < 0) continue;
    const std::int64_t below = CountBelow(child.Get());
    if (below > 0) items += below;
  }
  return items;
}

struct Deleting {
  std::uint64_t device = 0;
  std::string failed;
  int error = 0;
  bool ok = true;

  void Fail(const std::string& what, int why) {
    if (ok) {
      failed = what;
      error = why;
    }
    ok = false;
  }

  // Everything in `folder`, whose path below the deleted folder is `below`.
  void Below(int folder, const std::string& below) {
    std::vector<std::string> names;
    int why = 0;
    if (!ListNames(folder, names, why)) {
      Fail(below, why);
      return;
    }
    for (const std::string& name : names) {
      const std::string path = below.empty() ? name : below + '/' + name;
      struct stat st;
      if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) Fail(path, errno);
        continue;
      }
      if (S_ISDIR(st.st_mode)) {
        if (st.st_dev != device) {
          Fail(path, EXDEV);
          continue;
        }
        {
          const Fd child(::openat(folder, name.c_str(), kReachFlags | O_NOFOLLOW));
          if (child.Get() < 0) {
            Fail(path, errno);
            continue;
          }
          Below(child.Get(), path);
        }
        if (::unlinkat(folder, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
          Fail(path, errno);
        }
      } else if (::unlinkat(folder, name.c_str(), 0) != 0 && errno != ENOENT) {
        Fail(path, errno);
      }
    }
  }
};

// The freedesktop trash's escaping of a path: everything but unreserved
// characters and "/" as %XX, so any bytes can be restored.
std::string PercentEncoded(const std::string& path) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : path) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

bool MakeFolder(const std::string& path, mode_t mode) {
  return ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

// Each part of `path` that is missing is made, owner only.
bool MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (!MakeFolder(path.substr(0, slash), 0700)) return false;
  }
  return MakeFolder(path, 0700);
}

std::string DataHome() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return data;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/share";
}

// A trash folder that another user cannot have put in place: a real
// folder of ours, reached without a link.
bool IsOwnFolder(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

struct Trash {
  std::string folder;  // holds files/ and info/
  std::string top;     // the disk's top folder, for a disk's own trash; empty for the home trash
};

// Where a folder on `device` goes: the home trash when it is on the same
// disk, else the disk's own, as the freedesktop trash lays them out.
bool FindTrash(std::uint64_t device, Trash& trash, std::string& why) {
  const std::string home = DataHome() + "/Trash";
  struct stat st;
  if (MakeFolders(DataHome()) && ::stat(DataHome().c_str(), &st) == 0 && st.st_dev == device) {
    trash = {home, {}};
    return true;
  }
  std::string top;
  for (const MountInfo& mount : ReadMounts()) {
    if (mount.device == device) top = mount.mountPoint;
  }
  if (top.empty()) {
    why = "no trash folder on its disk";
    return false;
  }
  const std::string uid = std::to_string(::getuid());
  const std::string base = top == "/" ? std::string() : top;
  // A shared ".Trash" counts only when it is a sticky folder, not a link.
  const std::string shared = base + "/.Trash";
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
      MakeFolder(shared + "/" + uid, 0700) && IsOwnFolder(shared + "/" + uid)) {
    trash = {shared + "/" + uid, top};
    return true;
  }
  const std::string own = base + "/.Trash-" + uid;
  if (MakeFolder(own, 0700) && IsOwnFolder(own)) {
    trash = {own, top};
    return true;
  }
  why = "no trash folder on its disk";
  return false;
}

std::string DeletionDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

}  // namespace

TScannedFolder::~TScannedFolder() {
  Close();
}

void TScannedFolder::Close() {
  if (parent_ >= 0) ::close(parent_);
  if (folder_ >= 0) ::close(folder_);
  parent_ = folder_ = -1;
}

TScannedFolder::Reach TScannedFolder::Open(const std::string& path, std::size_t startLength) {
  Close();
  path_ = path;
  name_.clear();
  error_ = 0;
  if (path.empty() || path.front() != '/') {
    error_ = ENOENT;
    return Reach::Missing;
  }
  std::vector<std::pair<std::size_t, std::size_t>> parts;  // offset and length of each name
  for (std::size_t at = 0; at < path.size();) {
    const std::size_t slash = path.find('/', at);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    if (end > at && path.compare(at, end - at, ".") != 0) parts.emplace_back(at, end - at);
    at = end + 1;
  }
  Fd at(::open("/", kReachFlags));
  if (at.Get() < 0 || parts.empty()) {
    error_ = at.Get() < 0 ? errno : EBUSY;  // "/" itself is never acted on
    return Reach::Failed;
  }
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const std::string name = path.substr(parts[k].first, parts[k].second);
    const bool last = k + 1 == parts.size();
    // Only the starting folder as given is followed, as the walk followed
    // it; never the folder acted on.
    const bool follow = !last && parts[k].first + parts[k].second <= startLength;
    const int fd = ::openat(at.Get(), name.c_str(), kReachFlags | (follow ? 0 : O_NOFOLLOW));
    if (fd < 0) {
      error_ = errno;
      if (error_ == ENOENT) return Reach::Missing;
      if (error_ == ELOOP || error_ == ENOTDIR) return Reach::Changed;
      return Reach::Failed;
    }
    if (last) {
      parent_ = at.Release();
      folder_ = fd;
      name_ = name;
    } else {
      at.Reset(fd);
    }
  }
  return Reach::Reached;
}

bool TScannedFolder::Identify(FolderId& id) const {
  struct stat st;
  if (folder_ < 0 || ::fstat(folder_, &st) != 0) return false;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  return true;
}

std::int64_t TScannedFolder::CountItems() const {
  return folder_ < 0 ? -1 : CountBelow(folder_);
}

bool TScannedFolder::Delete(std::string& failed, int& error) {
  FolderId id;
  if (!Identify(id)) {
    failed.clear();
    error = errno;
    return false;
  }
  Deleting deleting;
  deleting.device = id.device;
  deleting.Below(folder_, {});
  // The name still stands for the folder emptied: removed only then.
  struct stat st;
  if (::fstatat(parent_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    deleting.Fail({}, errno);
  } else if (st.st_dev != id.device || st.st_ino != id.inode) {
    deleting.Fail({}, ESTALE);
  } else if (deleting.ok && ::unlinkat(parent_, name_.c_str(), AT_REMOVEDIR) != 0) {
    deleting.Fail({}, errno);
  }
  failed = deleting.failed;
  error = deleting.error;
  return deleting.ok;
}

bool TScannedFolder::MoveToTrash(std::string& why) {
  FolderId id;
  if (!Identify(id)) {
    why = std::strerror(error_ = errno);
    return false;
  }
  Trash trash;
  if (!FindTrash(id.device, trash, why)) return false;
  if (!MakeFolders(trash.folder + "/files") || !MakeFolders(trash.folder + "/info")) {
    why = std::strerror(error_ = errno);
    return false;
  }
  const Fd files(::open((trash.folder + "/files").c_str(), kReachFlags | O_NOFOLLOW));
  const Fd info(::open((trash.folder + "/info").c_str(), kReachFlags | O_NOFOLLOW));
  if (files.Get() < 0 || info.Get() < 0) {
    why = std::strerror(error_ = errno);
    return false;
  }
  // A disk's own trash keeps paths from its top, so the disk can be
  // mounted elsewhere.
  std::string restore = path_;
  if (!trash.top.empty() && trash.top != "/" &&
      restore.compare(0, trash.top.size(), trash.top) == 0 && restore.size() > trash.top.size() &&
      restore[trash.top.size()] == '/') {
    restore = restore.substr(trash.top.size() + 1);
  }
  const std::string record =
      "[Trash Info]\nPath=" + PercentEncoded(restore) + "\nDeletionDate=" + DeletionDate() + "\n";
  // A free name is taken by making its record: two moves at once never
  // pick the same one. Names are cut to leave room for the record's ending.
  constexpr std::size_t kLongest = NAME_MAX - sizeof(".trashinfo") - 8;
  const std::string base = name_.substr(0, kLongest);
  for (int n = 1; n < 10000; ++n) {
    const std::string name = n == 1 ? base : base + '.' + std::to_string(n);
    struct stat st;
    if (::fstatat(files.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) continue;
    const std::string recordName = name + ".trashinfo";
    const Fd out(::openat(info.Get(), recordName.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (out.Get() < 0) {
      if (errno == EEXIST) continue;
      why = std::strerror(error_ = errno);
      return false;
    }
    const bool written =
        ::write(out.Get(), record.data(), record.size()) == static_cast<ssize_t>(record.size());
    const int writeError = errno;
    // The name must still stand for the folder that was checked.
    int moveError = 0;
    if (::fstatat(parent_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      moveError = errno;
    } else if (st.st_dev != id.device || st.st_ino != id.inode) {
      moveError = ESTALE;
    } else if (written && ::renameat(parent_, name_.c_str(), files.Get(), name.c_str()) != 0) {
      moveError = errno;
    }
    if (!written || moveError != 0) {
      ::unlinkat(info.Get(), recordName.c_str(), 0);
      error_ = written ? moveError : writeError;
      why = std::strerror(error_);
      return false;
    }
    return true;
  }
  why = "no free name in the trash";
  return false;
}
